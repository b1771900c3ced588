#include "runner_sim.h"

#include <cstdio>

using namespace tq;

int main(int argc, char **argv)
{
    sim_options opt;
    bool help = false;
    int status = parse_sim_options(argc, argv, opt, help);
    if (help) {
        std::fputs(runner_sim_usage(), stdout);
        return 0;
    }
    if (status != 0) {
        std::fputs(runner_sim_usage(), stderr);
        return status;
    }
    return run_sim(opt);
}
