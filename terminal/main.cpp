#include "tui.h"

int main(int argc, char **argv)
{
    return tq::tqrunner_tui(argc, argv);
}
