// Benchmark of tqraport's month report: 48 workers (16 workstations x 3
// shifts, every day of March 2026) over a month of one station's samples,
// against the mariadb client fetching the rows of the same input queries.
//
//   tqraport_bench [DBDIR [PERIOD]]
//
// DBDIR (default /tmp/tqdb-bench-report) gets its own private server, started
// and stopped here; PERIOD (default 4) is the seconds between two samples of
// one workstation, as the runner stand-in samples with --fast --period: 16
// workstations over 31 days at 4 s give 10.7 million samples. The samples are
// made with the stand-in's machine model (off 60-1800 s, idle 20-300 s, work
// 60-1800 s) and loaded with LOAD DATA. Figures: load time, report wall time
// and peak memory, client time, their ratio; for the schema's covering index
// and, for comparison, an index without input.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const std::string tools = std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local";
constexpr int workstations = 16;
constexpr int month_days = 31;

struct timed {
    int status = -1;
    double seconds = 0;
    long peak_kib = 0;
};

// Runs argv in cwd with stdin from in_path and stdout to out_path.
timed run(const std::vector<std::string> &argv, const std::string &cwd = ".",
          const std::string &in_path = "/dev/null", const std::string &out_path = "/dev/null")
{
    std::vector<char *> args;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int in = open(in_path.c_str(), O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || chdir(cwd.c_str()) != 0)
            _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        execv(args[0], args.data());
        _exit(127);
    }
    timed t;
    int wstatus = 0;
    struct rusage ru {};
    if (pid > 0 && wait4(pid, &wstatus, 0, &ru) == pid) {
        t.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        t.peak_kib = ru.ru_maxrss;
    }
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return t;
}

timed sql(const std::string &db_dir, const std::string &text)
{
    return run({tools, "client", db_dir, "--local-infile=1", "--batch", "-e", text});
}

void check(const timed &t, const char *what)
{
    if (t.status != 0) {
        std::fprintf(stderr, "tqraport_bench: %s failed (status %d)\n", what, t.status);
        std::exit(1);
    }
}

