// tqmanager: commands, messages and statuses byte for byte, on the private
// MariaDB server of tools/tqdb-local.
#include "tqmanager.h"

#include "../database/test_db.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

using tqtest::admin_sql;
using tqtest::run_result;

namespace {

const std::string no_args = "Za mała liczba argumentów\n";
const std::string bad_count = "Zla ilosc argumentow\n";
const std::string bad_option = "Zly opcja\n";
const std::string bad_cfg = "Plik konfiguracyjny nie zawiera niezbędnych danych\n";
const std::string bad_init = "Błąd przy inicjalizacji dazy danych";
const std::string long_word = "Za długie słowo (najwyżej 39 znaków)\n";

std::string wl_name(int y, int mo, int d, int h)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_isdst = -1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%010lld", static_cast<long long>(std::mktime(&tm)));
    return buf;
}

void write_file(const std::string &path, const std::string &text)
{
    FILE *f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
}

class Manager : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(tqtest::tqdb_local("reset").status, 0);
        char tmpl[] = "/tmp/tqmanager-testXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        write_file(dir + "/tqdb.ini", tqtest::slurp(tqtest::ini_path()));
    }
    void TearDown() override { tqtest::run({"/bin/rm", "-rf", dir}); }

    run_result tqm(std::vector<std::string> args, const std::string &input = "")
    {
        args.insert(args.begin(), std::string(TQ_BIN_DIR) + "/tqmanager");
        return tqtest::run(args, input, dir);
    }

    // Status, standard output and standard error of one run.
    void expect_run(const std::vector<std::string> &args, const std::string &input, int status,
                    const std::string &out, const std::string &err)
    {
        run_result r = tqm(args, input);
        std::string what = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(r.status, status) << what;
        EXPECT_EQ(r.out, out) << what;
        EXPECT_EQ(r.err, err) << what;
    }

    std::string dir;
};

TEST_F(Manager, StartUpOrderAndArgumentChecks)
{
    struct {
        std::vector<std::string> args;
        int status;
        std::string err;
    } cases[] = {
        {{}, 3, no_args},
        {{"foo"}, 4, bad_option},
        {{"Get_workers"}, 4, bad_option},
        {{"get_workers", "x"}, 3, bad_count},
        {{"get_wls", "2007"}, 3, bad_count},
        {{"insert_worker", "Jan"}, 3, bad_count},
        {{"delete_worker", "Jan"}, 3, bad_count},
        {{"insert_shift"}, 3, bad_count},
        {{"get_shift", "2007-5-3", "x"}, 3, bad_count},
        {{"delete_alldata"}, 3, bad_count},
    };
    for (const auto &c : cases)
        expect_run(c.args, "Jan Kowalski\n", c.status, "", c.err);
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM workers"), "0\n");

    // Without a usable configuration: status 1 even for an unknown option,
    // and no arguments still give 3 without reading it (a FIFO would block).
    unlink((dir + "/tqdb.ini").c_str());
    expect_run({"foo"}, "", 1, "", bad_cfg);
    write_file(dir + "/tqdb.ini", "[database]\nname = tq\n");
    expect_run({"get_workers"}, "", 1, "", bad_cfg);
    unlink((dir + "/tqdb.ini").c_str());
    ASSERT_EQ(mkfifo((dir + "/tqdb.ini").c_str(), 0600), 0);
    expect_run({}, "", 3, "", no_args);

    // A configuration the server refuses: status 2, no line end.
    unlink((dir + "/tqdb.ini").c_str());
    std::string ini = tqtest::slurp(tqtest::ini_path());
    ini.replace(ini.find("password = "), 11, "password = wrong");
    write_file(dir + "/tqdb.ini", ini);
    expect_run({"foo"}, "", 2, "", bad_init);
}

TEST_F(Manager, ExitHandlerRunsWithoutArguments)
{
    // The exit handler's TQdb_free commits a worklog's open transaction, so
    // the registration shows whether it ran.
    std::string name = wl_name(2007, 5, 3, 6);
    pid_t pid = fork();
    if (pid == 0) {
        tq::TQdb_cfg *c = tq::make_TQdb_cfg(tqtest::ini_path().c_str());
        if (c == nullptr || tq::TQdb_init(c) != 0 || tq::TQdb_insert_wl(name.c_str()) != 0)
            _exit(100);
        char prog[] = "tqmanager";
        char *argv[] = {prog, nullptr};
        std::exit(tqmanager_main(1, argv));
    }
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 3);
    EXPECT_EQ(admin_sql("SELECT name FROM worklogs"), name + "\n");
}

