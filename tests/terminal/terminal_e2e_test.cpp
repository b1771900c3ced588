// tqrunner_tui end to end: a real terminal (tmux), a named pipe written by
// the test, real processes receiving the signals.
#include "harness.h"
#include "station_libs.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

extern char **environ;

using namespace tqt;

namespace {

const std::string bin = std::string(TQ_BIN_DIR) + "/tqrunner_tui";

constexpr int green = 2, yellow = 3, red = 1, white = 7, black = 0;

// Pid 0 is no runner: the terminal never signals it. (Any other number
// would be a real process to x and X.)
std::string header(long pid) { return "TQrunner vr:2.0 pid:" + std::to_string(pid) + "\n"; }

std::string sample(const std::string &time, int code, const std::string &input)
{
    return time + " DATA:\tcode:" + std::to_string(code) + "\tinput:" + input + "\n";
}

// The category the terminal gives a sample, from the same classifier fed
// the same samples in the same order.
int category(const std::string &line)
{
    unsigned h, m, s, code;
    char input[40];
    std::sscanf(line.c_str(), "%u:%u:%u DATA:\tcode:%u\tinput:%39s", &h, &m, &s, &code, input);
    tq::TQs_data d{{std::uint8_t(h), std::uint8_t(m), std::uint8_t(s)}, code,
                   tq::abtoi(input, int(std::strlen(input)))};
    return tq::TQs_data_analis(&d);
}

std::string cell_text(const std::string &row, int category)
{
    std::size_t at = std::size_t(13 + 7 * category);
    return row.size() >= at + 4 ? row.substr(at, 4) : std::string();
}

// A stand-in runner process: sleeps until a signal ends it.
struct sleeper {
    pid_t pid = 0;
    sleeper()
    {
        char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("60"), nullptr};
        posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ);
    }
    ~sleeper()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    // The signal that ended it, 0 while it lives (waits up to timeout_ms).
    int ended_by(int timeout_ms = 3000)
    {
        int sig = 0;
        wait_for(
            [&] {
                int status = 0;
                if (waitpid(pid, &status, WNOHANG) == pid) {
                    sig = WIFSIGNALED(status) ? WTERMSIG(status) : -1;
                    pid = 0;
                    return true;
                }
                return false;
            },
            timeout_ms);
        return sig;
    }
};

// Starts a session and gets it past its start-up section.
void start(terminal_session &s, const std::string &first_line, const std::string &startup = "")
{
    s.open_stream();
    s.write(first_line + startup + "Proclog output:\n");
    ASSERT_TRUE(s.wait_row(5, "1")) << "the table never appeared";
}

void settle() { usleep(200 * 1000); }

}  // namespace