// The runner stand-in's machine: off (0), on and idle (1), working (3).
struct machine {
    std::mt19937 rng;
    unsigned input = 0;
    int left = 0;
    explicit machine(unsigned seed) : rng(seed) { enter(rng() % 10 < 2 ? 0 : rng() % 10 < 4 ? 1 : 3); }
    int between(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    void enter(unsigned in)
    {
        input = in;
        left = in == 0 ? between(60, 1800) : in == 1 ? between(20, 300) : between(60, 1800);
    }
    void step(int dt)
    {
        left -= dt;
        while (left <= 0) {
            int carry = left;
            enter(input == 0 ? 1 : input == 1 ? (between(0, 3) ? 3 : 0) : 1);
            left += carry;
        }
    }
};

long write_samples(const std::string &path, int period)
{
    std::ofstream out(path);
    std::vector<machine> m;
    for (int w = 0; w < workstations; ++w)
        m.emplace_back(1000 + w);
    long n = 0;
    char line[96];
    for (int d = 1; d <= month_days; ++d) {
        for (int t = 0; t < 86400; t += period) {
            for (int w = 0; w < workstations; ++w) {
                int len = std::snprintf(line, sizeof line, "1\t1772323200\t2026-03-%02d\t%02d:%02d:%02d\t%d\t%u\n", d,
                                        t / 3600, t / 60 % 60, t % 60, w + 1, m[w].input);
                out.write(line, len);
                m[w].step(period);
                ++n;
            }
        }
    }
    return n;
}

struct shift {
    const char *from, *to;
};
const shift shifts[3] = {{"06:00:00", "14:00:00"}, {"14:00:00", "22:00:00"}, {"22:00:00", "06:00:00"}};

// The input queries of the month report, as the database library words them.
void write_queries(const std::string &path)
{
    std::ofstream out(path);
    for (int w = 1; w <= workstations; ++w)
        for (int s = 0; s < 3; ++s)
            for (int d = 1; d <= month_days; ++d) {
                char day[16], next[48];
                std::snprintf(day, sizeof day, "2026-03-%02d", d);
                std::snprintf(next, sizeof next, "'%s' + INTERVAL 1 DAY", day);
                out << "SELECT input, time_of_day FROM samples WHERE workstation = " << w;
                if (s == 2)
                    out << " AND ((sample_date = '" << day << "' AND time_of_day >= '" << shifts[s].from
                        << "') OR (sample_date = " << next << " AND time_of_day < '" << shifts[s].to
                        << "')) ORDER BY sample_date, time_of_day, id;\n";
                else
                    out << " AND sample_date = '" << day << "' AND time_of_day >= '" << shifts[s].from
                        << "' AND time_of_day < '" << shifts[s].to << "' ORDER BY time_of_day, id;\n";
            }
}

struct measured {
    timed report, client;
};

// Best of three alternating runs, after one warm-up of each.
measured measure(const std::string &db_dir, const std::string &work, const std::string &queries)
{
    std::vector<std::string> report{std::string(TQ_BIN_DIR) + "/tqraport", "gen_month_raport", "2026", "3",
                                    "txt"};
    std::vector<std::string> client{tools, "client", db_dir, "--batch", "--skip-column-names"};
    check(run(report, work, "/dev/null", work + "/report.txt"), "tqraport");
    check(run(client, ".", queries, work + "/client.txt"), "mariadb");
    // Both must see the same rows: the report's counts add up to the client's lines.
    long counted = 0, lines = 0;
    std::ifstream report_text(work + "/report.txt"), client_text(work + "/client.txt");
    for (std::string line; std::getline(report_text, line);) {
        if (line.rfind("Stanowisko", 0) != 0)
            continue;
        std::istringstream cells(line.substr(line.find('\t')));
        for (long v; cells >> v;)
            counted += v;
    }
    for (std::string line; std::getline(client_text, line);)
        ++lines;
    std::printf("rows: report %ld, client %ld\n", counted, lines);
    if (counted != lines)
        std::exit(1);
    measured best;
    best.report.seconds = best.client.seconds = 1e30;
    for (int i = 0; i < 3; ++i) {
        timed r = run(report, work);
        check(r, "tqraport");
        timed c = run(client, ".", queries);
        check(c, "mariadb");
        if (r.seconds < best.report.seconds)
            best.report = r;
        if (c.seconds < best.client.seconds)
            best.client = c;
        best.report.peak_kib = std::max(best.report.peak_kib, r.peak_kib);
    }
    return best;
}

void print(const char *index, const measured &m)
{
    std::printf("%-44s report %7.2f s  client %7.2f s  ratio %.2f  report peak %ld KiB\n", index,
                m.report.seconds, m.client.seconds, m.report.seconds / m.client.seconds, m.report.peak_kib);
}

}  // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string db_dir = argc > 1 ? argv[1] : "/tmp/tqdb-bench-report";
    int period = argc > 2 ? std::atoi(argv[2]) : 4;
    if (period < 1)
        period = 1;
    std::string work = db_dir + "/work";

    check(run({tools, "start", db_dir}), "tqdb-local start");
    check(run({tools, "reset", db_dir}), "tqdb-local reset");
    check(run({"/bin/mkdir", "-p", work}), "mkdir");
    check(run({"/bin/cp", std::string(TQ_SOURCE_DIR) + "/report/tqraport.ini", db_dir + "/tqdb.ini", work}), "cp");

    std::string data = db_dir + "/samples.tsv";
    long n = write_samples(data, period);
    std::string setup = "INSERT INTO worklogs (name, name_time) VALUES ('1772323200', 1772323200);";
    std::string plan = "INSERT INTO shift_lines (plan_date, first_name, second_name, workstation, shift) VALUES ";
    for (int d = 1; d <= month_days; ++d)
        for (int w = 1; w <= workstations; ++w)
            for (int s = 1; s <= 3; ++s) {
                std::ostringstream line;
                line << (d == 1 && w == 1 && s == 1 ? "" : ",") << "('2026-03-" << d << "','Stanowisko" << w
                     << "','Zmiana" << s << "'," << w << "," << s << ")";
                plan += line.str();
            }
    for (int w = 1; w <= workstations; ++w)
        for (int s = 1; s <= 3; ++s)
            setup += "INSERT INTO workers (first_name, second_name) VALUES ('Stanowisko" + std::to_string(w) +
                     "','Zmiana" + std::to_string(s) + "');";
    check(sql(db_dir, setup + plan + ";"), "workers and plans");
    timed load = sql(db_dir, "SET unique_checks=0, foreign_key_checks=0; LOAD DATA LOCAL INFILE '" + data +
                                 "' INTO TABLE samples (production_group, worklog, sample_date, time_of_day, "
                                 "workstation, input);");
    check(load, "LOAD DATA");
    std::remove(data.c_str());
    std::printf("samples %ld (period %d s), LOAD DATA %.1f s\n", n, period, load.seconds);

    std::string queries = db_dir + "/queries.sql";
    write_queries(queries);
    measured cover = measure(db_dir, work, queries);
    print("covering (..., time_of_day, id, input)", cover);

    // For comparison: the same query served by an index without input, each
    // row then looked up in the clustered index.
    timed alter = sql(db_dir, "ALTER TABLE samples DROP INDEX input_query, ADD INDEX input_query "
                              "(workstation, sample_date, time_of_day)");
    check(alter, "ALTER TABLE");
    std::printf("narrow index made in %.1f s\n", alter.seconds);
    measured narrow = measure(db_dir, work, queries);
    print("index (workstation, sample_date, time_of_day)", narrow);

    sql(db_dir, "ALTER TABLE samples DROP INDEX input_query, ADD INDEX input_query "
                "(workstation, sample_date, time_of_day, id, input)");
    run({tools, "reset", db_dir});
    run({tools, "stop", db_dir});
    return 0;
}
