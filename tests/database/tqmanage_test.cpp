// libtqmanage against the private MariaDB server of tools/tqdb-local.
#include "database_lib.h"
#include "test_db.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using namespace tq;
using tqtest::admin_sql;

namespace {

using rows = std::vector<std::vector<std::string>>;

// Takes the result of the query that just succeeded, walks and releases it.
rows take_rows()
{
    MYSQL_RES *res = TQdb_store_result();
    rows out;
    if (res == nullptr) {
        ADD_FAILURE() << "TQdb_store_result gave null";
        return out;
    }
    unsigned n = mysql_num_fields(res);
    while (MYSQL_ROW row = mysql_fetch_row(res)) {
        std::vector<std::string> r;
        for (unsigned i = 0; i < n; ++i)
            r.push_back(row[i] != nullptr ? row[i] : "<NULL>");
        out.push_back(r);
    }
    mysql_free_result(res);
    return out;
}

// Worklog name of a local time.
std::string wl_name(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%010lld", static_cast<long long>(std::mktime(&tm)));
    return buf;
}

TQs_data sample(int h, int m, int s, unsigned code, unsigned input)
{
    TQs_data d{};
    d.time = tms{std::uint8_t(h), std::uint8_t(m), std::uint8_t(s)};
    d.code = code;
    d.input = input;
    return d;
}

class Db : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(tqtest::tqdb_local("reset").status, 0);
        cfg = make_TQdb_cfg(tqtest::ini_path().c_str());
        ASSERT_NE(cfg, nullptr);
        ASSERT_EQ(TQdb_init(cfg), 0);
    }
    void TearDown() override { TQdb_free(); }

    // Registers name and stores the samples, all for production group 7.
    void import(const std::string &name, const std::vector<TQs_data> &samples)
    {
        ASSERT_EQ(TQdb_insert_wl(name.c_str()), 0);
        for (const auto &s : samples)
            ASSERT_EQ(TQdb_insert_TQs_data(7, name.c_str(), &s), 0);
    }

    rows input(const char *date, const char *from, const char *to, int code)
    {
        EXPECT_EQ(TQdb_get_input(date, from, to, code), 0);
        return take_rows();
    }

    TQdb_cfg *cfg = nullptr;
};

TEST(DbConfig, HandleNeedsLoadableFileWithNameAndUser)
{
    char dir[] = "/tmp/tqmanage-cfgXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    struct {
        const char *text;
        bool usable;
    } cases[] = {
        {"[database]\nhost = localhost\nuser = tq\nname = tq\n", true},
        {"[database]\nuser = tq\n", false},
        {"[database]\nname = tq\n", false},
        {"[other]\nuser = tq\nname = tq\n", false},
        {"", false},
    };
    std::string path = std::string(dir) + "/tqdb.ini";
    for (const auto &c : cases) {
        FILE *f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(c.text, f);
        std::fclose(f);
        EXPECT_EQ(make_TQdb_cfg(path.c_str()) != nullptr, c.usable) << c.text;
    }
    unlink(path.c_str());
    EXPECT_EQ(make_TQdb_cfg(path.c_str()), nullptr);
    rmdir(dir);
}

TEST(DbConfig, FreeIsSafeInEveryStateAndInitFailsWithWrongPassword)
{
    EXPECT_EQ(TQdb_free(), 0);
    EXPECT_EQ(TQdb_free(), 0);
    EXPECT_NE(TQdb_init(nullptr), 0);
    EXPECT_NE(TQdb_get_workers(), 0);
    EXPECT_EQ(TQdb_free(), 0);

    char path[] = "/tmp/tqmanage-iniXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string text = tqtest::slurp(tqtest::ini_path());
    text.replace(text.find("password = "), 11, "password = wrong");
    ASSERT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
    close(fd);
    TQdb_cfg *bad = make_TQdb_cfg(path);
    unlink(path);
    ASSERT_NE(bad, nullptr);
    EXPECT_NE(TQdb_init(bad), 0);
    EXPECT_NE(TQdb_insert_worker("a", "b"), 0);
    EXPECT_EQ(TQdb_free(), 0);
    EXPECT_EQ(TQdb_free(), 0);
}