TEST(TerminalCommandLine, WrongArgumentsAndUnopenableStreamEndSilently)
{
    run_result none = run({bin});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "");
    run_result two = run({bin, "a", "b"});
    EXPECT_EQ(two.status, 1);
    EXPECT_EQ(two.out, "");
    run_result missing = run({bin, "/nonexistent/stream"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
}

TEST(TerminalScreen, MissingBackgroundEndsWith2OutOfCursesMode)
{
    terminal_session s(false);
    s.open_stream();
    s.write(header(0) + "Proclog output:\n");
    EXPECT_EQ(s.wait_status(), 2);
    EXPECT_EQ(s.tmux_format("#{alternate_on}"), "0");
}

TEST(TerminalScreen, NothingBeforeTheMarkerThenBackgroundHeaderAndTable)
{
    terminal_session s;
    s.open_stream();
    s.write(header(812) + "start-up one\nstart-up two\n");
    settle();
    for (const std::string &r : s.text())
        EXPECT_EQ(r, "");
    s.write("Proclog output:\n");
    ASSERT_TRUE(s.wait_row(5, "1"));
    EXPECT_EQ(s.tmux_format("#{alternate_on}"), "1");

    std::vector<std::string> rows = s.text();
    std::ifstream bg(std::string(TQ_SOURCE_DIR) + "/terminal/tqrtui_inter.txt");
    std::string line;
    for (int r = 0; std::getline(bg, line); ++r) {
        if (r == 1 || (r >= 5 && r <= 14))
            continue;
        EXPECT_EQ(rows[std::size_t(r)], " " + line) << "row " << r;
    }
    EXPECT_EQ(rows[1], " | TQrunner vr:2.0 pid:812");
    for (int i = 0; i < 10; ++i) {
        char label[3];
        std::snprintf(label, sizeof label, "%2d", i + 1);
        EXPECT_EQ(rows[std::size_t(5 + i)].substr(8, 2), label);
        for (int j = 0; j < tq::TQ_score_numb; ++j)
            EXPECT_EQ(cell_text(rows[std::size_t(5 + i)], j), "   0");
    }

    auto cells = s.cells();
    EXPECT_EQ(cells[0][1].ch, '+');
    EXPECT_EQ(cells[0][1].fg, white);
    EXPECT_EQ(cells[0][1].bg, black);
    EXPECT_EQ(cells[1][3].fg, white);
    for (int i = 0; i < 10; ++i) {
        int colour = i % 2 ? yellow : green;
        EXPECT_EQ(cells[std::size_t(5 + i)][9].fg, colour) << "row " << 5 + i;
        EXPECT_EQ(cells[std::size_t(5 + i)][16].fg, colour);
        EXPECT_EQ(cells[std::size_t(5 + i)][16].bg, black);
        for (int c = 0; c < 80; ++c)
            EXPECT_NE(cells[std::size_t(5 + i)][std::size_t(c)].fg, red) << "no cell is highlighted";
    }
}

TEST(TerminalScreen, SamplesAreCountedHighlightedAndLogged)
{
    tq::TQs_analis_reset();
    terminal_session s;
    start(s, header(0));
    const std::string a = sample("12:00:00", 3, "11"), b = sample("12:00:01", 3, "11"),
                      c = sample("12:00:02", 2, "01");
    const int ca = category(a), cb = category(b), cc = category(c);
    ASSERT_NE(ca, cb);

    s.write(a + b);
    ASSERT_TRUE(s.wait_for_cell(7, cb, "   1"));
    auto cells = s.cells();
    EXPECT_EQ(cell_text(s.row(7), ca), "   1");
    EXPECT_EQ(cells[7][13 + 7 * cb + 3].fg, red);
    EXPECT_EQ(cells[7][13 + 7 * cb + 3].bg, white);
    EXPECT_EQ(cells[7][13 + 7 * ca + 3].fg, green);

    s.write(c);
    ASSERT_TRUE(s.wait_for_cell(6, cc, "   1"));
    cells = s.cells();
    EXPECT_EQ(cells[6][13 + 7 * cc + 3].fg, red);
    EXPECT_EQ(cells[6][13 + 7 * cc + 3].bg, white);
    EXPECT_EQ(cells[7][13 + 7 * cb + 3].fg, green);

    // No sample, and a sample outside the table: logged only.
    std::vector<std::string> before = s.text();
    s.write("12:00:03 INFO:\tcode:2\tinput:01\n" + sample("12:00:04", 17, "11"));
    ASSERT_TRUE(s.wait_row(16, "code:17"));
    std::vector<std::string> after = s.text();
    for (int r = 5; r <= 14; ++r)
        EXPECT_EQ(after[std::size_t(r)], before[std::size_t(r)]);
    cells = s.cells();
    EXPECT_EQ(cells[6][13 + 7 * cc + 3].fg, red);

    // Five lines: newest on row 16, colours by entry, background below.
    EXPECT_NE(after[17].find("12:00:03 INFO:"), std::string::npos);
    EXPECT_NE(after[20].find("12:00:00 DATA:"), std::string::npos);
    EXPECT_EQ(after[21], " |");
    EXPECT_EQ(after[22], " |");
    for (int r = 16; r <= 20; ++r)
        EXPECT_EQ(cells[std::size_t(r)][3].fg, (r - 16) % 2 ? yellow : green) << "row " << r;

    // A long line shows 50 characters; a short one clears its row after it.
    s.write(std::string(80, 'L') + "\n");
    ASSERT_TRUE(s.wait_row(16, "LLLL"));
    EXPECT_EQ(s.row(16), " | " + std::string(50, 'L'));
    s.write("short line\n");
    ASSERT_TRUE(s.wait_row(16, "short line"));
    EXPECT_EQ(s.row(16), " | short line");
    EXPECT_EQ(s.row(17), " | " + std::string(50, 'L'));

    // A line of 150 characters is two entries: 99 characters, then the rest.
    s.write(std::string(99, 'a') + std::string(51, 'b') + "\n");
    ASSERT_TRUE(s.wait_row(16, "bbbb"));
    EXPECT_EQ(s.row(16), " | " + std::string(50, 'b'));
    EXPECT_EQ(s.row(17), " | " + std::string(50, 'a'));
    EXPECT_EQ(cell_text(s.row(7), ca), "   1");
}

TEST(TerminalKeys, ScrollingStopsAtTheLimitsWithABeep)
{
    tq::TQs_analis_reset();
    terminal_session s;
    start(s, header(0));
    const std::string first = sample("10:00:00", 1, "01");
    const int cat = category(first);
    s.write(first);
    ASSERT_TRUE(s.wait_for_cell(5, cat, "   1"));
    for (int i = 1; i <= 19; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "line %02d\n", i);
        s.write(line);
    }
    ASSERT_TRUE(s.wait_row(16, "line 19"));

    s.keys("ssssss");
    ASSERT_TRUE(s.wait_row(14, "16"));
    EXPECT_EQ(s.row(5).substr(8, 2), " 7");
    auto cells = s.cells();
    EXPECT_EQ(cells[5][9].fg, green);  // workstation 7
    EXPECT_EQ(cells[6][9].fg, yellow);
    for (int r = 5; r <= 14; ++r)
        for (int c = 0; c < 80; ++c)
            EXPECT_NE(cells[std::size_t(r)][std::size_t(c)].fg, red) << "highlight scrolled out";
    settle();
    EXPECT_EQ(s.bells(), 0);
    s.keys("s");
    ASSERT_TRUE(wait_for([&] { return s.bells() == 1; }));
    EXPECT_EQ(s.row(5).substr(8, 2), " 7");

    s.keys("wwwwww");
    ASSERT_TRUE(s.wait_row(5, " 1 "));
    EXPECT_EQ(s.cells()[5][13 + 7 * cat + 3].fg, red);
    s.keys("w");
    ASSERT_TRUE(wait_for([&] { return s.bells() == 2; }));

    // Entry k is line 19 - k; entry 19 the sample.
    s.keys("SSSSSSSSSSSSS");
    ASSERT_TRUE(s.wait_row(16, "line 06"));
    EXPECT_NE(s.row(22).find("10:00:00 DATA:"), std::string::npos);
    settle();
    EXPECT_EQ(s.bells(), 2);
    s.keys("S");
    ASSERT_TRUE(wait_for([&] { return s.bells() == 3; }));
    EXPECT_NE(s.row(16).find("line 06"), std::string::npos);

    // The log keeps its offset when a line comes in.
    s.write("line 20\n");
    ASSERT_TRUE(s.wait_row(16, "line 07"));
    EXPECT_NE(s.row(22).find("line 01"), std::string::npos);

    s.keys("WWWWWWWWWWWWW");
    ASSERT_TRUE(s.wait_row(16, "line 20"));
    s.keys("W");
    ASSERT_TRUE(wait_for([&] { return s.bells() == 4; }));

    std::vector<std::string> before = s.text();
    s.keys("aQE");
    settle();
    EXPECT_EQ(s.bells(), 4);
    EXPECT_EQ(s.text(), before);
    EXPECT_FALSE(s.exited());
}

