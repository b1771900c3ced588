#include "report_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>

namespace fs = std::filesystem;
using namespace std::chrono;

namespace report_test {

const shift_bounds default_shifts[3] = {
    {6 * 3600, 14 * 3600}, {14 * 3600, 22 * 3600}, {22 * 3600, 6 * 3600}};

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

run_result run(const std::string &cwd, const std::vector<std::string> &argv,
               const std::string &input, const std::vector<std::string> &env)
{
    char dir_template[] = "/tmp/tqraport-run-XXXXXX";
    std::string io = mkdtemp(dir_template);
    std::string in_path = io + "/in", out_path = io + "/out", err_path = io + "/err";
    write_file(in_path, input);

    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);

    run_result r;
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        setenv("TZ", "UTC", 1);
        for (const auto &e : env)
            putenv(const_cast<char *>(e.c_str()));
        execv(args[0], args.data());
        _exit(127);
    }
    int wstatus = 0;
    if (pid > 0 && waitpid(pid, &wstatus, 0) == pid)
        r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    fs::remove_all(io);
    return r;
}

sys_days date_of(int y, unsigned m, unsigned d)
{
    return sys_days(year(y) / month(m) / d);
}

int tod(int h, int m, int s)
{
    return h * 3600 + m * 60 + s;
}

counts &operator+=(counts &a, const counts &b)
{
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] += b[i];
    return a;
}

