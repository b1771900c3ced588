// libtqanalis: the classification rule, kept per workstation.
#include "station_libs.h"

#include <gtest/gtest.h>

using namespace tq;

namespace {

struct step {
    std::uint8_t h, m, s;
    std::uint32_t code, input;
    int expected;
};

void run(const std::vector<step> &steps)
{
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const step &st = steps[i];
        TQs_data d{{st.h, st.m, st.s}, st.code, st.input};
        EXPECT_EQ(TQs_data_analis(&d), st.expected)
            << "sample " << i << ": " << int(st.h) << ":" << int(st.m) << ":" << int(st.s) << " code " << st.code
            << " input " << st.input;
    }
}

}  // namespace

TEST(Analis, ScoreNumbIsFour)
{
    EXPECT_EQ(TQ_score_numb, 4);
}

TEST(Analis, FixedSequenceOfOneWorkstation)
{
    ASSERT_EQ(TQs_analis_init(), 0);
    run({{12, 33, 1, 1, 0x01, 2},
         {12, 33, 6, 1, 0x01, 2},
         {12, 33, 8, 1, 0x03, 3},
         {12, 33, 10, 1, 0x03, 0},
         {12, 33, 12, 1, 0x03, 0},
         {12, 33, 19, 1, 0x03, 3}});
}

TEST(Analis, CategoriesFollowTheInputBits)
{
    TQs_analis_reset();
    run({{8, 0, 0, 2, 0x00, 1},   // machine off
         {8, 0, 1, 2, 0x02, 1},   // bit 1 without bit 0 is still off
         {8, 0, 2, 2, 0xFFFC, 1},  // higher bits do not matter
         {8, 0, 3, 2, 0x01, 2},   // idle
         {8, 0, 4, 2, 0xFFFD, 2},
         {8, 0, 5, 2, 0x03, 3},   // start of work
         {8, 0, 6, 2, 0xFFFF, 0}});
}

TEST(Analis, GapOfFiveSecondsStillContinuesWork)
{
    TQs_analis_reset();
    run({{9, 0, 0, 3, 0x03, 3},
         {9, 0, 5, 3, 0x03, 0},   // exactly 5 s
         {9, 0, 11, 3, 0x03, 3},  // 6 s
         {9, 0, 11, 3, 0x03, 0}}); // same second
}

TEST(Analis, PreviousSampleWithBitOneSetCountsEvenWhenIdleFollows)
{
    TQs_analis_reset();
    run({{9, 0, 0, 4, 0x03, 3},
         {9, 0, 1, 4, 0x01, 2},   // bit 1 clear breaks the run
         {9, 0, 2, 4, 0x03, 3},
         {9, 0, 3, 4, 0x02, 1},   // off, but bit 1 set
         {9, 0, 4, 4, 0x03, 0}});
}

TEST(Analis, InterleavedWorkstationsKeepTheirOwnState)
{
    // The fixed sequence of workstation 1 with workstation 2's samples in
    // between, as the terminal sees them in arrival order.
    TQs_analis_init();
    run({{12, 33, 1, 1, 0x01, 2},
         {12, 33, 2, 2, 0x03, 3},
         {12, 33, 6, 1, 0x01, 2},
         {12, 33, 7, 2, 0x03, 0},   // 5 s after its own previous sample
         {12, 33, 8, 1, 0x03, 3},
         {12, 33, 9, 2, 0x00, 1},
         {12, 33, 10, 1, 0x03, 0},
         {12, 33, 11, 2, 0x03, 3},
         {12, 33, 12, 1, 0x03, 0},
         {12, 33, 13, 2, 0x03, 0},
         {12, 33, 19, 1, 0x03, 3}});
}

TEST(Analis, WorkContinuesAcrossMidnight)
{
    TQs_analis_reset();
    run({{23, 59, 58, 5, 0x03, 3},
         {0, 0, 1, 5, 0x03, 0},    // 3 s later, on the next day
         {0, 0, 7, 5, 0x03, 3},
         {23, 59, 57, 6, 0x03, 3},
         {0, 0, 3, 6, 0x03, 3}});  // 6 s later
}

TEST(Analis, ResetForgetsEveryWorkstation)
{
    TQs_analis_reset();
    run({{10, 0, 0, 7, 0x03, 3}, {10, 0, 0, 8, 0x03, 3}});
    TQs_analis_reset();
    run({{10, 0, 1, 7, 0x03, 3}, {10, 0, 1, 8, 0x03, 3}});
}
