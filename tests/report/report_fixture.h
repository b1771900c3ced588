// Test support for tqraport: running the programs, a private working
// directory per test, and the data set put in through tqmanager and tqwl2db,
// with the counts a report must show computed from the classification rule.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace report_test {

struct run_result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs program (argv[0] a path) in cwd with input on stdin, TZ=UTC and the
// NAME=VALUE texts of env added to the environment.
run_result run(const std::string &cwd, const std::vector<std::string> &argv,
               const std::string &input = "", const std::vector<std::string> &env = {});

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &text);

// One worklog record: time of day, workstation, input bits.
struct record {
    int hour, minute, second;
    std::uint32_t code, input;
};

struct worklog {
    std::chrono::sys_seconds name_time;  // the name is this as 10 digits
    std::vector<record> records;
};

// A sample as the database holds it after the import.
struct stored {
    std::chrono::sys_days date;
    int second;  // of the day
    std::uint32_t code, input;
};

using counts = std::array<std::uint32_t, 4>;

struct plan_line {
    std::string first, second;
    unsigned workstation, shift;
};

// Shift bounds in seconds of the day, of the shipped tqraport.ini.
struct shift_bounds {
    int start, end;
};
extern const shift_bounds default_shifts[3];

// Samples of code on date from <= t < to (to < from: to the end of date,
// then the next day before to), in time order, classified from a fresh state.
counts expected(const std::vector<stored> &samples, std::chrono::sys_days date, int from,
                int to, std::uint32_t code);

counts &operator+=(counts &a, const counts &b);

std::chrono::sys_days date_of(int y, unsigned m, unsigned d);
int tod(int h, int m, int s);

// Records of one workstation every 1 to 7 seconds in [from, to) of the day,
// inputs from a fixed pseudo-random sequence.
std::vector<record> window(std::uint32_t code, int from, int to, std::uint32_t seed);
// Merges records of several workstations in time order (stable).
std::vector<record> merge(std::vector<std::vector<record>> parts);

class report_fixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    run_result raport(const std::vector<std::string> &args);
    run_result raport_in(const std::string &cwd, const std::vector<std::string> &args);
    run_result db_client(const std::string &sql);

    void add_worker(const std::string &first, const std::string &second);
    void add_plan(const std::string &date, const std::vector<plan_line> &lines);
    // Ships the worklogs through a transfer directory and tqwl2db; returns the
    // samples as stored.
    std::vector<stored> import(const std::vector<worklog> &logs);

    std::string root;     // private temp directory
    std::string workdir;  // the programs' working directory
    std::string db_dir;   // TQ_TEST_DB_DIR
};

}  // namespace report_test