TEST(TerminalWindow, StartUpWindowShowsTheLinesAndHoldsTheStream)
{
    tq::TQs_analis_reset();
    terminal_session s;
    const std::string long_line(45, 'y');
    start(s, header(0), "first start-up line\n" + long_line + "\nthird\n");
    s.keys("e");
    ASSERT_TRUE(s.wait_row(6, "+--(TQrunner initialization)"));
    std::vector<std::string> rows = s.text();
    // A line of at most 30 characters brings its newline, which clears the
    // rest of the row, the side bar included.
    EXPECT_EQ(rows[6].substr(10, 53), "+--(TQrunner initialization)------------------------+");
    EXPECT_EQ(rows[7].substr(10), "| first start-up line");
    EXPECT_EQ(rows[8].substr(10, 53), "| " + long_line.substr(0, 30) + std::string(20, ' ') + "|");
    EXPECT_EQ(rows[9].substr(10), "| third");
    EXPECT_EQ(rows[10].substr(10, 53), "+---------------------------------------------------+");
    auto cells = s.cells();
    EXPECT_EQ(cells[6][10].fg, white);
    EXPECT_EQ(cells[6][10].bg, black);

    // Lines and keys wait while the window is open.
    std::string lines;
    for (int i = 0; i < 3; ++i)
        lines += sample("11:00:0" + std::to_string(i), 4, "01");
    s.write(lines);
    s.keys("sxqz");
    settle();
    EXPECT_EQ(s.text(), rows);
    EXPECT_FALSE(s.exited());

    s.keys("e");
    // The screen is cleared before it is restored: wait for the table rows.
    ASSERT_TRUE(wait_for([&] {
        std::string r = s.row(6);
        return r.find("TQrunner init") == std::string::npos && r.size() >= 10 && s.row(5).size() >= 10;
    }));
    EXPECT_EQ(s.row(6).substr(8, 2), " 2");
    EXPECT_EQ(s.row(5).substr(8, 2), " 1");
    int cat = category(sample("11:00:00", 4, "01"));
    ASSERT_TRUE(s.wait_for_cell(8, cat, "   3"));
    EXPECT_EQ(s.bells(), 0);
}

