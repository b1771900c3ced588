// The stream module, the log and the score file, without a screen.
#include "scores.h"
#include "stream.h"
#include "view.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace tq;

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct data_case {
    std::string line;
    bool sample;
    unsigned hour = 0, minute = 0, second = 0, code = 0, input = 0;
};

}  // namespace

TEST(GetData, TableOfLines)
{
    const data_case cases[] = {
        {"08:15:02 DATA:\tcode:3\tinput:101\n", true, 8, 15, 2, 3, 5},
        {"08:15:02 DATA\tcode:3\tinput:101\n", false},
        {"08:15:02 INFO:\tcode:3\tinput:101\n", false},
        {"08:15:02 DATA:\tcode:3\n", false},
        {"08:15:02 DATA:\tinput:101\n", false},
        {"08:15:02 DATA: code:3 input:101\n", true, 8, 15, 2, 3, 5},
        {"08:15:02 DATA:\tcode:3\tinput:101 more words\n", true, 8, 15, 2, 3, 5},
        {"300:1:2 DATA:\tcode:16\tinput:11\n", true, 44, 1, 2, 16, 3},
        {"  7:8:9   DATA:   code: 17 \t input:0", true, 7, 8, 9, 17, 0},
        {"Proclog output:\n", false},
        {"TQrunner zakonczyl prace\n", false},
        {"\n", false},
        {"", false},
        {"12:00:00 DATA:\tcode:1\tinput:\n", false},
        // The longest words that fit, and one character more.
        {"1:2:3 DATA:\tcode:1\tinput:1" + std::string(29, '0') + "1\n", true, 1, 2, 3, 1,
         0x40000001u},
        {"1:2:3 DATA:\tcode:1\tinput:1" + std::string(30, '0') + "1\n", false},
        {"1:2:3 " + std::string(24, 'D') + ":\tcode:1\tinput:1\n", false},
        {"1:2:3 DATA:code:4\tinput:1\n", false},
    };
    for (const data_case &c : cases) {
        SCOPED_TRACE(c.line);
        const TQs_data *s = get_data(c.line.c_str());
        ASSERT_EQ(s != nullptr, c.sample);
        if (!s)
            continue;
        EXPECT_EQ(s->time.hour, c.hour);
        EXPECT_EQ(s->time.minute, c.minute);
        EXPECT_EQ(s->time.second, c.second);
        EXPECT_EQ(s->code, c.code);
        EXPECT_EQ(s->input, c.input);
    }
}

TEST(GetData, PiecesOfALongLineAreLinesOfTheirOwn)
{
    std::string line = "09:00:00 DATA:\tcode:2\tinput:11" + std::string(120, ' ') + "x\n";
    FILE *f = tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs(line.c_str(), f);
    std::rewind(f);
    char piece[line_size];
    ASSERT_NE(std::fgets(piece, sizeof piece, f), nullptr);
    EXPECT_EQ(std::string(piece).size(), 99u);
    const TQs_data *s = get_data(piece);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->input, 3u);
    ASSERT_NE(std::fgets(piece, sizeof piece, f), nullptr);
    EXPECT_EQ(get_data(piece), nullptr);
    std::fclose(f);
}

TEST(HeaderPid, OnlyAProcessOfItsOwnIsKept)
{
    EXPECT_EQ(header_pid("TQrunner vr:2.0 pid:812\n"), 812);
    EXPECT_EQ(header_pid("TQrunner vr:2.0    pid: 812"), 812);
    EXPECT_EQ(header_pid("TQrunner vr:2.0 pid:0\n"), 0);
    EXPECT_EQ(header_pid("TQrunner vr:2.0 pid:-1\n"), 0);
    EXPECT_EQ(header_pid("TQrunner vr:2.0 pid:4294967295\n"), 0);
    EXPECT_EQ(header_pid("TQrunner vr:2.0 pid:99999999999999999999\n"), 0);
    EXPECT_EQ(header_pid("TQrunner vr:2.0\n"), 0);
    EXPECT_EQ(header_pid("Hello 812\n"), 0);
    EXPECT_EQ(header_pid(""), 0);
}

