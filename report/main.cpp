// tqraport: day, month and short reports on standard output.
#include <cstdlib>

#include "tqraport.h"

int main(int argc, char **argv)
{
    // First of all, so that every way out releases what start-up got.
    std::atexit(tq::free_cfg_and_TQdb);
    return tq::raport_dispatch(argc, argv);
}
