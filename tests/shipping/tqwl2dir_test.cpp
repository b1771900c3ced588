// tqwl2dir end to end: real station and transfer directories, hook scripts
// that record their calls, the state each exit status leaves behind.
#include "fs_helpers.h"

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <ctime>
#include <functional>
#include <thread>

using namespace tqtest;

namespace {

const std::string program = std::string(TQ_BIN_DIR) + "/tqwl2dir";

const std::string usage =
    "tqwl2dir - program transferujacy pliki worklog \t\t\ta katalogu w programu tqrunner do okreslonego "
    "\t\t\tkatalogu transferowego.\n\t\t\tusage:\n\ttqwl2dir dir_name\n\n";

const std::string N1 = "1700000001", N2 = "1700000002", N3 = "1700000003";

// RFC 1321's test suite: the worklogs' contents and their digests.
const std::map<std::string, std::pair<std::string, std::string>> worklogs = {
    {N1, {"abc", "900150983cd24fb0d6963f7d28e17f72"}},
    {N2, {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"}},
    {N3, {"", "d41d8cd98f00b204e9800998ecf8427e"}},
};

std::string unhex(const std::string &hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Marks the fresh worklog name in an expected station list.
const std::string fresh = "<NEW>";

struct station {
    temp_dir root{"tqship"};
    fs::path st = root / "station";
    fs::path tr = root / "trans";
    fs::path calls = root / "calls";

    station()
    {
        fs::create_directories(st / "worklogs");
        fs::create_directories(tr);
        for (const auto &[name, wl] : worklogs)
            write_file(st / "worklogs" / (name + ".wl"), wl.first);
        write_file(st / "wl.set", N1 + "\n" + N2 + "\n" + N3 + "\n");
        write_file(st / "error.log", "E1E2E3");
        hook("pre", 0);
        hook("post", 0);
    }
    // A hook that records its argument and exits with rc.
    void hook(const std::string &which, int rc)
    {
        write_file(st / (which + "-trans.sh"),
                   "printf '" + which + "[%s]\\n' \"$1\" >> '" + calls.string() + "'\nexit " + std::to_string(rc) + "\n");
    }
    tree station_tree() const { return snapshot(st, {"pre-trans.sh", "post-trans.sh"}); }
    tree trans_tree() const { return snapshot(tr); }
    std::string recorded() const { return read_file(calls).value_or(""); }
};

// What a complete transfer of the given names holds.
tree complete(const std::vector<std::string> &names, bool with_errlog = true)
{
    tree t;
    std::string list;
    t["worklogs"] = "<dir>";
    for (const auto &n : names) {
        list += n + "\n";
        t["worklogs/" + n + ".wl"] = worklogs.at(n).first;
        t["worklogs/" + n + ".wl.md5"] = unhex(worklogs.at(n).second);
    }
    t["wl.set"] = list;
    if (with_errlog)
        t["error.log"] = "E1E2E3";
    return t;
}

// Compares trees; an expected station list holding <NEW> takes a 10-digit
// name made between t0 and t1 in its place.
void expect_tree(const tree &want, const tree &got, std::time_t t0, std::time_t t1, const char *what)
{
    tree w = want, g = got;
    auto it = w.find("wl.set");
    if (it != w.end()) {
        auto pos = it->second.find(fresh);
        if (pos != std::string::npos && g.count("wl.set")) {
            const std::string &actual = g["wl.set"];
            std::string name = actual.size() >= pos + 10 ? actual.substr(pos, 10) : "";
            bool digits = name.size() == 10;
            for (char c : name)
                digits = digits && std::isdigit((unsigned char)c);
            ASSERT_TRUE(digits) << what << ": no fresh name in " << actual;
            long long t = std::stoll(name);
            EXPECT_TRUE(t >= t0 && t <= t1) << what << ": fresh name " << name;
            it->second.replace(pos, fresh.size(), name);
        }
    }
    EXPECT_EQ(w, g) << what;
}

struct ship_case {
    const char *name;
    std::function<void(station &)> setup;
    // Arguments after the program name; "TR" stands for the transfer
    // directory.
    std::vector<std::string> args;
    int status;
    // Expected trees, built from the untouched ones.
    std::function<void(station &, tree &st, tree &tr)> expect;
    // Expected hook calls, "TR" standing for the directory.
    std::string calls;
    // The shell itself complains on standard error.
    bool shell_speaks = false;
};

void PrintTo(const ship_case &c, std::ostream *os)
{
    *os << c.name;
}

const std::string both = "pre[TR]\npost[TR]\n";

// The state a failed run leaves in the transfer directory (3 without list).
void failed_dir(tree &tr)
{
    tr["terror"] = "";
    tr["wl.set"] = "";
    tr["worklogs"] = "<dir>";
}

const std::vector<ship_case> cases = {
    {"usage_without_argument", nullptr, {}, 1, nullptr, ""},
    {"usage_with_two_arguments", nullptr, {"TR", "TR"}, 1, nullptr, ""},
    {"pre_hook_fails", [](station &s) { s.hook("pre", 3); }, {"TR"}, 13, nullptr, "pre[TR]\n"},
    {"pre_hook_missing", [](station &s) { fs::remove(s.st / "pre-trans.sh"); }, {"TR"}, 13, nullptr, "", true},
    {"directory_missing_11", [](station &s) { fs::remove(s.tr); }, {"TR"}, 11, nullptr, both},
    {"transfer_list_present_17",
     [](station &s) {
         write_file(s.tr / "wl.set", "1699999999\n");
         write_file(s.tr / "terror", "");
     },
     {"TR"}, 17, nullptr, both},
    {"transfer_list_cannot_be_created_3",
     [](station &s) { fs::create_symlink("missing/wl.set", s.tr / "wl.set"); },
     {"TR"}, 3,
     [](station &, tree &, tree &tr) {
         tr["terror"] = "";
         tr["worklogs"] = "<dir>";
     },
     both},
    {"station_list_missing_5", [](station &s) { fs::remove(s.st / "wl.set"); }, {"TR"}, 5,
     [](station &, tree &, tree &tr) { failed_dir(tr); }, both},
    {"station_list_cannot_be_rewritten_7",
     [](station &s) { fs::create_directory(s.st / "wl.set.new"); },
     {"TR"}, 7, [](station &, tree &, tree &tr) { failed_dir(tr); }, both},
    {"all_shipped_0", nullptr, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2, N3});
         st["wl.set"] = fresh + "\n";
         st.erase("error.log");
     },
     both},
    {"second_copy_fails_0", [](station &s) { fs::remove(s.st / "worklogs" / (N2 + ".wl")); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1});
         st["wl.set"] = N2 + "\n" + N3 + "\n";
         st.erase("error.log");
     },
     both},
    {"first_copy_fails_0", [](station &s) { fs::remove(s.st / "worklogs" / (N1 + ".wl")); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({});
         st.erase("error.log");
     },
     both},
    {"last_copy_fails_0", [](station &s) { fs::remove(s.st / "worklogs" / (N3 + ".wl")); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2});
         st["wl.set"] = N3 + "\n";
         st.erase("error.log");
     },
     both},
    {"empty_station_list_0", [](station &s) { write_file(s.st / "wl.set", ""); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({});
         st["wl.set"] = fresh + "\n";
         st.erase("error.log");
     },
     both},
    {"no_error_log_0", [](station &s) { fs::remove(s.st / "error.log"); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2, N3}, false);
         st["wl.set"] = fresh + "\n";
     },
     both},
    {"post_hook_fails_after_success_13", [](station &s) { s.hook("post", 4); }, {"TR"}, 13,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2, N3});
         st["wl.set"] = fresh + "\n";
         st.erase("error.log");
     },
     both},
    {"transfer_and_post_hook_fail_keeps_11",
     [](station &s) {
         fs::remove(s.tr);
         s.hook("post", 4);
     },
     {"TR"}, 11, nullptr, both},
    {"marker_without_list_is_taken_again_0", [](station &s) { write_file(s.tr / "terror", "old"); }, {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2, N3});
         st["wl.set"] = fresh + "\n";
         st.erase("error.log");
     },
     both},
    {"lines_that_are_no_name_stay_in_the_station_list",
     [](station &s) {
         write_file(s.st / "wl.set", N1 + "\n\n123456789\n12345678901\n17000/0002\n" + N2 + "\n" + N3);
     },
     {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1, N2});
         st["wl.set"] = "\n123456789\n12345678901\n17000/0002\n" + N3 + "\n" + fresh + "\n";
         st.erase("error.log");
     },
     both},
    {"lines_after_a_failed_copy_stay_in_order",
     [](station &s) {
         write_file(s.st / "wl.set", "short\n" + N1 + "\n" + N2 + "\nlonger-than-ten\n" + N3 + "\n");
         fs::remove(s.st / "worklogs" / (N2 + ".wl"));
     },
     {"TR"}, 0,
     [](station &, tree &st, tree &tr) {
         tr = complete({N1});
         st["wl.set"] = "short\n" + N2 + "\nlonger-than-ten\n" + N3 + "\n";
         st.erase("error.log");
     },
     both},
};