namespace {

// save_start over a stream holding text; gives the result and the start-up
// file's content, and removes the file.
struct start_result {
    bool marker;
    std::string copied;
    std::string rest;
};

start_result run_save_start(const std::string &text)
{
    FILE *f = tmpfile();
    std::fputs(text.c_str(), f);
    std::rewind(f);
    char path[start_path_size];
    char *got = save_start(path, f);
    start_result r{got == path, slurp(path), ""};
    char line[line_size];
    while (std::fgets(line, sizeof line, f))
        r.rest += line;
    std::fclose(f);
    EXPECT_EQ(access(path, R_OK), 0);
    std::remove(path);
    return r;
}

}  // namespace

TEST(SaveStart, CopiesTheStartUpLinesUpToTheMarker)
{
    start_result r = run_save_start("one\ntwo\nthree\nProclog output:\n1:2:3 DATA:\tcode:1\tinput:1\n");
    EXPECT_TRUE(r.marker);
    EXPECT_EQ(r.copied, "one\ntwo\nthree\n");
    EXPECT_EQ(r.rest, "1:2:3 DATA:\tcode:1\tinput:1\n");
}

TEST(SaveStart, EndLineBeforeTheMarkerIsCopiedAndGivesNone)
{
    start_result r = run_save_start("one\nTQrunner zakonczyl prace\nProclog output:\n");
    EXPECT_FALSE(r.marker);
    EXPECT_EQ(r.copied, "one\nTQrunner zakonczyl prace\n");
    EXPECT_EQ(r.rest, "Proclog output:\n");
}

TEST(SaveStart, OnlyTheWholeMarkerLineEndsTheSection)
{
    start_result r = run_save_start("a\nProclog output: \nProclog output:\r\nProclog output:");
    EXPECT_FALSE(r.marker);
    EXPECT_EQ(r.copied, "a\nProclog output: \nProclog output:\r\nProclog output:");
}

TEST(SaveStart, EmptyStartUpSection)
{
    start_result r = run_save_start("Proclog output:\n");
    EXPECT_TRUE(r.marker);
    EXPECT_EQ(r.copied, "");
}

TEST(AddLog, NewestFirstOldestLostLinesCut)
{
    char log[log_numb][log_line] = {};
    for (int i = 1; i <= 21; ++i)
        add_log(("line " + std::to_string(i) + "\n").c_str(), log, log_numb);
    EXPECT_STREQ(log[0], "line 21\n");
    EXPECT_STREQ(log[19], "line 2\n");
    std::string longer(150, 'x');
    add_log(longer.c_str(), log, log_numb);
    EXPECT_EQ(std::string(log[0]), std::string(99, 'x'));
    EXPECT_STREQ(log[1], "line 21\n");
    EXPECT_STREQ(log[19], "line 3\n");
    add_log("", log, log_numb);
    EXPECT_STREQ(log[0], "");
}

TEST(SaveScores, FileFormatForThreeCategories)
{
    std::uint32_t table[16 * 3] = {};
    table[0] = 5;
    table[2] = 12;
    table[15 * 3 + 1] = 123456;
    char path[] = "/tmp/tqscoresXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(save_scores(table, 16, 3, path), 0);
    std::string expected = "\t    0    1    2\n";
    expected += " 1\t    5    0   12\n";
    for (int r = 2; r <= 15; ++r)
        expected += (r < 10 ? " " : "") + std::to_string(r) + "\t    0    0    0\n";
    expected += "16\t    0123456    0\n";
    EXPECT_EQ(slurp(path), expected);

    // A second save replaces the first file.
    std::uint32_t zeros[16 * 3] = {};
    EXPECT_EQ(save_scores(zeros, 16, 3, path), 0);
    EXPECT_EQ(slurp(path).size(), 17u + 16u * 19u);
    std::remove(path);
}

TEST(SaveScores, UnopenablePathWritesNothing)
{
    std::uint32_t table[16 * 4] = {};
    EXPECT_EQ(save_scores(table, 16, 4, "/nonexistent-dir/scores.txt"), 0);
    EXPECT_EQ(save_scores(table, 16, 4, ""), 0);
}