TEST_F(Db, WorkersInInsertionOrderOnceEachAndStoredLiterally)
{
    const char *names[][2] = {
        {"Łukasz", "Żółć"},
        {"Jan", "Kowalski"},
        {"x');", "DROP TABLE workers; --"},
        {"O'Brien\\", "\"quoted\" %s _"},
        {"abcdefghijklmnopqrstuvwxyzabcdefghijklm", "b"},  // 39 bytes
    };
    for (auto &n : names)
        ASSERT_EQ(TQdb_insert_worker(n[0], n[1]), 0) << n[0];
    EXPECT_NE(TQdb_insert_worker("Łukasz", "Żółć"), 0);
    EXPECT_EQ(TQdb_insert_worker("łukasz", "Żółć"), 0);  // names are case-sensitive

    EXPECT_NE(TQdb_insert_worker("abcdefghijklmnopqrstuvwxyzabcdefghijklmn", "b"), 0);  // 40 bytes
    EXPECT_NE(TQdb_insert_worker("", "b"), 0);
    // 20 two-byte letters: 40 bytes do not fit the 40-byte fields either.
    EXPECT_NE(TQdb_insert_worker("ŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁŁ", "b"), 0);

    ASSERT_EQ(TQdb_get_workers(), 0);
    rows r = take_rows();
    ASSERT_EQ(r.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(r[i][0], names[i][0]);
        EXPECT_EQ(r[i][1], names[i][1]);
    }
    EXPECT_EQ(r[5][0], "łukasz");

    EXPECT_EQ(TQdb_delete_worker("Jan", "Kowalski"), 0);
    EXPECT_NE(TQdb_delete_worker("Jan", "Kowalski"), 0);  // no longer there
    EXPECT_NE(TQdb_delete_worker("x' OR '1'='1", "x' OR '1'='1"), 0);
    ASSERT_EQ(TQdb_get_workers(), 0);
    EXPECT_EQ(take_rows().size(), 5u);
}

