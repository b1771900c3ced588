// The Modbus path: TQs_init and TQs_data_cycle against tqslave_sim, and
// tqslave_sim read by mbpoll, a Modbus client written elsewhere.
#include "station_libs.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <regex>

using namespace tq;
using tq_test::child_process;
using tq_test::slave_sim;

namespace {

// mbpoll's whole output for one read; "-0" makes its references 0-based.
std::string mbpoll(const std::vector<std::string> &options, int port)
{
    std::vector<std::string> argv{"/usr/bin/mbpoll", "-m", "tcp", "-0", "-1", "-o", "1", "-p", std::to_string(port)};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back("127.0.0.1");
    child_process p;
    if (!p.start(argv))
        return "mbpoll did not start";
    std::string out = p.read_all(10000);
    p.wait(5000);
    return out;
}

// The values mbpoll printed, "[ref]: value" per line, in order.
std::vector<long> mbpoll_values(const std::string &out)
{
    std::vector<long> values;
    std::regex line(R"(\[(\d+)\]:\s+(-?\d+))");
    for (std::sregex_iterator it(out.begin(), out.end(), line), end; it != end; ++it)
        values.push_back(std::stol((*it)[2]));
    return values;
}

}  // namespace

TEST(SlaveSim, InputsReadByMbpollAreItsFixedValue)
{
    slave_sim sim({"--fixed", "0xA5C3", "--period", "50"});
    ASSERT_NE(sim.port(), 0);
    std::vector<long> bits = mbpoll_values(mbpoll({"-a", "1", "-t", "1", "-r", "0", "-c", "16"}, sim.port()));
    ASSERT_EQ(bits.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(bits[std::size_t(i)], (0xA5C3 >> i) & 1) << "discrete input " << i;
}

TEST(SlaveSim, CounterAdvancesAndServesManyClients)
{
    slave_sim sim({"--period", "20"});
    ASSERT_NE(sim.port(), 0);
    std::vector<long> first = mbpoll_values(mbpoll({"-a", "1", "-t", "3", "-r", "0", "-c", "1"}, sim.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<long> second = mbpoll_values(mbpoll({"-a", "1", "-t", "3", "-r", "0", "-c", "1"}, sim.port()));
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_GT(second[0], first[0]);
}

TEST(SlaveSim, StalledCounterStaysPut)
{
    slave_sim sim({"--period", "10", "--stall"});
    ASSERT_NE(sim.port(), 0);
    std::vector<long> first = mbpoll_values(mbpoll({"-t", "3", "-r", "0", "-c", "1"}, sim.port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    std::vector<long> second = mbpoll_values(mbpoll({"-t", "3", "-r", "0", "-c", "1"}, sim.port()));
    EXPECT_EQ(first, std::vector<long>{1});
    EXPECT_EQ(second, std::vector<long>{1});
}

TEST(SlaveSim, AnswersOnlyItsOwnUnit)
{
    slave_sim sim({"--unit", "7", "--fixed", "1"});
    ASSERT_NE(sim.port(), 0);
    EXPECT_EQ(mbpoll_values(mbpoll({"-a", "7", "-t", "1", "-r", "0", "-c", "1"}, sim.port())), std::vector<long>{1});
    EXPECT_TRUE(mbpoll_values(mbpoll({"-a", "1", "-t", "1", "-r", "0", "-c", "1"}, sim.port())).empty());
}

TEST(SlaveSim, EndsCleanlyOnTermAndInt)
{
    for (int sig : {SIGTERM, SIGINT}) {
        slave_sim sim({});
        ASSERT_NE(sim.port(), 0);
        sim.process().signal(sig);
        EXPECT_EQ(sim.process().wait(5000), 0) << "signal " << sig;
    }
}

TEST(SlaveSim, CommandLine)
{
    child_process help;
    ASSERT_TRUE(help.start({tq_test::bin("tqslave_sim"), "--help"}));
    EXPECT_NE(help.read_all(5000).find("--fixed"), std::string::npos);
    EXPECT_EQ(help.wait(5000), 0);
    for (std::vector<std::string> bad : {std::vector<std::string>{"--port", "70000"}, {"--fixed", "0x10000"},
                                         {"--period", "0"}, {"--unit", "x"}, {"--bogus"}, {"extra"}}) {
        bad.insert(bad.begin(), tq_test::bin("tqslave_sim"));
        child_process p;
        ASSERT_TRUE(p.start(bad));
        EXPECT_EQ(p.wait(5000), 1) << bad[1];
    }
}

TEST(ModbusPath, InitFailsWithoutASlave)
{
    std::string nobody = "127.0.0.1:" + std::to_string(tq_test::unused_port());
    EXPECT_NE(TQs_init(nobody.c_str(), 1), 0);
    EXPECT_EQ(TQs_data_cycle(1), -2);
    for (const char *bad : {"", "127.0.0.1", "127.0.0.1:", ":1502", "127.0.0.1:0", "127.0.0.1:65536",
                            "127.0.0.1:15x", "/nonexistent/tty"})
        EXPECT_NE(TQs_init(bad, 1), 0) << bad;
    EXPECT_NE(TQs_init(nullptr, 1), 0);
}

TEST(ModbusPath, InitFailsForAnotherUnit)
{
    slave_sim sim({"--unit", "1"});
    ASSERT_NE(sim.port(), 0);
    EXPECT_NE(TQs_init(sim.address().c_str(), 2), 0);
    EXPECT_EQ(TQs_init(sim.address().c_str(), 1), 0);
    EXPECT_EQ(TQs_init(("localhost:" + std::to_string(sim.port())).c_str(), 1), 0);
}

TEST(ModbusPath, CycleGivesTheInputBitsWhenTheCounterMoved)
{
    slave_sim sim({"--fixed", "0x8001", "--period", "10"});
    ASSERT_NE(sim.port(), 0);
    ASSERT_EQ(TQs_init(sim.address().c_str(), 1), 0);
    EXPECT_EQ(TQs_data_cycle(1), 0x8001);
    // The slave samples every 10 ms; a busy machine may delay it.
    int r = -1;
    for (int i = 0; i < 200 && r == -1; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        r = TQs_data_cycle(1);
    }
    EXPECT_EQ(r, 0x8001);
}

TEST(ModbusPath, UnchangedCounterMeansNoNewData)
{
    slave_sim sim({"--fixed", "0x0003", "--stall"});
    ASSERT_NE(sim.port(), 0);
    ASSERT_EQ(TQs_init(sim.address().c_str(), 1), 0);
    EXPECT_EQ(TQs_data_cycle(1), 3);  // the first poll after set-up
    EXPECT_EQ(TQs_data_cycle(1), -1);
    EXPECT_EQ(TQs_data_cycle(1), -1);
}

TEST(ModbusPath, SeededInputsRepeatAndChange)
{
    // A stalled slave holds its first sample, which its seed decides.
    auto first_sample = [](const char *seed) {
        slave_sim sim({"--seed", seed, "--stall"});
        return TQs_init(sim.address().c_str(), 1) == 0 ? TQs_data_cycle(1) : -100;
    };
    int a = first_sample("42");
    EXPECT_GE(a, 0);
    EXPECT_EQ(first_sample("42"), a);
    EXPECT_NE(first_sample("43"), a);

    slave_sim sim({"--seed", "42", "--period", "10"});
    ASSERT_EQ(TQs_init(sim.address().c_str(), 1), 0);
    std::vector<int> seen;
    for (int i = 0; i < 200 && seen.size() < 3; ++i) {
        int r = TQs_data_cycle(1);
        ASSERT_TRUE(r == -1 || (r >= 0 && r <= 0xFFFF)) << r;
        if (r >= 0 && (seen.empty() || seen.back() != r))
            seen.push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(seen.size(), 3u);
}

TEST(ModbusPath, LostSlaveIsACommunicationFailureUntilItReturns)
{
    auto sim = std::make_unique<slave_sim>(std::vector<std::string>{"--fixed", "5", "--period", "10"});
    int port = sim->port();
    ASSERT_NE(port, 0);
    ASSERT_EQ(TQs_init(sim->address().c_str(), 1), 0);
    EXPECT_EQ(TQs_data_cycle(1), 5);
    sim.reset();  // killed
    EXPECT_EQ(TQs_data_cycle(1), -2);
    EXPECT_EQ(TQs_data_cycle(1), -2);
    // Back on the same port: the next poll connects afresh.
    slave_sim again({"--port", std::to_string(port), "--fixed", "6"});
    ASSERT_EQ(again.port(), port);
    EXPECT_EQ(TQs_data_cycle(1), 6);
}
