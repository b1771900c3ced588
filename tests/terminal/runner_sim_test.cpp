// tqrunner_sim: the stream, the worklog and error log records, the
// fast-forward clock, the signals.
#include "harness.h"
#include "station_libs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

using namespace tqt;

namespace {

const std::string sim = std::string(TQ_BIN_DIR) + "/tqrunner_sim";

std::time_t local(const char *text)
{
    struct tm t {};
    strptime(text, "%Y-%m-%d %H:%M:%S", &t);
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::uint32_t u32(const std::string &b, std::size_t at)
{
    return std::uint32_t(std::uint8_t(b[at])) | std::uint32_t(std::uint8_t(b[at + 1])) << 8 |
           std::uint32_t(std::uint8_t(b[at + 2])) << 16 | std::uint32_t(std::uint8_t(b[at + 3])) << 24;
}

std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines;
    std::stringstream ss(text);
    std::string l;
    while (std::getline(ss, l))
        lines.push_back(l);
    return lines;
}

}  // namespace

TEST(RunnerSim, FastShiftFillsTheWorklogNamedByTheStart)
{
    temp_dir d;
    std::string station = d.file("station");
    run_result r = run({sim, "--station-dir", station, "--start", "2026-03-02 06:00:00", "--fast",
                        "--duration", "28800", "--out", "/dev/null", "--counts", d.file("counts"),
                        "--seed", "7"});
    ASSERT_EQ(r.status, 0) << r.out;
    char name[12];
    tq::scode_date(name, local("2026-03-02 06:00:00"));
    EXPECT_EQ(read_file(station + "/wl.set"), std::string(name) + "\n");

    std::string wl = read_file(station + "/worklogs/" + name + ".wl");
    ASSERT_EQ(wl.size(), 16u * 28800u * 12u);
    EXPECT_EQ(wl.substr(0, 4), std::string("\x06\x00\x00\x00", 4));
    EXPECT_EQ(u32(wl, 4), 1u);
    std::size_t last = wl.size() - 12;
    EXPECT_EQ(wl.substr(last, 4), std::string("\x0d\x3b\x3b\x00", 4));  // 13:59:59
    EXPECT_EQ(u32(wl, last + 4), 16u);
    for (std::size_t at = 0; at < wl.size(); at += 12) {
        std::uint32_t input = u32(wl, at + 8);
        ASSERT_TRUE(input == 0 || input == 1 || input == 3) << at;
    }

    std::vector<std::string> counts = lines_of(read_file(d.file("counts")));
    ASSERT_EQ(counts.size(), 16u);
    for (int c = 1; c <= 16; ++c)
        EXPECT_EQ(counts[std::size_t(c - 1)], std::to_string(c) + " 28800");
    EXPECT_NE(r.out.find("1:28800"), std::string::npos);

    std::string err = read_file(station + "/error.log");
    ASSERT_GT(err.size(), 0u);
    ASSERT_EQ(err.size() % 12, 0u);
    std::time_t start = local("2026-03-02 06:00:00");
    for (std::size_t at = 0; at < err.size(); at += 12) {
        std::time_t when = std::time_t(u32(err, at));
        EXPECT_GE(when, start);
        EXPECT_LT(when, start + 28800);
        std::int32_t code = std::int32_t(u32(err, at + 4));
        EXPECT_TRUE(code >= 1 && code <= 3) << code;
    }

    // The same seed gives the same station; an existing list is followed.
    temp_dir e;
    std::string other = e.file("station");
    mkdir(other.c_str(), 0700);
    write_file(other + "/wl.set", "0000000001\n" + std::string(name) + "\n");
    ASSERT_EQ(run({sim, "--station-dir", other, "--start", "2026-03-02 06:00:00", "--fast",
                   "--duration", "28800", "--out", "/dev/null", "--seed", "7"})
                  .status,
              0);
    EXPECT_EQ(read_file(other + "/worklogs/" + name + ".wl"), wl);
    EXPECT_FALSE(file_exists(other + "/worklogs/0000000001.wl"));
}