TEST(TerminalWindow, EmptyStartUpSectionGivesAnEmptyWindow)
{
    terminal_session s;
    start(s, header(0));
    s.keys("e");
    ASSERT_TRUE(s.wait_row(7, "+----"));
    EXPECT_EQ(s.row(6).substr(10, 4), "+--(");
    s.keys("e");
    ASSERT_TRUE(wait_for([&] { return s.row(6).find("+--(") == std::string::npos; }));
}

TEST(TerminalDialog, SaveScoresWritesTheWholeTable)
{
    tq::TQs_analis_reset();
    terminal_session s;
    start(s, header(0));
    const std::string lines[] = {sample("08:00:00", 1, "11"), sample("08:00:01", 1, "11"),
                                 sample("08:00:01", 16, "01")};
    std::vector<unsigned> counts(std::size_t(16 * tq::TQ_score_numb), 0);
    for (const std::string &l : lines) {
        s.write(l);
        int code = std::atoi(l.c_str() + l.find("code:") + 5);
        ++counts[std::size_t((code - 1) * tq::TQ_score_numb + category(l))];
    }
    ASSERT_TRUE(s.wait_row(16, "code:16"));

    std::string path = s.dir().file("s.txt");
    s.keys("q");
    ASSERT_TRUE(s.wait_row(10, "+--(Save scores)"));
    std::vector<std::string> rows = s.text();
    EXPECT_EQ(rows[10].substr(10, 47), "+--(Save scores)------------------------------+");
    EXPECT_EQ(rows[11].substr(10, 47), "| Path:                                       |");
    EXPECT_EQ(rows[12].substr(10, 47), "+---------------------------------------------+");
    EXPECT_EQ(s.tmux_format("#{cursor_y} #{cursor_x}"), "11 21");
    s.keys(path);
    ASSERT_TRUE(wait_for([&] { return s.row(11).substr(10, 11 + path.size()) == "| Path:    " + path; }));
    s.key("Enter");
    ASSERT_TRUE(wait_for([&] { return file_exists(path); }));
    ASSERT_TRUE(wait_for([&] { return s.row(10).find("Save scores") == std::string::npos; }));

    std::string expected = "\t";
    char buf[16];
    for (int c = 0; c < tq::TQ_score_numb; ++c) {
        std::snprintf(buf, sizeof buf, "%5u", unsigned(c));
        expected += buf;
    }
    expected += "\n";
    for (int r = 0; r < 16; ++r) {
        std::snprintf(buf, sizeof buf, "%2u\t", unsigned(r + 1));
        expected += buf;
        for (int c = 0; c < tq::TQ_score_numb; ++c) {
            std::snprintf(buf, sizeof buf, "%5u", counts[std::size_t(r * tq::TQ_score_numb + c)]);
            expected += buf;
        }
        expected += "\n";
    }
    ASSERT_TRUE(wait_for([&] { return read_file(path) == expected; }));

    // ESC, a cursor key and Enter alone save nothing.
    for (const char *cancel : {"Escape", "Up", "Enter"}) {
        std::string other = s.dir().file("t.txt");
        s.keys("q");
        ASSERT_TRUE(s.wait_row(10, "Save scores"));
        if (std::string(cancel) != "Enter")
            s.keys(other);
        s.key(cancel);
        ASSERT_TRUE(wait_for([&] { return s.row(10).find("Save scores") == std::string::npos; }));
        settle();
        EXPECT_FALSE(file_exists(other)) << cancel;
    }

    // At most 99 characters are kept; further keys beep.
    std::string longer = s.dir().path + "/";
    longer += std::string(110 - longer.size(), 'a');
    int bells = s.bells();
    s.keys("q");
    ASSERT_TRUE(s.wait_row(10, "Save scores"));
    s.keys(longer);
    s.key("Enter");
    std::string kept = longer.substr(0, 99);
    EXPECT_TRUE(wait_for([&] { return file_exists(kept); }));
    EXPECT_TRUE(wait_for([&] { return s.bells() > bells; }));  // tmux records bells asynchronously
    EXPECT_FALSE(s.exited());
    s.keys("x");
    EXPECT_EQ(s.wait_status(), 0);
}

