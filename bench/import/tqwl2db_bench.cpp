// Imports one day of a 16-workstation station (SAMPLES samples, default one
// million) with tqwl2db and compares its rate with, in the same run and over
// the same socket of the same private server:
//  - the floor: one transaction of prepared single-row INSERTs of the same
//    rows, each executed at its own call, as an import that learns the fate
//    of every record at that record must do;
//  - for information, LOAD DATA LOCAL INFILE of the same rows.
//
//   tqwl2db_bench [SAMPLES] [DBDIR] [ROUNDS]
//
// DBDIR (default /tmp/tqdb-bench) is started with tools/tqdb-local when it
// is not running and emptied before each run; stop it afterwards with
// "tools/tqdb-local stop DBDIR".
#include <iniparser/iniparser.h>
#include <mysql.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string bin = TQ_BIN_DIR;
const std::string tqdb_local = std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local";
// 2026-01-05 00:00:00 UTC; the benchmark runs its programs with TZ=UTC0.
const char worklog_name[] = "1767571200";
const char sample_date[] = "2026-01-05";

struct sample {
    unsigned char h, m, s;
    unsigned code, input;
};

int run(const fs::path &cwd, const std::vector<std::string> &argv, bool quiet = true)
{
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0 || (quiet && !std::freopen("/dev/null", "w", stdout)))
            ::_exit(126);
        ::setenv("TZ", "UTC0", 1);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int ws;
    ::waitpid(pid, &ws, 0);
    return WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
}

double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

struct mysql_closer {
    void operator()(MYSQL *m) const { mysql_close(m); }
};
using conn_ptr = std::unique_ptr<MYSQL, mysql_closer>;

conn_ptr connect(const fs::path &ini)
{
    dictionary *d = iniparser_load(ini.c_str());
    if (!d)
        return nullptr;
    conn_ptr c(mysql_init(nullptr));
    unsigned on = 1;
    mysql_optionsv(c.get(), MYSQL_OPT_LOCAL_INFILE, &on);
    bool ok = mysql_real_connect(c.get(), "localhost", iniparser_getstring(d, "database:user", ""),
                                 iniparser_getstring(d, "database:password", ""),
                                 iniparser_getstring(d, "database:name", ""), 0,
                                 iniparser_getstring(d, "database:socket", nullptr), 0) != nullptr;
    iniparser_freedict(d);
    if (!ok) {
        std::fprintf(stderr, "connect: %s\n", mysql_error(c.get()));
        return nullptr;
    }
    return c;
}

bool query(MYSQL *c, const char *sql)
{
    if (mysql_query(c, sql) == 0)
        return true;
    std::fprintf(stderr, "%s: %s\n", sql, mysql_error(c));
    return false;
}

long long count_samples(const fs::path &ini)
{
    conn_ptr c = connect(ini);
    if (!c || !query(c.get(), "SELECT COUNT(*) FROM samples"))
        return -1;
    MYSQL_RES *r = mysql_store_result(c.get());
    MYSQL_ROW row = r ? mysql_fetch_row(r) : nullptr;
    long long n = row && row[0] ? std::atoll(row[0]) : -1;
    if (r)
        mysql_free_result(r);
    return n;
}

// The floor: prepared single-row INSERTs, one transaction.
bool insert_loop(const fs::path &ini, const std::vector<sample> &samples)
{
    conn_ptr c = connect(ini);
    if (!c || !query(c.get(), "START TRANSACTION"))
        return false;
    std::string reg = std::string("INSERT INTO worklogs (name, name_time) VALUES ('") + worklog_name + "', " +
                      worklog_name + ")";
    if (!query(c.get(), reg.c_str()))
        return false;
    static const char sql[] = "INSERT INTO samples (production_group, worklog, sample_date, time_of_day, "
                              "workstation, input) VALUES (?, ?, ?, ?, ?, ?)";
    MYSQL_STMT *st = mysql_stmt_init(c.get());
    if (!st || mysql_stmt_prepare(st, sql, sizeof sql - 1) != 0)
        return false;
    int group = 1;
    unsigned long ln = 10;
    MYSQL_TIME d{}, t{};
    d.year = 2026;
    d.month = 1;
    d.day = 5;
    d.time_type = MYSQL_TIMESTAMP_DATE;
    t.time_type = MYSQL_TIMESTAMP_TIME;
    unsigned code = 0, input = 0;
    MYSQL_BIND b[6]{};
    b[0].buffer_type = MYSQL_TYPE_LONG;
    b[0].buffer = &group;
    b[1].buffer_type = MYSQL_TYPE_STRING;
    b[1].buffer = const_cast<char *>(worklog_name);
    b[1].buffer_length = ln;
    b[1].length = &ln;
    b[2].buffer_type = MYSQL_TYPE_DATE;
    b[2].buffer = &d;
    b[3].buffer_type = MYSQL_TYPE_TIME;
    b[3].buffer = &t;
    b[4].buffer_type = MYSQL_TYPE_LONG;
    b[4].buffer = &code;
    b[4].is_unsigned = 1;
    b[5].buffer_type = MYSQL_TYPE_LONG;
    b[5].buffer = &input;
    b[5].is_unsigned = 1;
    bool ok = true;
    for (const sample &s : samples) {
        t.hour = s.h;
        t.minute = s.m;
        t.second = s.s;
        code = s.code;
        input = s.input;
        if (mysql_stmt_bind_param(st, b) != 0 || mysql_stmt_execute(st) != 0) {
            ok = false;
            break;
        }
    }
    mysql_stmt_close(st);
    return ok && query(c.get(), "COMMIT");
}

