// tqwl2dir dir_name: ships the station's worklogs into a transfer directory.
#include "tqwl2dir.h"

using namespace tq;

int main(int argc, char **argv)
{
    return tqwl2dir_main(argc, argv);
}