TEST(TerminalSignals, KeysSignalTheRunnerFromTheHeader)
{
    struct key_case {
        const char *key;
        int sig;
        bool ends;
    };
    for (key_case k : {key_case{"z", SIGUSR1, false}, key_case{"x", SIGTERM, true},
                       key_case{"X", SIGKILL, true}}) {
        SCOPED_TRACE(k.key);
        sleeper runner;
        terminal_session s;
        start(s, header(runner.pid));
        s.keys(k.key);
        EXPECT_EQ(runner.ended_by(), k.sig);
        if (k.ends) {
            EXPECT_EQ(s.wait_status(), 0);
        } else {
            settle();
            EXPECT_FALSE(s.exited());
            EXPECT_EQ(s.bells(), 0);
            s.keys("x");
            EXPECT_EQ(s.wait_status(), 0);
        }
    }
}

TEST(TerminalSignals, NoPidNoSignal)
{
    // kill(0, ...) would hit the terminal's own process group, the wrapper
    // that records the status included.
    for (const char *first : {"TQrunner vr:2.0 pid:0\n", "hello\n", "TQrunner vr:2.0 pid:-1\n"}) {
        SCOPED_TRACE(first);
        terminal_session s;
        start(s, first);
        s.keys("z");
        ASSERT_TRUE(wait_for([&] { return s.bells() == 1; }));
        EXPECT_FALSE(s.exited());
        s.keys("X");
        EXPECT_EQ(s.wait_status(), 0);
    }
}

