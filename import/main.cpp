// tqwl2db removal_flag group [dir]: imports a transfer directory.
#include "tqwl2db.h"

using namespace tq;

int main(int argc, char **argv)
{
    return tqwl2db_main(argc, argv);
}