TEST(RunnerSim, StreamFollowsTheSimulatedClock)
{
    temp_dir d;
    run_result r = run({sim, "--file", d.file("stream"), "--start", "2026-03-02 23:59:58",
                        "--fast", "--duration", "3", "--error-every", "0"});
    ASSERT_EQ(r.status, 0) << r.out;
    std::vector<std::string> lines = lines_of(read_file(d.file("stream")));
    ASSERT_GT(lines.size(), 50u);
    unsigned pid = 0;
    ASSERT_EQ(std::sscanf(lines[0].c_str(), "TQrunner vr:%*s pid:%u", &pid), 1);
    EXPECT_GT(pid, 0u);
    std::size_t marker = 1;
    while (marker < lines.size() && lines[marker] != "Proclog output:")
        ++marker;
    ASSERT_LT(marker, lines.size());
    EXPECT_EQ(lines.back(), "TQrunner zakonczyl prace");
    std::vector<std::string> data(lines.begin() + long(marker) + 1, lines.end() - 1);
    ASSERT_EQ(data.size(), 48u);
    const char *times[] = {"23:59:58", "23:59:59", "00:00:00"};
    for (std::size_t i = 0; i < data.size(); ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%s DATA:\tcode:%zu\tinput:", times[i / 16],
                      i % 16 + 1);
        EXPECT_EQ(data[i].rfind(expected, 0), 0u) << data[i];
    }
}

TEST(RunnerSim, SpeedRunsTheStationClockFasterThanRealTime)
{
    temp_dir d;
    // 20 ticks a second, 1.5 station seconds each: 15 station seconds in 0.5 s.
    run_result r = run({sim, "--file", d.file("stream"), "--start", "2026-03-02 10:00:00", "--rate",
                        "20", "--speed", "30", "--duration", "15", "--counts", d.file("counts")});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(lines_of(read_file(d.file("counts")))[0], "1 10");
    std::string stream = read_file(d.file("stream"));
    EXPECT_NE(stream.find("10:00:00 DATA:\tcode:1\t"), std::string::npos);
    EXPECT_NE(stream.find("10:00:13 DATA:\tcode:16\t"), std::string::npos);
    EXPECT_EQ(stream.find("10:00:15 DATA:"), std::string::npos);
}

TEST(RunnerSim, SignalsGiveEventLinesAndTheEndLine)
{
    temp_dir d;
    std::string fifo = d.file("p");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> args = {sim, "--out", fifo, "--rate", "20"};
    std::vector<char *> argv;
    for (std::string &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, sim.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    std::FILE *in = std::fopen(fifo.c_str(), "r");
    ASSERT_NE(in, nullptr);
    char line[256];
    bool usr1_sent = false, term_sent = false, usr1_seen = false, end_seen = false;
    int data = 0;
    while (std::fgets(line, sizeof line, in)) {
        std::string l = line;
        if (l.find(" DATA:\t") != std::string::npos && ++data == 32 && !usr1_sent) {
            kill(pid, SIGUSR1);
            usr1_sent = true;
        }
        if (l.find(" INFO:\tSIGUSR1 odebrany\n") != std::string::npos) {
            usr1_seen = true;
            if (!term_sent) {
                kill(pid, SIGTERM);
                term_sent = true;
            }
        }
        if (l == "TQrunner zakonczyl prace\n")
            end_seen = true;
    }
    std::fclose(in);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(usr1_seen);
    EXPECT_TRUE(end_seen);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(RunnerSim, BadCommandLine)
{
    EXPECT_EQ(run({sim, "--rate", "0"}).status, 1);
    EXPECT_EQ(run({sim, "--start", "yesterday"}).status, 1);
    EXPECT_EQ(run({sim, "--bogus"}).status, 1);
    run_result help = run({sim, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--station-dir"), std::string::npos);
}