TEST_F(Db, ShiftPlansByDateInInsertionOrder)
{
    ASSERT_EQ(TQdb_insert_shift("2007-5-3", "Łukasz", "Żółć", 5, 1), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-05-03", "Anna", "Nowak", 2, 3), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-5-3", "Łukasz", "Żółć", 9, 2), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-5-17", "Anna", "Nowak", 1, 1), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-6-1", "Anna", "Nowak", 1, 1), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-4-30", "Anna", "Nowak", 1, 1), 0);
    EXPECT_NE(TQdb_insert_shift("2007-4-31", "Anna", "Nowak", 1, 1), 0);
    EXPECT_NE(TQdb_insert_shift("jutro", "Anna", "Nowak", 1, 1), 0);
    EXPECT_NE(TQdb_insert_shift("2007-5-3' OR '1'='1", "Anna", "Nowak", 1, 1), 0);
    EXPECT_NE(TQdb_insert_shift("2007-5-3", "Anna", "abcdefghijklmnopqrstuvwxyzabcdefghijklmn", 1, 1), 0);

    ASSERT_EQ(TQdb_get_shift("2007-05-03"), 0);
    EXPECT_EQ(take_rows(), (rows{{"Łukasz", "Żółć", "5", "1"}, {"Anna", "Nowak", "2", "3"},
                                 {"Łukasz", "Żółć", "9", "2"}}));

    ASSERT_EQ(TQdb_get_work("Łukasz", "Żółć", "2007-5-3"), 0);
    EXPECT_EQ(take_rows(), (rows{{"5", "1"}, {"9", "2"}}));
    ASSERT_EQ(TQdb_get_work("Łukasz", "Żółć", "2007-5-4"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_work("Łukasz", "Żółć' OR '1'='1", "2007-5-3"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_work("Anna", "Nowak", "2007-4-31"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_shift("2007-4-31"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_shift("2007-5-3' OR '1'='1"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_shift("20070503"), 0);
    EXPECT_EQ(take_rows().size(), 3u);

    ASSERT_EQ(TQdb_get_planed_shift(2007, 5), 0);
    EXPECT_EQ(take_rows(), (rows{{"2007-05-03"}, {"2007-05-17"}}));
    ASSERT_EQ(TQdb_get_planed_shift(0, 0), 0);
    EXPECT_TRUE(take_rows().empty());

    EXPECT_EQ(TQdb_delete_shift("2007-5-3"), 0);
    EXPECT_EQ(TQdb_delete_shift("2007-5-3"), 0);  // nothing left: still fine
    EXPECT_EQ(TQdb_delete_shift("2007-4-31"), 0);
    ASSERT_EQ(TQdb_get_shift("2007-5-3"), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_shift("2007-5-17"), 0);
    EXPECT_EQ(take_rows().size(), 1u);
}

TEST_F(Db, WorklogsRegisteredOnceListedByMonthAndRemovedWithTheirSamples)
{
    std::string may_first = wl_name(2007, 5, 1, 0, 0, 0);
    std::string may_last = wl_name(2007, 5, 31, 23, 59, 59);
    std::string april = wl_name(2007, 4, 30, 23, 59, 59);
    std::string june = wl_name(2007, 6, 1, 0, 0, 0);
    for (const auto &n : {may_last, june, may_first, april})
        import(n, {sample(8, 0, 0, 3, 1)});
    EXPECT_NE(TQdb_insert_wl(may_first.c_str()), 0);
    for (const char *bad : {"123456789", "12345678901", "12345abcde", "1' OR '1'='", ""})
        EXPECT_NE(TQdb_insert_wl(bad), 0) << bad;

    ASSERT_EQ(TQdb_get_wls(2007, 5), 0);
    EXPECT_EQ(take_rows(), (rows{{may_first}, {may_last}}));
    ASSERT_EQ(TQdb_get_wls(0, 0), 0);
    EXPECT_TRUE(take_rows().empty());
    ASSERT_EQ(TQdb_get_wls(2007, 13), 0);
    EXPECT_TRUE(take_rows().empty());

    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM samples"), "4\n");
    ASSERT_EQ(TQdb_delete_alldata(may_first.c_str()), 0);
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM samples WHERE worklog='" + may_first + "'"), "0\n");
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM samples"), "3\n");
    EXPECT_NE(TQdb_delete_alldata(may_first.c_str()), 0);
    EXPECT_NE(TQdb_delete_alldata("x' OR '1'='1"), 0);
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM worklogs"), "3\n");

    // Removed: it can be imported again.
    import(may_first, {sample(9, 0, 0, 3, 1), sample(9, 0, 1, 3, 3)});
    ASSERT_EQ(TQdb_reset_connection(cfg), 0);
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM samples WHERE worklog='" + may_first + "'"), "2\n");
}

TEST_F(Db, SampleDateFollowsTheNameAndAdvancesWhenTimeGoesBack)
{
    std::string wl = wl_name(2007, 5, 3, 21, 30, 0);
    import(wl, {sample(22, 0, 0, 4, 1), sample(23, 59, 59, 4, 3), sample(0, 0, 1, 4, 2),
                sample(6, 0, 0, 4, 1), sample(5, 0, 0, 4, 7), sample(5, 0, 0, 5, 1)});
    ASSERT_EQ(TQdb_reset_connection(cfg), 0);
    EXPECT_EQ(admin_sql("SELECT sample_date, time_of_day, workstation, input, production_group FROM samples"
                        " ORDER BY id"),
              "2007-05-03\t22:00:00\t4\t1\t7\n"
              "2007-05-03\t23:59:59\t4\t3\t7\n"
              "2007-05-04\t00:00:01\t4\t2\t7\n"
              "2007-05-04\t06:00:00\t4\t1\t7\n"
              "2007-05-05\t05:00:00\t4\t7\t7\n"
              "2007-05-05\t05:00:00\t5\t1\t7\n");

    // A second worklog starts again from its own name's date.
    std::string next = wl_name(2007, 5, 31, 23, 0, 0);
    import(next, {sample(23, 30, 0, 4, 1), sample(0, 30, 0, 4, 1)});
    TQdb_free();
    EXPECT_EQ(admin_sql("SELECT sample_date FROM samples WHERE worklog='" + next + "' ORDER BY id"),
              "2007-05-31\n2007-06-01\n");
}

TEST_F(Db, SampleInsertRejectsBadTimesAndUnregisteredNames)
{
    std::string wl = wl_name(2007, 5, 3, 8, 0, 0);
    ASSERT_EQ(TQdb_insert_wl(wl.c_str()), 0);
    for (TQs_data bad : {sample(24, 0, 0, 1, 1), sample(8, 60, 0, 1, 1), sample(8, 0, 60, 1, 1)})
        EXPECT_NE(TQdb_insert_TQs_data(1, wl.c_str(), &bad), 0);
    TQs_data good = sample(8, 0, 0, 1, 1);
    EXPECT_NE(TQdb_insert_TQs_data(1, "1178172000", &good), 0);
    EXPECT_NE(TQdb_insert_TQs_data(1, "abc", &good), 0);
    EXPECT_NE(TQdb_insert_TQs_data(1, wl.c_str(), nullptr), 0);
    EXPECT_EQ(TQdb_insert_TQs_data(1, wl.c_str(), &good), 0);
    TQdb_free();
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM samples"), "1\n");
}

TEST_F(Db, InputOfOneWorkstationWithinTimesDayAndNight)
{
    std::string wl = wl_name(2007, 5, 3, 5, 0, 0);
    import(wl, {sample(5, 59, 59, 2, 1), sample(6, 0, 0, 2, 2), sample(6, 0, 0, 2, 3), sample(6, 0, 0, 9, 99),
                sample(13, 59, 59, 2, 4), sample(14, 0, 0, 2, 5), sample(22, 0, 0, 2, 6), sample(23, 0, 0, 2, 7),
                sample(1, 0, 0, 2, 8), sample(5, 59, 59, 2, 9), sample(6, 0, 0, 2, 10)});

    // Ties keep the import order.
    EXPECT_EQ(input("2007-5-3", "6:00:00", "14:00:00", 2),
              (rows{{"2", "06:00:00"}, {"3", "06:00:00"}, {"4", "13:59:59"}}));
    EXPECT_EQ(input("2007-05-03", "22:00:00", "6:00:00", 2),
              (rows{{"6", "22:00:00"}, {"7", "23:00:00"}, {"8", "01:00:00"}, {"9", "05:59:59"}}));
    EXPECT_EQ(input("2007-5-4", "0:00:00", "23:59:59", 2),
              (rows{{"8", "01:00:00"}, {"9", "05:59:59"}, {"10", "06:00:00"}}));
    EXPECT_EQ(input("2007-5-3", "6:00:00", "14:00:00", 9), (rows{{"99", "06:00:00"}}));
    EXPECT_TRUE(input("2007-5-3", "6:00:00", "6:00:00", 2).empty());
    EXPECT_TRUE(input("2007-4-31", "0:00:00", "23:59:59", 2).empty());
    EXPECT_TRUE(input("2007-4-31", "22:00:00", "6:00:00", 2).empty());
    EXPECT_TRUE(input("2007-5-3' OR '1'='1", "0:00:00", "23:59:59", 2).empty());
    EXPECT_NE(TQdb_get_input("2007-5-3", "6:00", "14:00:00", 2), 0);
    EXPECT_NE(TQdb_get_input("2007-5-3", "6:00:00", "x", 2), 0);
}

TEST_F(Db, ResultSetsStayReadableAcrossLaterQueriesAndResets)
{
    ASSERT_EQ(TQdb_insert_worker("Anna", "Nowak"), 0);
    ASSERT_EQ(TQdb_insert_worker("Jan", "Kowalski"), 0);
    ASSERT_EQ(TQdb_insert_shift("2007-5-3", "Anna", "Nowak", 2, 1), 0);
    ASSERT_EQ(TQdb_get_workers(), 0);
    MYSQL_RES *workers = TQdb_store_result();
    ASSERT_NE(workers, nullptr);
    MYSQL_ROW row = mysql_fetch_row(workers);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row[0], "Anna");
    TQdb_reset_connection(cfg);
    ASSERT_EQ(TQdb_get_work(row[0], row[1], "2007-5-3"), 0);
    EXPECT_EQ(take_rows(), (rows{{"2", "1"}}));
    TQdb_reset_connection(cfg);
    row = mysql_fetch_row(workers);
    ASSERT_NE(row, nullptr);
    EXPECT_STREQ(row[1], "Kowalski");
    EXPECT_EQ(mysql_fetch_row(workers), nullptr);
    mysql_free_result(workers);

    // A result never taken is dropped by the next query.
    ASSERT_EQ(TQdb_get_workers(), 0);
    ASSERT_EQ(TQdb_get_shift("2007-5-3"), 0);
    EXPECT_EQ(take_rows().size(), 1u);
}

TEST_F(Db, EachSampleIsReportedAtItsOwnCallAndTheWorklogCommitsAsAWhole)
{
    // NULL in a NOT NULL column: the server refuses that one row.
    ASSERT_EQ(admin_sql("CREATE TRIGGER reject_999 BEFORE INSERT ON samples FOR EACH ROW "
                        "SET NEW.input = IF(NEW.input = 999, NULL, NEW.input)"),
              "");
    std::string a = wl_name(2007, 5, 3, 6, 0, 0), b = wl_name(2007, 5, 3, 14, 0, 0);
    ASSERT_EQ(TQdb_insert_wl(a.c_str()), 0);
    TQs_data s1 = sample(6, 0, 0, 1, 1), bad = sample(6, 0, 1, 1, 999), s2 = sample(6, 0, 2, 1, 3);
    EXPECT_EQ(TQdb_insert_TQs_data(1, a.c_str(), &s1), 0);
    EXPECT_NE(TQdb_insert_TQs_data(1, a.c_str(), &bad), 0);
    EXPECT_EQ(TQdb_insert_TQs_data(1, a.c_str(), &s2), 0);
    // Not yet visible to anyone else: the worklog's transaction is open.
    EXPECT_EQ(admin_sql("SELECT COUNT(*) FROM worklogs"), "0\n");
    ASSERT_EQ(TQdb_insert_wl(b.c_str()), 0);
    EXPECT_EQ(admin_sql("SELECT name FROM worklogs"), a + "\n");
    EXPECT_EQ(admin_sql("SELECT input FROM samples ORDER BY id"), "1\n3\n");
    TQdb_free();  // the trigger goes with the next reset
}

TEST_F(Db, KilledImportLeavesNoHalfImportedWorklog)
{
    TQdb_free();
    std::string done = wl_name(2007, 5, 3, 6, 0, 0), half = wl_name(2007, 5, 3, 14, 0, 0);
    pid_t pid = fork();
    if (pid == 0) {
        TQdb_cfg *c = make_TQdb_cfg(tqtest::ini_path().c_str());
        if (c == nullptr || TQdb_init(c) != 0)
            _exit(1);
        TQs_data s = sample(6, 0, 0, 1, 1);
        if (TQdb_insert_wl(done.c_str()) != 0 || TQdb_insert_TQs_data(1, done.c_str(), &s) != 0)
            _exit(1);
        if (TQdb_insert_wl(half.c_str()) != 0)
            _exit(1);
        for (int i = 0; i < 100; ++i)
            if (TQdb_insert_TQs_data(1, half.c_str(), &s) != 0)
                _exit(1);
        _exit(0);  // killed: no clean-up runs
    }
    int st = 0;
    ASSERT_EQ(waitpid(pid, &st, 0), pid);
    ASSERT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    // The server notices the dropped connection and rolls back; wait for it.
    std::string left;
    for (int i = 0; i < 100; ++i) {
        left = admin_sql("SELECT name FROM worklogs; SELECT COUNT(*) FROM samples");
        if (left == done + "\n1\n")
            break;
        usleep(20000);
    }
    EXPECT_EQ(left, done + "\n1\n");
}

TEST(DbServer, StoppedServerGivesFailuresNotCrashes)
{
    char dir[] = "/tmp/tqmanage-stopXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    ASSERT_EQ(tqtest::tqdb_local("start", dir).status, 0);
    TQdb_cfg *c = make_TQdb_cfg(tqtest::ini_path(dir).c_str());
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(TQdb_init(c), 0);
    std::string wl = wl_name(2007, 5, 3, 6, 0, 0);
    ASSERT_EQ(TQdb_insert_wl(wl.c_str()), 0);
    TQs_data s = sample(6, 0, 0, 1, 1);
    ASSERT_EQ(TQdb_insert_TQs_data(1, wl.c_str(), &s), 0);

    ASSERT_EQ(tqtest::tqdb_local("stop", dir).status, 0);
    EXPECT_NE(TQdb_insert_TQs_data(1, wl.c_str(), &s), 0);
    EXPECT_NE(TQdb_get_workers(), 0);
    EXPECT_NE(TQdb_insert_worker("Anna", "Nowak"), 0);
    EXPECT_NE(TQdb_reset_connection(c), 0);
    EXPECT_EQ(TQdb_free(), 0);
    EXPECT_NE(TQdb_init(c), 0);
    EXPECT_EQ(TQdb_free(), 0);
    tqtest::run({"/bin/rm", "-rf", dir});
}

// ---- file readers -------------------------------------------------------------

std::FILE *file_of(const std::vector<unsigned char> &bytes)
{
    std::FILE *f = std::tmpfile();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    return f;
}

TEST(DbReaders, WorklogRecordsThenEndOfFileAndNoRecordFromAFragment)
{
    std::FILE *f = file_of({8, 5, 3, 0, 16, 0, 0, 0, 0x03, 0x01, 0, 0x80,  //
                            23, 59, 59, 0, 1, 0, 0, 0, 0, 0, 0, 0,  //
                            1, 2, 3, 4, 5});
    TQs_data d{};
    ASSERT_EQ(TQs_data_fread(f, &d), 0);
    EXPECT_EQ(d.time.hour, 8);
    EXPECT_EQ(d.time.minute, 5);
    EXPECT_EQ(d.time.second, 3);
    EXPECT_EQ(d.code, 16u);
    EXPECT_EQ(d.input, 0x80000103u);
    ASSERT_EQ(TQs_data_fread(f, &d), 0);
    EXPECT_EQ(d.time.hour, 23);
    EXPECT_EQ(d.code, 1u);
    EXPECT_FALSE(std::feof(f));
    EXPECT_NE(TQs_data_fread(f, &d), 0);
    EXPECT_TRUE(std::feof(f));
    EXPECT_EQ(d.time.hour, 23);
    std::fclose(f);

    f = file_of({});
    EXPECT_NE(TQs_data_fread(f, &d), 0);
    EXPECT_TRUE(std::feof(f));
    std::fclose(f);
}

TEST(DbReaders, ErrorLogRecordsAndTheirTexts)
{
    std::FILE *f = file_of({0x00, 0x2f, 0x39, 0x46, 2, 0, 0, 0, 7, 0, 0, 0,  //
                            1, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,  //
                            9});
    TQr_err e{};
    ASSERT_EQ(TQr_err_fread(f, &e), 0);
    EXPECT_EQ(e.time, std::time_t(0x46392f00));
    EXPECT_EQ(e.code, 2);
    EXPECT_EQ(e.value, 7u);
    ASSERT_EQ(TQr_err_fread(f, &e), 0);
    EXPECT_EQ(e.time, std::time_t(1));
    EXPECT_EQ(e.code, -1);
    EXPECT_EQ(e.value, 0xffffffffu);
    EXPECT_FALSE(std::feof(f));
    TQr_err_fread(f, &e);
    EXPECT_TRUE(std::feof(f));
    std::fclose(f);

    EXPECT_STREQ(TQr_err_to_str(1), "Przekroczony czas odpowiedzi modułu wejść");
    EXPECT_STREQ(TQr_err_to_str(2), "Błąd sumy kontrolnej CRC");
    EXPECT_STREQ(TQr_err_to_str(3), "Przepełnienie bufora wejść stanowiska");
    EXPECT_STREQ(TQr_err_to_str(0), "Nieznany błąd");
    EXPECT_STREQ(TQr_err_to_str(-1), "Nieznany błąd");
}

}  // namespace