class ShippingStatus : public ::testing::TestWithParam<ship_case> {};

TEST_P(ShippingStatus, LeavesTheStatesOfItsExit)
{
    const ship_case &c = GetParam();
    station s;
    if (c.setup)
        c.setup(s);
    tree st = s.station_tree(), tr = s.trans_tree();
    if (c.expect)
        c.expect(s, st, tr);

    std::vector<std::string> argv{program};
    for (const auto &a : c.args)
        argv.push_back(a == "TR" ? s.tr.string() : a);
    std::time_t t0 = std::time(nullptr);
    run_result r = run(s.st, argv);
    std::time_t t1 = std::time(nullptr);

    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.status == 1 ? usage : "");
    if (!c.shell_speaks) {
        EXPECT_EQ(r.err, "");
    }
    std::string calls = c.calls;
    for (std::size_t p = 0; (p = calls.find("TR", p)) != std::string::npos; p += s.tr.string().size())
        calls.replace(p, 2, s.tr.string());
    EXPECT_EQ(s.recorded(), calls);
    expect_tree(st, s.station_tree(), t0, t1, "station");
    expect_tree(tr, s.trans_tree(), t0, t1, "transfer directory");
}

INSTANTIATE_TEST_SUITE_P(Table, ShippingStatus, ::testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.name); });

