// One verdict line of a self-check program: "Testing <label>\t" then "OK" or
// "FAIL!!". The label goes out, flushed, before the check runs, so a check
// that never returns still shows which one it was.
#pragma once

#include <cstdio>

namespace selfcheck {

inline void label(const char *text)
{
    std::printf("Testing %s\t", text);
    std::fflush(stdout);
}

inline void verdict(bool holds)
{
    std::printf("%s\n", holds ? "OK" : "FAIL!!");
    std::fflush(stdout);
}

}  // namespace selfcheck