TEST(TerminalSignals, SigtermEndsTheTerminalAloneAfterAnOpenWindow)
{
    sleeper runner;
    terminal_session s;
    start(s, header(runner.pid));
    s.keys("e");
    ASSERT_TRUE(s.wait_row(6, "TQrunner initialization"));
    kill(s.pid(), SIGTERM);
    settle();
    EXPECT_FALSE(s.exited());
    s.keys("e");
    EXPECT_EQ(s.wait_status(), 0);
    EXPECT_EQ(runner.ended_by(100), 0);
}

TEST(TerminalSignals, SigtermWhileWaitingForTheMarker)
{
    terminal_session s;
    s.open_stream();
    s.write(header(0) + "start-up\n");
    pid_t pid = s.pid();
    settle();
    kill(pid, SIGTERM);
    EXPECT_EQ(s.wait_status(), 0);
}

TEST(TerminalStream, EndLineEndsWithZero)
{
    terminal_session s;
    start(s, header(0));
    s.write(sample("09:00:00", 1, "01") + "TQrunner zakonczyl prace\n");
    EXPECT_EQ(s.wait_status(), 0);
}

TEST(TerminalStream, StreamEndKeepsTheScreenAndCountsNothingTwice)
{
    tq::TQs_analis_reset();
    terminal_session s;
    start(s, header(0));
    const std::string line = sample("09:00:00", 2, "01");
    int cat = category(line);
    s.write(line);
    ASSERT_TRUE(s.wait_for_cell(6, cat, "   1"));
    s.close_stream();
    settle();
    EXPECT_FALSE(s.exited());
    EXPECT_EQ(cell_text(s.row(6), cat), "   1");
    EXPECT_EQ(s.row(17), " |");
    s.keys("s");
    ASSERT_TRUE(s.wait_row(5, " 2 "));
    s.keys("x");
    EXPECT_EQ(s.wait_status(), 0);
}

TEST(TerminalStream, EndLineDuringStartUpKeepsTheScreenAndForgetsThePid)
{
    sleeper runner;
    terminal_session s;
    s.open_stream();
    s.write(header(runner.pid) + "no slave\nTQrunner zakonczyl prace\n");
    s.close_stream();
    ASSERT_TRUE(s.wait_row(5, "1"));
    settle();
    EXPECT_FALSE(s.exited());
    s.keys("e");
    ASSERT_TRUE(s.wait_row(8, "TQrunner zakonczyl prace"));
    EXPECT_NE(s.row(7).find("no slave"), std::string::npos);
    s.keys("e");
    ASSERT_TRUE(wait_for([&] { return s.row(6).find("TQrunner init") == std::string::npos; }));
    s.keys("x");
    EXPECT_EQ(s.wait_status(), 0);
    EXPECT_EQ(runner.ended_by(100), 0);
}

TEST(TerminalIdle, AnIdleTerminalLeavesTheProcessorAlone)
{
    terminal_session s;
    start(s, header(0));
    pid_t pid = s.pid();
    auto cpu_ticks = [&] {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        std::size_t close = text.rfind(')');
        std::istringstream fields(text.substr(close + 2));
        std::string skip;
        for (int i = 3; i < 14; ++i)
            fields >> skip;
        long utime = 0, stime = 0;
        fields >> utime >> stime;
        return utime + stime;
    };
    long t0 = cpu_ticks();
    auto w0 = std::chrono::steady_clock::now();
    sleep(2);
    long t1 = cpu_ticks();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    double percent = 100.0 * double(t1 - t0) / double(sysconf(_SC_CLK_TCK)) / wall;
    RecordProperty("idle_cpu_percent", std::to_string(percent));
    std::printf("idle CPU: %.2f %% of a core\n", percent);
    // A busy loop takes a whole core; the measured figure is in the benchmark.
    EXPECT_LT(percent, 25.0);
}