// The directory reaches the hooks as one argument and is never run as shell
// text; a path far beyond the old 84-character limit ships as well.
TEST(Shipping, HostileAndLongDirectoriesAreOneArgument)
{
    for (std::string leaf : {std::string("a b; touch x"), std::string("$(touch y) `touch z` 'q\" \\"),
                             std::string(200, 'd')}) {
        station s;
        fs::path dir = s.root / "sub dir" / leaf;
        fs::create_directories(dir);
        run_result r = run(s.st, {program, dir.string()});
        EXPECT_EQ(r.status, 0) << leaf;
        EXPECT_EQ(s.recorded(), "pre[" + dir.string() + "]\npost[" + dir.string() + "]\n");
        tree want = complete({N1, N2, N3});
        EXPECT_EQ(snapshot(dir), want) << leaf;
        for (const char *stray : {"x", "y", "z"}) {
            EXPECT_FALSE(fs::exists(s.st / stray)) << leaf;
            EXPECT_FALSE(fs::exists(s.root / stray)) << leaf;
        }
    }
}

// An empty argument names no directory: nothing lands in "/".
TEST(Shipping, EmptyDirectoryArgumentIsMissingDirectory)
{
    station s;
    tree st = s.station_tree();
    run_result r = run(s.st, {program, ""});
    EXPECT_EQ(r.status, 11);
    EXPECT_EQ(s.station_tree(), st);
    EXPECT_FALSE(fs::exists("/terror"));
}