TEST_F(Manager, WorkersAddedListedAndRemoved)
{
    expect_run({"insert_worker"}, "Łukasz Żółć\n", 0, "", "");
    expect_run({"insert_worker"}, "  Anna\n\n Nowak", 0, "", "");
    expect_run({"insert_worker"}, "x');DROP\tTABLE workers;--\n", 0, "", "");
    expect_run({"insert_worker"}, "Łukasz Żółć\n", 2, "", "");
    expect_run({"insert_worker"}, "", 3, "", "Brak imienia lub nazwiska na wejściu\n");
    expect_run({"insert_worker"}, "Jan\n", 3, "", "Brak imienia lub nazwiska na wejściu\n");
    expect_run({"insert_worker"}, "Jan abcdefghijklmnopqrstuvwxyzabcdefghijklmn\n", 3, "", long_word);
    expect_run({"get_workers"}, "", 0, "Łukasz Żółć\nAnna Nowak\nx');DROP TABLE\n", "");

    expect_run({"delete_worker", "Anna", "Nowak"}, "", 0, "", "");
    expect_run({"delete_worker", "Anna", "Nowak"}, "", 2, "", "");
    expect_run({"delete_worker", "Anna", "abcdefghijklmnopqrstuvwxyzabcdefghijklmn"}, "", 3, "", long_word);
    expect_run({"get_workers"}, "", 0, "Łukasz Żółć\nx');DROP TABLE\n", "");
}

TEST_F(Manager, InsertShiftReplacesThePlanWhole)
{
    const std::string plan = "Łukasz Żółć 5 1\nAnna Nowak 2 3\n";
    expect_run({"insert_shift", "2007-5-3"}, "Stary Plan 1 1\n", 0, "", "");
    // The last line has no line end and is stored; blank lines are skipped.
    expect_run({"insert_shift", "2007-5-3"}, "Łukasz Żółć 5 1\n\n  \nAnna\tNowak 2 3", 0, "", "");
    expect_run({"get_shift", "2007-05-03"}, "", 0, plan, "");

    struct {
        std::string input;
        std::string err;
    } bad[] = {
        {"Jan Kowalski 3\n", "Błędny wiersz planu zmian: Jan Kowalski 3\n"},
        {"Jan Kowalski x 1\n", "Błędny wiersz planu zmian: Jan Kowalski x 1\n"},
        {"Jan Kowalski -1 1\n", "Błędny wiersz planu zmian: Jan Kowalski -1 1\n"},
        {"Jan Kowalski 1 2 3\n", "Błędny wiersz planu zmian: Jan Kowalski 1 2 3\n"},
        {"Jan Kowalski 1 4294967296\n", "Błędny wiersz planu zmian: Jan Kowalski 1 4294967296\n"},
        {"Jan Kowalski 1 1\nJan abcdefghijklmnopqrstuvwxyzabcdefghijklmn 1 1\n", long_word},
        {"Jan Kowalski 1 1\nJan Kowalskiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii 100 1\n",
         "Za długi wiersz planu zmian (najwyżej 48 znaków)\n"},
    };
    for (const auto &b : bad) {
        expect_run({"insert_shift", "2007-5-3"}, b.input, 3, "", b.err);
        expect_run({"get_shift", "2007-5-3"}, "", 0, plan, "");
    }
    // 48 characters are a whole line.
    std::string full = "Jan Kowalskiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii 10 1\n";
    ASSERT_EQ(full.size(), 49u);
    expect_run({"insert_shift", "2007-5-4"}, full, 0, "", "");
    expect_run({"get_shift", "2007-5-4"}, "", 0, "Jan Kowalskiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii 10 1\n", "");

    // A failure of the server half-way keeps the old plan.
    ASSERT_EQ(admin_sql("CREATE TRIGGER reject_99 BEFORE INSERT ON shift_lines FOR EACH ROW "
                        "SET NEW.shift = IF(NEW.workstation = 99, NULL, NEW.shift)"),
              "");
    expect_run({"insert_shift", "2007-5-3"}, "Jan Kowalski 1 1\nJan Kowalski 99 1\nAnna Nowak 1 1\n", 2, "", "");
    expect_run({"get_shift", "2007-5-3"}, "", 0, plan, "");

    // A date that does not exist stores nothing.
    expect_run({"insert_shift", "2007-4-31"}, "Jan Kowalski 1 1\n", 2, "", "");
    expect_run({"get_shift", "2007-4-31"}, "", 0, "", "");

    // Empty input empties the plan.
    expect_run({"insert_shift", "2007-5-3"}, "", 0, "", "");
    expect_run({"get_shift", "2007-5-3"}, "", 0, "", "");
    expect_run({"get_shift", "2007-5-4"}, "", 0, "Jan Kowalskiiiiiiiiiiiiiiiiiiiiiiiiiiiiiiii 10 1\n", "");
}

