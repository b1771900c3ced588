// A faulty time-of-day library: atotms and difftms hand out one static record
// each, overwritten by the next call.
#include "station_libs.h"

#include <cstdio>

namespace tq {

const tms *atotms(const char *text)
{
    static tms t;
    return atotms2(text, &t) == 0 ? &t : nullptr;
}

const tms *difftms(const tms *a, const tms *b)
{
    static tms t;
    int d = tms_to_sec(a) - tms_to_sec(b);
    if (d < 0)
        d = -d;
    t = tms{std::uint8_t(d / 3600), std::uint8_t(d / 60 % 60), std::uint8_t(d % 60)};
    return &t;
}

int atotms2(const char *text, tms *out)
{
    unsigned h, m, s;
    char end;
    if (std::sscanf(text, "%u:%u:%u%c", &h, &m, &s, &end) != 3)
        return 1;
    *out = tms{std::uint8_t(h), std::uint8_t(m), std::uint8_t(s)};
    return 0;
}

int tms_equal(const tms *a, const tms *b)
{
    return a->hour == b->hour && a->minute == b->minute && a->second == b->second;
}

int tms_to_sec(const tms *t)
{
    return t->hour * 3600 + t->minute * 60 + t->second;
}

}  // namespace tq
