#include "tqmanager.h"

int main(int argc, char **argv)
{
    return tqmanager_main(argc, argv);
}