TEST_F(Manager, WorklogsAndPlannedShiftsOfAMonth)
{
    std::string a = wl_name(2007, 5, 1, 0), b = wl_name(2007, 5, 31, 23), c = wl_name(2007, 6, 1, 0);
    for (const auto &n : {b, c, a})
        ASSERT_EQ(admin_sql("INSERT INTO worklogs VALUES ('" + n + "', " + std::to_string(std::stoll(n)) + ")"), "");
    for (const char *key : {"2007-5-17", "2007-6-1", "2007-5-3"})
        expect_run({"insert_shift", key}, "Anna Nowak 1 1\nJan Kowalski 2 1\n", 0, "", "");

    expect_run({"get_wls", "2007", "5"}, "", 0, a + "\n" + b + "\n---\n2007-05-03\n2007-05-17\n", "");
    expect_run({"get_wls", "2007x", "05"}, "", 0, a + "\n" + b + "\n---\n2007-05-03\n2007-05-17\n", "");
    expect_run({"get_wls", "abc", "def"}, "", 0, "---\n", "");

    // The second query's failure comes after the first list and "---".
    ASSERT_EQ(admin_sql("RENAME TABLE shift_lines TO shift_lines_away"), "");
    run_result r = tqm({"get_wls", "2007", "6"});
    ASSERT_EQ(admin_sql("RENAME TABLE shift_lines_away TO shift_lines"), "");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, c + "\n---\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(Manager, DeleteAlldataRemovesAWorklogForReimport)
{
    std::string a = wl_name(2007, 5, 3, 6), b = wl_name(2007, 5, 3, 14);
    for (const auto &n : {a, b})
        ASSERT_EQ(admin_sql("INSERT INTO worklogs VALUES ('" + n + "', " + n +
                            "); INSERT INTO samples (production_group, worklog, sample_date, time_of_day,"
                            " workstation, input) VALUES (1, '" + n + "', '2007-05-03', '08:00:00', 1, 3)"),
                  "");
    expect_run({"delete_alldata", a}, "", 0, "", "");
    expect_run({"delete_alldata", a}, "", 2, "", "");
    EXPECT_EQ(admin_sql("SELECT name FROM worklogs; SELECT worklog FROM samples"), b + "\n" + b + "\n");
}

TEST(ManagerServer, StoppedServerGivesStatus2)
{
    char dir[] = "/tmp/tqmanager-stopXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string server = std::string(dir) + "/db";
    ASSERT_EQ(tqtest::tqdb_local("start", server).status, 0);
    write_file(std::string(dir) + "/tqdb.ini", tqtest::slurp(tqtest::ini_path(server)));
    std::string prog = std::string(TQ_BIN_DIR) + "/tqmanager";
    EXPECT_EQ(tqtest::run({prog, "insert_worker"}, "Anna Nowak\n", dir).status, 0);

    // Mid-run: insert_shift has begun its plan and waits for more lines
    // when the server goes away.
    int in[2];
    ASSERT_EQ(pipe(in), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        close(in[1]);
        if (chdir(dir) != 0)
            _exit(126);
        alarm(30);
        execl(prog.c_str(), prog.c_str(), "insert_shift", "2007-5-3", static_cast<char *>(nullptr));
        _exit(127);
    }
    close(in[0]);
    const char first[] = "Anna Nowak 1 1\n";
    ASSERT_EQ(write(in[1], first, sizeof first - 1), ssize_t(sizeof first - 1));
    // The first line is in once the plan's lines are locked by the program.
    for (int i = 0; i < 100 && admin_sql("SELECT COUNT(*) FROM information_schema.innodb_trx", server) != "1\n";
         ++i)
        usleep(20000);
    ASSERT_EQ(tqtest::tqdb_local("stop", server).status, 0);
    const char second[] = "Jan Kowalski 2 1\n";
    ASSERT_EQ(write(in[1], second, sizeof second - 1), ssize_t(sizeof second - 1));
    close(in[1]);
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 2);

    run_result r = tqtest::run({prog, "get_workers"}, "", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, bad_init);
    tqtest::run({"/bin/rm", "-rf", dir});
}

}  // namespace
