#include "tms_check.h"

#include "station_libs.h"
#include "../selfcheck.h"

#include <cstdio>

using namespace tq;
using selfcheck::label;
using selfcheck::verdict;

int tms_check_run()
{
    tms time{12, 10, 20};

    label("tms_equal(&time, &time)");
    verdict(tms_equal(&time, &time) != 0);

    label(R"(atotms("12:10:20"))");
    verdict(atotms("12:10:20") != nullptr);

    label(R"(tms_equal(&time, atotms("12:10:20")))");
    verdict(tms_equal(&time, atotms("12:10:20")) != 0);

    label(R"(difftms(&(time), atotms("12:10:30")))");
    verdict(difftms(&time, atotms("12:10:30")) != nullptr);

    // The expected record is parsed first and must come through the later
    // calls unchanged.
    label(R"(tms_equal( difftms(&(time), atotms("12:10:30")), atotms("0:0:10") ))");
    {
        const tms *expected = atotms("0:0:10");
        const tms *diff = difftms(&time, atotms("12:10:30"));
        verdict(tms_equal(diff, expected) != 0);
    }

    label(R"(tms_equal( difftms(&(time), atotms("1:50:23")), atotms("10:19:57") ))");
    {
        const tms *expected = atotms("10:19:57");
        const tms *diff = difftms(&time, atotms("1:50:23"));
        verdict(tms_equal(diff, expected) != 0);
    }

    int i = tms_to_sec(atotms("10:19:57"));
    label("i == 37197");
    verdict(i == 37197);
    return 0;
}
