// tqstest, analis_check and tms_check: exact output bytes and exit statuses.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

using tq_test::bin;
using tq_test::child_process;
using tq_test::slave_sim;

namespace {

std::string fake(const std::string &program)
{
    return std::string(TQ_TEST_FAKE_DIR) + "/" + program;
}

struct run_result {
    std::string out;
    int status;
};

run_result run(const std::vector<std::string> &argv)
{
    child_process p;
    if (!p.start(argv))
        return {"did not start", -1};
    std::string out = p.read_all(10000);
    return {out, p.wait(10000)};
}

// Reads lines of a running program until `count` came or none came within
// three seconds (a poll is due every second; the margin is for a loaded
// machine).
std::vector<std::string> lines(child_process &p, std::size_t count)
{
    std::vector<std::string> got;
    std::string line;
    while (got.size() < count && p.read_line(line, 3000))
        got.push_back(line);
    return got;
}

// The two set-up lines, then the given polling lines.
std::vector<std::string> after_set_up(std::initializer_list<std::string> polling)
{
    std::vector<std::string> all{"Inicjalizacja hardeware'u", "Inicjalizacja TQslave"};
    all.insert(all.end(), polling);
    return all;
}

}  // namespace

TEST(SelfChecks, AnalisCheckPrintsSevenVerdicts)
{
    run_result r = run({bin("analis_check"), "ignored"});
    EXPECT_EQ(r.out,
              "Testing TQs_analis_init() == 0\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,1,1,0x01)) == 2\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,6,1,0x01)) == 2\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,8,1,0x03)) == 3\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,10,1,0x03)) == 0\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,12,1,0x03)) == 0\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,19,1,0x03)) == 3\tOK\n");
    EXPECT_EQ(r.status, 0);
}

TEST(SelfChecks, AnalisCheckJudgesEverySampleWhenInitFails)
{
    run_result r = run({fake("analis_check_fake")});
    EXPECT_EQ(r.out,
              "Testing TQs_analis_init() == 0\tFAIL!!\n"
              "Testing TQs_data_analis(gendata(12,33,1,1,0x01)) == 2\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,6,1,0x01)) == 2\tOK\n"
              "Testing TQs_data_analis(gendata(12,33,8,1,0x03)) == 3\tFAIL!!\n"
              "Testing TQs_data_analis(gendata(12,33,10,1,0x03)) == 0\tFAIL!!\n"
              "Testing TQs_data_analis(gendata(12,33,12,1,0x03)) == 0\tFAIL!!\n"
              "Testing TQs_data_analis(gendata(12,33,19,1,0x03)) == 3\tFAIL!!\n");
    EXPECT_EQ(r.status, 0);
}

TEST(SelfChecks, TmsCheckPrintsSevenVerdicts)
{
    run_result r = run({bin("tms_check")});
    EXPECT_EQ(r.out,
              "Testing tms_equal(&time, &time)\tOK\n"
              "Testing atotms(\"12:10:20\")\tOK\n"
              "Testing tms_equal(&time, atotms(\"12:10:20\"))\tOK\n"
              "Testing difftms(&(time), atotms(\"12:10:30\"))\tOK\n"
              "Testing tms_equal( difftms(&(time), atotms(\"12:10:30\")), atotms(\"0:0:10\") )\tOK\n"
              "Testing tms_equal( difftms(&(time), atotms(\"1:50:23\")), atotms(\"10:19:57\") )\tOK\n"
              "Testing i == 37197\tOK\n");
    EXPECT_EQ(r.status, 0);
}