counts expected(const std::vector<stored> &samples, sys_days date, int from, int to,
                std::uint32_t code)
{
    // Whole seconds since the epoch, so that a gap over midnight is the real one.
    std::vector<std::pair<long, std::uint32_t>> picked;
    auto take = [&](sys_days d, int lo, int hi) {
        std::vector<std::pair<long, std::uint32_t>> part;
        for (const auto &s : samples)
            if (s.code == code && s.date == d && s.second >= lo && s.second < hi)
                part.push_back({d.time_since_epoch().count() * 86400L + s.second, s.input});
        std::stable_sort(part.begin(), part.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        picked.insert(picked.end(), part.begin(), part.end());
    };
    if (from <= to) {
        take(date, from, to);
    } else {
        take(date, from, 86400);
        take(date + days(1), 0, to);
    }

    // The classification rule: 1 machine off (bit 0 clear), 2 idle (bit 1
    // clear), 0 work continuing (the previous sample had bit 1 set and came at
    // most 5 s earlier), 3 start of work otherwise.
    counts c{};
    bool have_previous = false, previous_working = false;
    long previous_time = 0;
    for (const auto &[when, input] : picked) {
        bool working = (input & 2u) != 0;
        int k;
        if ((input & 1u) == 0)
            k = 1;
        else if (!working)
            k = 2;
        else if (have_previous && previous_working && when - previous_time <= 5)
            k = 0;
        else
            k = 3;
        ++c[k];
        have_previous = true;
        previous_working = working;
        previous_time = when;
    }
    return c;
}

std::vector<record> window(std::uint32_t code, int from, int to, std::uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<record> out;
    for (int t = from; t < to; t += 1 + static_cast<int>(gen() % 7)) {
        unsigned r = gen() % 8;
        std::uint32_t input = r < 3 ? r : 3;
        out.push_back({t / 3600, t / 60 % 60, t % 60, code, input});
    }
    return out;
}

std::vector<record> merge(std::vector<std::vector<record>> parts)
{
    std::vector<record> all;
    for (auto &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    std::stable_sort(all.begin(), all.end(), [](const record &a, const record &b) {
        return tod(a.hour, a.minute, a.second) < tod(b.hour, b.minute, b.second);
    });
    return all;
}

void report_fixture::SetUp()
{
    const char *env = std::getenv("TQ_TEST_DB_DIR");
    db_dir = env ? env : TQ_TEST_DB_DIR;
    char dir_template[] = "/tmp/tqraport-test-XXXXXX";
    root = mkdtemp(dir_template);
    workdir = root + "/work";
    fs::create_directory(workdir);
    fs::copy_file(std::string(TQ_SOURCE_DIR) + "/report/tqraport.ini", workdir + "/tqraport.ini");
    fs::copy_file(db_dir + "/tqdb.ini", workdir + "/tqdb.ini");
    auto r = run(root, {std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local", "reset", db_dir});
    ASSERT_EQ(r.status, 0) << r.err;
}

void report_fixture::TearDown()
{
    fs::remove_all(root);
}

run_result report_fixture::raport(const std::vector<std::string> &args)
{
    return raport_in(workdir, args);
}

run_result report_fixture::raport_in(const std::string &cwd, const std::vector<std::string> &args)
{
    std::vector<std::string> argv{std::string(TQ_BIN_DIR) + "/tqraport"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(cwd, argv);
}

run_result report_fixture::db_client(const std::string &sql)
{
    return run(root, {std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local", "client", db_dir,
                      "--batch", "-e", sql});
}

void report_fixture::add_worker(const std::string &first, const std::string &second)
{
    auto r = run(workdir, {std::string(TQ_BIN_DIR) + "/tqmanager", "insert_worker"},
                 first + " " + second + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
}

void report_fixture::add_plan(const std::string &date, const std::vector<plan_line> &lines)
{
    std::string input;
    for (const auto &l : lines)
        input += l.first + " " + l.second + " " + std::to_string(l.workstation) + " " +
                 std::to_string(l.shift) + "\n";
    auto r = run(workdir, {std::string(TQ_BIN_DIR) + "/tqmanager", "insert_shift", date}, input);
    ASSERT_EQ(r.status, 0) << r.err;
}

namespace {

std::string worklog_name(sys_seconds t)
{
    char name[16];
    std::snprintf(name, sizeof name, "%010lld", static_cast<long long>(t.time_since_epoch().count()));
    return name;
}

// The 12-byte worklog record: hour, minute, second, 0, code and input as
// 32-bit little-endian numbers.
std::string worklog_bytes(const worklog &log)
{
    std::string bytes;
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    for (const auto &r : log.records) {
        bytes.push_back(static_cast<char>(r.hour));
        bytes.push_back(static_cast<char>(r.minute));
        bytes.push_back(static_cast<char>(r.second));
        bytes.push_back(0);
        le32(r.code);
        le32(r.input);
    }
    return bytes;
}

std::string md5(const std::string &data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char *>(digest), len);
}

}  // namespace

std::vector<stored> report_fixture::import(const std::vector<worklog> &logs)
{
    std::vector<stored> out;
    for (const auto &log : logs) {
        // The import dates a sample by the local date of the name's time and
        // moves on a day each time the time of day goes back.
        sys_days date = floor<days>(log.name_time);
        int previous = -1;
        for (const auto &r : log.records) {
            int t = tod(r.hour, r.minute, r.second);
            if (previous >= 0 && t < previous)
                date += days(1);
            previous = t;
            out.push_back({date, t, r.code, r.input});
        }
    }

    std::string trans = root + "/trans";
    fs::create_directories(trans + "/worklogs");
    std::string list;
    for (const auto &log : logs) {
        std::string name = worklog_name(log.name_time);
        std::string bytes = worklog_bytes(log);
        write_file(trans + "/worklogs/" + name + ".wl", bytes);
        write_file(trans + "/worklogs/" + name + ".wl.md5", md5(bytes));
        list += name + "\n";
    }
    write_file(trans + "/wl.set", list);
    write_file(workdir + "/tqwl2db.ini", "[main]\ntrans_dir = " + trans + "\n");
    auto r = run(workdir, {std::string(TQ_BIN_DIR) + "/tqwl2db", "0", "1", trans});
    EXPECT_EQ(r.status, 0) << r.err;
    fs::remove_all(trans);
    return out;
}

}  // namespace report_test