// Starts the program and waits until it blocks opening the FIFO fifo; the
// returned descriptor keeps it blocked in its read until closed.
int run_until_blocked(station &s, const fs::path &fifo, pid_t &pid)
{
    pid = ::fork();
    if (pid == 0) {
        if (::chdir(s.st.c_str()) != 0)
            ::_exit(126);
        ::execl(program.c_str(), program.c_str(), s.tr.c_str(), (char *)nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 2000; ++i) {
        int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            return fd;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

void kill_and_reap(pid_t pid, int fd)
{
    ::kill(pid, SIGKILL);
    int ws;
    ::waitpid(pid, &ws, 0);
    ::close(fd);
}

// Killed while it ships a worklog: the station list is still the old one;
// the next run ships everything.
TEST(Shipping, KilledWhileShippingLosesNoName)
{
    station s;
    fs::path wl2 = s.st / "worklogs" / (N2 + ".wl");
    fs::remove(wl2);
    ASSERT_EQ(::mkfifo(wl2.c_str(), 0600), 0);
    pid_t pid;
    int fd = run_until_blocked(s, wl2, pid);
    ASSERT_GE(fd, 0);
    kill_and_reap(pid, fd);

    EXPECT_EQ(read_file(s.st / "wl.set"), N1 + "\n" + N2 + "\n" + N3 + "\n");
    EXPECT_EQ(read_file(s.st / "oldwl.set"), N1 + "\n" + N2 + "\n" + N3 + "\n");
    EXPECT_TRUE(fs::exists(s.tr / "terror"));

    // The operator empties the failed directory; the next run ships it all.
    fs::remove(wl2);
    write_file(wl2, worklogs.at(N2).first);
    fs::remove_all(s.tr);
    fs::create_directory(s.tr);
    run_result r = run(s.st, {program, s.tr.string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(s.trans_tree(), complete({N1, N2, N3}));
    EXPECT_FALSE(fs::exists(s.st / "oldwl.set"));
}

// Killed after the station list was replaced but before the directory was
// complete: the next run, even one refused with 17, puts the shipped names
// back in front of the fresh one, so none is lost.
TEST(Shipping, KilledBeforeTheDirectoryWasCompleteLosesNoName)
{
    station s;
    fs::remove(s.st / "error.log");
    ASSERT_EQ(::mkfifo((s.st / "error.log").c_str(), 0600), 0);
    pid_t pid;
    int fd = run_until_blocked(s, s.st / "error.log", pid);
    ASSERT_GE(fd, 0);
    kill_and_reap(pid, fd);

    std::string fresh_list = read_file(s.st / "wl.set").value_or("");
    ASSERT_EQ(fresh_list.size(), 11u) << fresh_list;
    EXPECT_TRUE(fs::exists(s.tr / "terror"));
    fs::remove(s.st / "error.log");

    run_result r = run(s.st, {program, s.tr.string()});
    EXPECT_EQ(r.status, 17);
    EXPECT_EQ(read_file(s.st / "wl.set"), N1 + "\n" + N2 + "\n" + N3 + "\n" + fresh_list);
    EXPECT_FALSE(fs::exists(s.st / "oldwl.set"));
}

// A list left in "oldwl.set" by an older run that was killed while it
// rewrote the station list in place: the partial list adds only what the
// saved one lacks.
TEST(Shipping, RecoversAListLeftInOldwlSet)
{
    station s;
    write_file(s.tr / "wl.set", "");
    write_file(s.st / "oldwl.set", N1 + "\n" + N2 + "\n");
    write_file(s.st / "wl.set", N2 + "\n17000");
    run_result r = run(s.st, {program, s.tr.string()});
    EXPECT_EQ(r.status, 17);
    EXPECT_EQ(read_file(s.st / "wl.set"), N1 + "\n" + N2 + "\n17000\n");
    EXPECT_FALSE(fs::exists(s.st / "oldwl.set"));
}

}  // namespace

namespace {

// The example hooks carry a complete transfer to the share and empty the
// local directory; the next run waits until the share was taken over.
TEST(ShippingHooks, ExampleHooksCarryTheDirectory)
{
    station s;
    for (const char *hook : {"pre-trans.sh", "post-trans.sh"})
        fs::copy_file(fs::path(TQ_SOURCE_DIR) / "shipping" / "hooks" / hook, s.st / hook,
                      fs::copy_options::overwrite_existing);
    fs::path share = s.root / "manage side" / "station 1";
    fs::create_directories(share.parent_path());
    fs::remove(s.tr);  // the pre hook makes it
    const std::vector<std::pair<std::string, std::string>> env{{"TQ_SHARE", share.string()}};

    run_result r = run(s.st, {program, s.tr.string()}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(snapshot(share), complete({N1, N2, N3}));
    EXPECT_EQ(s.trans_tree(), tree{});
    EXPECT_FALSE(fs::exists(share.string() + ".part"));

    r = run(s.st, {program, s.tr.string()}, env);
    EXPECT_EQ(r.status, 13);
    EXPECT_NE(r.err, "");

    // Once the share was taken over, the worklog the runner wrote since
    // travels.
    fs::rename(share, s.root / "archive");
    std::string fresh_name = read_file(s.st / "wl.set").value_or("").substr(0, 10);
    write_file(s.st / "worklogs" / (fresh_name + ".wl"), "abc");
    r = run(s.st, {program, s.tr.string()}, env);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(snapshot(share), (tree{{"wl.set", fresh_name + "\n"},
                                     {"worklogs", "<dir>"},
                                     {"worklogs/" + fresh_name + ".wl", "abc"},
                                     {"worklogs/" + fresh_name + ".wl.md5", unhex(worklogs.at(N1).second)}}));
}

}  // namespace
