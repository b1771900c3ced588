#include "analis_check.h"

#include "station_libs.h"
#include "../selfcheck.h"

#include <cstdio>
#include <memory>
#include <vector>

using namespace tq;
using selfcheck::label;
using selfcheck::verdict;

namespace {

// The samples stay allocated for the whole run: the pool owns them.
std::vector<std::unique_ptr<TQs_data>> &samples()
{
    static std::vector<std::unique_ptr<TQs_data>> pool;
    return pool;
}

// A new sample; each time field keeps the low 8 bits of its argument.
TQs_data *gendata(int hour, int minute, int second, std::uint32_t code, std::uint32_t input)
{
    auto s = std::make_unique<TQs_data>();
    s->time.hour = std::uint8_t(hour);
    s->time.minute = std::uint8_t(minute);
    s->time.second = std::uint8_t(second);
    s->code = code;
    s->input = input;
    samples().push_back(std::move(s));
    return samples().back().get();
}

}  // namespace

int analis_check_run()
{
    label("TQs_analis_init() == 0");
    verdict(TQs_analis_init() == 0);

    label("TQs_data_analis(gendata(12,33,1,1,0x01)) == 2");
    verdict(TQs_data_analis(gendata(12, 33, 1, 1, 0x01)) == 2);
    label("TQs_data_analis(gendata(12,33,6,1,0x01)) == 2");
    verdict(TQs_data_analis(gendata(12, 33, 6, 1, 0x01)) == 2);
    label("TQs_data_analis(gendata(12,33,8,1,0x03)) == 3");
    verdict(TQs_data_analis(gendata(12, 33, 8, 1, 0x03)) == 3);
    label("TQs_data_analis(gendata(12,33,10,1,0x03)) == 0");
    verdict(TQs_data_analis(gendata(12, 33, 10, 1, 0x03)) == 0);
    label("TQs_data_analis(gendata(12,33,12,1,0x03)) == 0");
    verdict(TQs_data_analis(gendata(12, 33, 12, 1, 0x03)) == 0);
    label("TQs_data_analis(gendata(12,33,19,1,0x03)) == 3");
    verdict(TQs_data_analis(gendata(12, 33, 19, 1, 0x03)) == 3);
    return 0;
}
