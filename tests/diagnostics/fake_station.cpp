// Stand-in for libtqwork's hardware and slave functions, so tqstest can meet
// the results a real machine and slave cannot be made to give on demand.
//   TQ_FAKE_HARD_INIT=fail  TQ_hard_init returns 1
//   TQ_FAKE_POLLS=a,b,...   TQs_data_cycle returns these in turn, then the last
#include "station_libs.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace tq {

int TQ_hard_init()
{
    const char *mode = std::getenv("TQ_FAKE_HARD_INIT");
    return mode != nullptr && std::string(mode) == "fail" ? 1 : 0;
}

int TQs_init(const char *, int)
{
    return 0;
}

int TQs_data_cycle(int)
{
    static std::vector<int> polls = [] {
        std::vector<int> v;
        const char *text = std::getenv("TQ_FAKE_POLLS");
        std::stringstream in(text != nullptr ? text : "0");
        std::string item;
        while (std::getline(in, item, ','))
            v.push_back(std::stoi(item));
        return v;
    }();
    static std::size_t next = 0;
    int r = polls.empty() ? 0 : polls[next];
    if (next + 1 < polls.size())
        ++next;
    return r;
}

}  // namespace tq
