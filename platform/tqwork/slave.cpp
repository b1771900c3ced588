// libtqwork: station hardware and the data acquisition slave (Modbus).
// Placeholder until the Modbus path is written.
#include "station_libs.h"

namespace tq {

int TQ_hard_init()
{
    return 0;
}

int TQs_init(const char *, int)
{
    return 1;
}

int TQs_data_cycle(int)
{
    return -2;
}

}  // namespace tq
