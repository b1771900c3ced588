// A broken classifier: its set-up fails and every sample is "idle".
#include "station_libs.h"

namespace tq {

int TQ_score_numb = 4;

int TQs_analis_init()
{
    return 1;
}

int TQs_analis_reset()
{
    return 0;
}

int TQs_data_analis(const TQs_data *)
{
    return 2;
}

}  // namespace tq