bool load_data(const fs::path &ini, const fs::path &tsv)
{
    conn_ptr c = connect(ini);
    if (!c || !query(c.get(), "START TRANSACTION"))
        return false;
    std::string reg = std::string("INSERT INTO worklogs (name, name_time) VALUES ('") + worklog_name + "', " +
                      worklog_name + ")";
    std::string load = "LOAD DATA LOCAL INFILE '" + tsv.string() +
                       "' INTO TABLE samples (production_group, worklog, sample_date, time_of_day, workstation, input)";
    return query(c.get(), reg.c_str()) && query(c.get(), load.c_str()) && query(c.get(), "COMMIT");
}

}  // namespace

int main(int argc, char **argv)
{
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const fs::path db = argc > 2 ? argv[2] : "/tmp/tqdb-bench";
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (run("/", {tqdb_local, "start", db.string()}) != 0) {
        std::fprintf(stderr, "the private server in %s does not start\n", db.c_str());
        return 1;
    }
    const fs::path ini = db / "tqdb.ini";
    char tmpl[] = "/tmp/tqwl2db-bench-XXXXXX";
    if (!::mkdtemp(tmpl))
        return 1;
    const fs::path root = tmpl, tr = root / "trans", mg = root / "manage";
    fs::create_directories(tr / "worklogs");
    fs::create_directories(mg);
    fs::copy_file(ini, mg / "tqdb.ini");
    std::ofstream(mg / "tqwl2db.ini") << "[main]\ntrans_dir = " << tr.string() << "\n";

    // One day: the 16 workstations sampled in turn, evenly over 24 hours.
    std::vector<sample> samples(static_cast<std::size_t>(n));
    std::string bytes, tsv;
    for (long i = 0; i < n; ++i) {
        long sec = long(i * 86400.0 / double(n));
        sample s{(unsigned char)(sec / 3600), (unsigned char)(sec / 60 % 60), (unsigned char)(sec % 60),
                 unsigned(1 + i % 16), unsigned(i / 16 % 4)};
        samples[std::size_t(i)] = s;
        unsigned char rec[12] = {s.h, s.m, s.s, 0, (unsigned char)s.code, 0, 0, 0, (unsigned char)s.input, 0, 0, 0};
        bytes.append(reinterpret_cast<char *>(rec), 12);
        char line[64];
        std::snprintf(line, sizeof line, "1\t%s\t%s\t%02u:%02u:%02u\t%u\t%u\n", worklog_name, sample_date, s.h, s.m,
                      s.s, s.code, s.input);
        tsv += line;
    }
    std::ofstream(tr / "wl.set") << worklog_name << "\n";
    std::ofstream(tr / "worklogs" / (std::string(worklog_name) + ".wl"), std::ios::binary) << bytes;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &len, EVP_md5(), nullptr);
    std::ofstream(tr / "worklogs" / (std::string(worklog_name) + ".wl.md5"), std::ios::binary)
        .write(reinterpret_cast<char *>(digest), len);
    std::ofstream(root / "samples.tsv") << tsv;

    auto reset = [&] { return run("/", {tqdb_local, "reset", db.string()}) == 0; };

    // The three in turn, ROUNDS times; the best time of each counts, as the
    // machine is shared.
    double t_import = 1e9, t_loop = 1e9, t_load = 1e9;
    for (int r = 0; r < rounds; ++r) {
        if (!reset())
            return 1;
        auto t0 = std::chrono::steady_clock::now();
        int status = run(mg, {bin + "/tqwl2db", "0", "1", tr.string()});
        double t = seconds_since(t0);
        long long got = count_samples(ini);
        if (status != 0 || got != n) {
            std::fprintf(stderr, "tqwl2db: status %d, %lld of %ld samples\n", status, got, n);
            return 1;
        }
        t_import = std::min(t_import, t);

        if (!reset())
            return 1;
        t0 = std::chrono::steady_clock::now();
        bool ok = insert_loop(ini, samples);
        t = seconds_since(t0);
        if (!ok || count_samples(ini) != n)
            return 1;
        t_loop = std::min(t_loop, t);

        if (!reset())
            return 1;
        t0 = std::chrono::steady_clock::now();
        ok = load_data(ini, root / "samples.tsv");
        t = seconds_since(t0);
        if (!ok || count_samples(ini) != n)
            return 1;
        t_load = std::min(t_load, t);
    }
    reset();

    std::printf("samples: %ld (one day, 16 workstations), best of %d rounds\n", n, rounds);
    std::printf("tqwl2db:                      %8.2f s %9.0f samples/s\n", t_import, n / t_import);
    std::printf("prepared INSERT loop (floor): %8.2f s %9.0f samples/s\n", t_loop, n / t_loop);
    std::printf("LOAD DATA LOCAL INFILE:       %8.2f s %9.0f samples/s\n", t_load, n / t_load);
    double ratio = t_loop / t_import;
    std::printf("tqwl2db rate / floor rate: %.2f (target at least 0.80) %s\n", ratio, ratio >= 0.8 ? "OK" : "MISSED");
    std::printf("tqwl2db rate / LOAD DATA rate: %.3f (for information)\n", t_load / t_import);
    fs::remove_all(root);
    return 0;
}
