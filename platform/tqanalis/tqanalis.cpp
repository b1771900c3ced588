// libtqanalis: classification of samples into categories of work.
#include "station_libs.h"

#include <unordered_map>

namespace tq {

int TQ_score_numb = 4;

namespace {

// Category indices.
constexpr int work = 0;
constexpr int machine_off = 1;
constexpr int idle = 2;
constexpr int work_start = 3;

// Longest gap, in seconds, between two work samples of one workstation that
// still counts as continuing work.
constexpr int work_gap = 5;
constexpr int day_seconds = 24 * 3600;

struct station_state {
    bool working;  // previous sample had bit 1 set
    int when;      // its time of day in seconds
};

std::unordered_map<std::uint32_t, station_state> &states()
{
    static std::unordered_map<std::uint32_t, station_state> map;
    return map;
}

}  // namespace

int TQs_analis_init()
{
    states().clear();
    return 0;
}

int TQs_analis_reset()
{
    states().clear();
    return 0;
}

int TQs_data_analis(const TQs_data *s)
{
    int now = tms_to_sec(&s->time);
    bool working = (s->input & 0x2u) != 0;
    auto [it, fresh] = states().try_emplace(s->code, station_state{false, now});
    station_state previous = it->second;
    it->second = station_state{working, now};

    if ((s->input & 0x1u) == 0)
        return machine_off;
    if (!working)
        return idle;
    // A sample just after midnight follows one just before it.
    int gap = ((now - previous.when) % day_seconds + day_seconds) % day_seconds;
    if (!fresh && previous.working && gap <= work_gap)
        return work;
    return work_start;
}

}  // namespace tq