TEST(SelfChecks, TmsCheckCatchesRecordsOverwrittenByLaterCalls)
{
    run_result r = run({fake("tms_check_fake")});
    EXPECT_EQ(r.out,
              "Testing tms_equal(&time, &time)\tOK\n"
              "Testing atotms(\"12:10:20\")\tOK\n"
              "Testing tms_equal(&time, atotms(\"12:10:20\"))\tOK\n"
              "Testing difftms(&(time), atotms(\"12:10:30\"))\tOK\n"
              "Testing tms_equal( difftms(&(time), atotms(\"12:10:30\")), atotms(\"0:0:10\") )\tFAIL!!\n"
              "Testing tms_equal( difftms(&(time), atotms(\"1:50:23\")), atotms(\"10:19:57\") )\tFAIL!!\n"
              "Testing i == 37197\tOK\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Tqstest, WithoutAnArgumentPrintsOnlyTheMessage)
{
    run_result r = run({bin("tqstest")});
    EXPECT_EQ(r.out, "Zla liczba argumentow\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Tqstest, FailedHardwareSetUpEndsWithStatusTwo)
{
    ::setenv("TQ_FAKE_HARD_INIT", "fail", 1);
    run_result r = run({fake("tqstest_fake"), "127.0.0.1:1502"});
    ::unsetenv("TQ_FAKE_HARD_INIT");
    EXPECT_EQ(r.out, "Inicjalizacja hardeware'u\nBlad podczas inicializacji hardware'u\n");
    EXPECT_EQ(r.status, 2);
}

TEST(Tqstest, NoSlaveEndsWithStatusThree)
{
    for (std::string slave : {"127.0.0.1:" + std::to_string(tq_test::unused_port()), std::string("no-port")}) {
        run_result r = run({bin("tqstest"), slave});
        EXPECT_EQ(r.out, "Inicjalizacja hardeware'u\nInicjalizacja TQslave\nBlad podczas inicjalizacji TQslave\n")
            << slave;
        EXPECT_EQ(r.status, 3) << slave;
    }
}

TEST(Tqstest, PrintsTheSlavesInputsOnceASecond)
{
    slave_sim sim({"--fixed", "0xA5C3", "--period", "50"});
    ASSERT_NE(sim.port(), 0);
    child_process p;
    ASSERT_TRUE(p.start({bin("tqstest"), sim.address(), "further", "arguments"}));
    auto start = std::chrono::steady_clock::now();
    auto expected = after_set_up(
        {"Pobieranie danych", "input: 1010010111000011", "Pobieranie danych", "input: 1010010111000011"});
    EXPECT_EQ(lines(p, 6), expected);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST(Tqstest, ZeroInputsAreSixteenZeroDigits)
{
    slave_sim sim({"--fixed", "0"});
    ASSERT_NE(sim.port(), 0);
    child_process p;
    ASSERT_TRUE(p.start({bin("tqstest"), sim.address()}));
    auto expected = after_set_up({"Pobieranie danych", "input: 0000000000000000"});
    EXPECT_EQ(lines(p, 4), expected);
}

TEST(Tqstest, StalledSlaveHasNoNewData)
{
    slave_sim sim({"--fixed", "0x0003", "--stall"});
    ASSERT_NE(sim.port(), 0);
    child_process p;
    ASSERT_TRUE(p.start({bin("tqstest"), sim.address()}));
    auto expected =
        after_set_up({"Pobieranie danych", "input: 0000000000000011", "Pobieranie danych", "Brak nowych danych"});
    EXPECT_EQ(lines(p, 6), expected);
}

TEST(Tqstest, LostSlaveIsReportedAndPollingGoesOn)
{
    auto sim = std::make_unique<slave_sim>(std::vector<std::string>{"--fixed", "1", "--period", "50"});
    ASSERT_NE(sim->port(), 0);
    child_process p;
    ASSERT_TRUE(p.start({bin("tqstest"), sim->address()}));
    auto first = after_set_up({"Pobieranie danych", "input: 0000000000000001"});
    ASSERT_EQ(lines(p, 4), first);
    sim.reset();
    std::vector<std::string> later{"Pobieranie danych", "Blad podczas komunikacji", "Pobieranie danych",
                                   "Blad podczas komunikacji"};
    EXPECT_EQ(lines(p, 4), later);
}

TEST(Tqstest, OtherNegativeResultsArePrintedAsBits)
{
    ::setenv("TQ_FAKE_POLLS", "-3,-1,-2", 1);
    child_process p;
    bool started = p.start({fake("tqstest_fake"), "x"});
    ::unsetenv("TQ_FAKE_POLLS");
    ASSERT_TRUE(started);
    auto expected = after_set_up({"Pobieranie danych", "input: 1111111111111101", "Pobieranie danych",
                                  "Brak nowych danych", "Pobieranie danych", "Blad podczas komunikacji"});
    EXPECT_EQ(lines(p, 8), expected);
}
