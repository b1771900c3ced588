// tqwl2db end to end against the private MariaDB server: every message byte
// for byte, the state of the database after each import, the frame's
// configuration and argument rules, and the whole road from the runner's
// worklogs through tqwl2dir into the database.
#include "../shipping/fs_helpers.h"

#include "tqwl2db.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdint>
#include <cstring>
#include <functional>

using namespace tqtest;

namespace {

const std::string program = std::string(TQ_BIN_DIR) + "/tqwl2db";
const std::string db_dir = TQ_TEST_DB_DIR;
const std::string tqdb_local = std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local";

// A fixed zone without tzdata: local time is UTC+1.
const std::pair<std::string, std::string> zone{"TZ", "CET-1"};

const std::string N1 = "1700000001", N2 = "1700000002", N3 = "1700000003";

struct rec {
    int h, m, s;
    std::uint32_t code, input;
};

std::string le32(std::uint32_t v)
{
    return {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
}

std::string worklog(const std::vector<rec> &recs)
{
    std::string out;
    for (const rec &r : recs)
        out += std::string{char(r.h), char(r.m), char(r.s), '\0'} + le32(r.code) + le32(r.input);
    return out;
}

std::string err_record(std::uint32_t t, std::int32_t code, std::uint32_t value)
{
    return le32(t) + le32(std::uint32_t(code)) + le32(value);
}

std::string md5(const std::string &data)
{
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EVP_Digest(data.data(), data.size(), d, &len, EVP_md5(), nullptr);
    return std::string(reinterpret_cast<char *>(d), len);
}

// The administrator's client on the test database; the rows, tab-separated.
std::string sql(const std::string &query, const std::string &delimiter = ";")
{
    run_result r = run("/", {tqdb_local, "client", db_dir, "-N", "-B", "--delimiter=" + delimiter, "-e", query});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

// Samples per worklog: "name count\n" lines in name order.
std::string counts()
{
    std::string out;
    std::string rows = sql("SELECT w.name, COUNT(s.id) FROM worklogs w LEFT JOIN samples s ON s.worklog = w.name "
                           "GROUP BY w.name ORDER BY w.name");
    for (char &c : rows)
        if (c == '\t')
            c = ' ';
    return rows;
}

const std::vector<rec> three = {{8, 0, 0, 1, 1}, {8, 0, 1, 2, 3}, {8, 0, 2, 3, 0}};
const std::vector<rec> two = {{9, 0, 0, 4, 1}, {9, 0, 5, 4, 3}};

class Import : public ::testing::Test {
public:
    temp_dir root{"tqimp"};
    fs::path mg = root / "manage";
    fs::path tr = root / "trans";

    void SetUp() override
    {
        ASSERT_EQ(run("/", {tqdb_local, "reset", db_dir}).status, 0);
        fs::create_directories(mg);
        fs::create_directories(tr / "worklogs");
        fs::copy_file(fs::path(db_dir) / "tqdb.ini", mg / "tqdb.ini", fs::copy_options::overwrite_existing);
        write_file(mg / "tqwl2db.ini", "[main]\ntrans_dir = " + tr.string() + "\n");
    }

    // A worklog copy and its digest in the transfer directory.
    void add(const fs::path &dir, const std::string &name, const std::string &content)
    {
        write_file(dir / "worklogs" / (name + ".wl"), content);
        write_file(dir / "worklogs" / (name + ".wl.md5"), md5(content));
    }
    void add(const std::string &name, const std::string &content) { add(tr, name, content); }
    std::string wl(const std::string &name) const { return tr.string() + "/worklogs/" + name + ".wl"; }

    run_result import(std::vector<std::string> args)
    {
        args.insert(args.begin(), program);
        return run(mg, args, {zone});
    }
};

// One directory, one expected outcome: messages, output, database.
struct import_case {
    const char *name;
    std::function<void(Import &)> setup;
    int status;
    std::string out;  // "TR" stands for the transfer directory
    std::string err;
    std::string counts;
};

void PrintTo(const import_case &c, std::ostream *os)
{
    *os << c.name;
}

std::string subst(std::string s, const std::string &tr)
{
    for (std::size_t p = 0; (p = s.find("TR", p)) != std::string::npos; p += tr.size())
        s.replace(p, 2, tr);
    return s;
}

const std::string malformed = "Plik wl.set jest nie zgodny z formatem\n";

const std::vector<import_case> cases = {
    {"two_worklogs_and_the_error_log",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n" + N2 + "\n");
         t.add(N1, worklog(three));
         t.add(N2, worklog(two));
         // 5 March 2007, 08:04:09 at UTC+1; an unknown code; a short tail.
         write_file(t.tr / "error.log", err_record(1173078249, 2, 77) + err_record(1173078250, 99, 4294967295u) + "xyz");
     },
     0,
     N1 + "\n" + N2 + "\n---\n2007.3.5 8:4:9 " + tq::TQr_err_to_str(2) + " 77\n2007.3.5 8:4:10 " + tq::TQr_err_to_str(99) +
         " 4294967295\n",
     "", N1 + " 3\n" + N2 + " 2\n"},
    {"empty_list_without_error_log", [](Import &t) { write_file(t.tr / "wl.set", ""); }, 0, "", "", ""},
    {"marker_present",
     [](Import &t) {
         write_file(t.tr / "terror", "");
         write_file(t.tr / "wl.set", N1 + "\n");
         t.add(N1, worklog(three));
         write_file(t.tr / "error.log", err_record(1173078249, 2, 77));
     },
     5, "", "Wystąpił krytyczny błąd podczas transferu \t\t\tpo stronie grupy produkcyjnej\n", ""},
    {"list_missing", nullptr, 5, "", "\\ Brak pliku TR/wl.set\n", ""},
    {"first_digest_wrong_second_imported",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n" + N2 + "\n");
         t.add(N1, worklog(three));
         write_file(t.tr / "worklogs" / (N1 + ".wl.md5"), md5("other"));
         t.add(N2, worklog(two));
     },
     5, N2 + "\n", "Plik TR/worklogs/" + N1 + ".wl jest zepsuty\n", N1 + " 0\n" + N2 + " 2\n"},
    {"digest_of_15_bytes",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n");
         t.add(N1, worklog(three));
         write_file(t.tr / "worklogs" / (N1 + ".wl.md5"), md5(worklog(three)).substr(0, 15));
     },
     5, "", "Plik TR/worklogs/" + N1 + ".wl jest zepsuty\n", N1 + " 0\n"},
    {"copy_and_digest_missing",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n" + N2 + "\n" + N3 + "\n");
         t.add(N2, worklog(two));
         fs::remove(t.tr / "worklogs" / (N2 + ".wl.md5"));
         t.add(N3, worklog(three));
     },
     5, N3 + "\n", "Brak pliku TR/worklogs/" + N1 + ".wl\nBrak pliku TR/worklogs/" + N2 + ".wl.md5\n",
     N1 + " 0\n" + N2 + " 0\n" + N3 + " 3\n"},
    // A worklog that cannot be read has no digest, whatever the digest file
    // holds (a failed digest used to read as 16 zero bytes).
    {"unreadable_worklog_never_matches",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n");
         fs::create_directory(t.tr / "worklogs" / (N1 + ".wl"));
         write_file(t.tr / "worklogs" / (N1 + ".wl.md5"), std::string(16, '\0'));
     },
     5, "", "Plik TR/worklogs/" + N1 + ".wl jest zepsuty\n", N1 + " 0\n"},
    {"line_of_9_characters",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n170000000\n" + N2 + "\n");
         t.add(N1, worklog(three));
         t.add(N2, worklog(two));
     },
     5, N1 + "\n", malformed, N1 + " 3\n"},
    {"line_of_9_characters_before_a_blank_line",
     [](Import &t) { write_file(t.tr / "wl.set", "170000000\n\n"); }, 5, "", malformed, ""},
    {"line_of_11_characters_stops_after_the_lines_before",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n" + N2 + "0\n");
         t.add(N1, worklog(three));
         write_file(t.tr / "error.log", err_record(1173078249, 2, 77));
     },
     5, N1 + "\n", malformed, N1 + " 3\n"},
    {"last_line_without_line_feed",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n" + N2);
         t.add(N1, worklog(three));
         t.add(N2, worklog(two));
     },
     5, N1 + "\n", malformed, N1 + " 3\n"},
    {"short_fragment_at_the_end_is_ignored",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n17000");
         t.add(N1, worklog(three));
         write_file(t.tr / "error.log", err_record(1173078249, 1, 5));
     },
     0, N1 + "\n---\n2007.3.5 8:4:9 " + std::string(tq::TQr_err_to_str(1)) + " 5\n", "", N1 + " 3\n"},
    {"name_the_database_refuses",
     [](Import &t) {
         write_file(t.tr / "wl.set", "abcdefghij\n" + N1 + "\n");
         t.add(N1, worklog(three));
     },
     5, "", "Nie mozna zapisac danych do bazy danych", ""},
    {"short_last_record_is_skipped",
     [](Import &t) {
         write_file(t.tr / "wl.set", N1 + "\n");
         t.add(N1, worklog(three) + "12345");
     },
     0, N1 + "\n", "", N1 + " 3\n"},
    {"error_log_that_cannot_be_read",
     [](Import &t) {
         write_file(t.tr / "wl.set", "");
         fs::create_directory(t.tr / "error.log");
     },
     5, "---\n", "Nie udana próba odczytu danych z TR/error.log\n", ""},
};

class ImportCase : public Import, public ::testing::WithParamInterface<import_case> {};

TEST_P(ImportCase, MessagesOutputAndDatabase)
{
    const import_case &c = GetParam();
    if (c.setup)
        c.setup(*this);
    run_result r = import({"1", "7", tr.string()});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, subst(c.out, tr.string()));
    EXPECT_EQ(r.err, subst(c.err, tr.string()));
    EXPECT_EQ(counts(), c.counts);
    // Nothing of the directory goes, also when removal was asked for.
    EXPECT_TRUE(fs::exists(tr));
}

INSTANTIATE_TEST_SUITE_P(Table, ImportCase, ::testing::ValuesIn(cases),
                         [](const auto &info) { return std::string(info.param.name); });

// Samples keep their fields and the production group of the command line.
TEST_F(Import, StoresEverySampleForTheGroup)
{
    write_file(tr / "wl.set", N1 + "\n");
    add(N1, worklog({{23, 59, 58, 16, 0xffffffffu}, {0, 0, 1, 1, 2}}));
    run_result r = import({"0", "-42", tr.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    // The name's time 1700000001 is 2023-11-14 at UTC+1; the second sample
    // went past midnight.
    EXPECT_EQ(sql("SELECT production_group, worklog, sample_date, time_of_day, workstation, input FROM samples "
                  "ORDER BY id"),
              "-42\t" + N1 + "\t2023-11-14\t23:59:58\t16\t4294967295\n-42\t" + N1 + "\t2023-11-15\t00:00:01\t1\t2\n");
}

// Arguments follow atoi: a group of "12abc" is 12, one of "x" is 0.
TEST_F(Import, GroupNumberTakesTheLeadingDigits)
{
    write_file(tr / "wl.set", N1 + "\n");
    add(N1, worklog(three));
    EXPECT_EQ(import({"x", " 12abc", tr.string()}).status, 0);
    EXPECT_EQ(sql("SELECT DISTINCT production_group FROM samples"), "12\n");
}

// Importing the same directory twice: the name is refused the second time
// and nothing is added.
TEST_F(Import, SameWorklogTwice)
{
    write_file(tr / "wl.set", N1 + "\n");
    add(N1, worklog(three));
    EXPECT_EQ(import({"0", "1"}).status, 0);
    run_result r = import({"0", "1"});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Nie mozna zapisac danych do bazy danych");
    EXPECT_EQ(counts(), N1 + " 3\n");
}

// Five record inserts refused by the server: each reported, the limit
// message after the fourth and the fifth, every later record still stored.
TEST_F(Import, FiveFailedInsertsAndTheLimit)
{
    sql("CREATE TRIGGER refuse_666 BEFORE INSERT ON samples FOR EACH ROW "
        "IF NEW.input = 666 THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused'; END IF",
        "//");
    // Later tests of other suites must not meet the trigger.
    struct drop_trigger {
        ~drop_trigger() { sql("DROP TRIGGER IF EXISTS refuse_666"); }
    } dropper;
    write_file(tr / "wl.set", N1 + "\n" + N2 + "\n");
    add(N1, worklog({{8, 0, 0, 1, 1}, {8, 0, 1, 1, 666}, {8, 0, 2, 1, 2}, {8, 0, 3, 1, 666}, {8, 0, 4, 1, 666}}));
    add(N2, worklog({{9, 0, 0, 2, 666}, {9, 0, 1, 2, 3}, {9, 0, 2, 2, 666}, {9, 0, 3, 2, 4}}));
    run_result r = import({"0", "1", tr.string()});
    const std::string f1 = "Nie udana próba zapisu rekordu danych z " + wl(N1) + "\n";
    const std::string f2 = "Nie udana próba zapisu rekordu danych z " + wl(N2) + "\n";
    const std::string limit = "Przekroczono maksymalną ilość nieudanych zapytań SQL\n";
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, N1 + "\n" + N2 + "\n");
    EXPECT_EQ(r.err, f1 + f1 + f1 + f2 + limit + f2 + limit);
    EXPECT_EQ(sql("SELECT worklog, input FROM samples ORDER BY id"),
              N1 + "\t1\n" + N1 + "\t2\n" + N2 + "\t3\n" + N2 + "\t4\n");
}

// A commit that fails loses the worklog's samples: the import says so and
// ends with 5 instead of reporting the worklog as imported.
TEST_F(Import, FailedCommitIsReported)
{
    write_file(tr / "wl.set", N1 + "\n");
    add(N1, worklog(three));
    run_result r = run(mg, {program, "0", "1", tr.string()},
                       {zone, {"LD_PRELOAD", TQ_FAIL_COMMIT_LIB}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, N1 + "\n");
    EXPECT_EQ(r.err, "Nie udana próba zatwierdzenia danych z " + wl(N1) + "\n");
    EXPECT_EQ(counts(), "");
}

// Paths are composed at any length and joined with '/'; a directory that
// ends with '/' keeps it before "worklogs" in the messages.
TEST_F(Import, LongDirectoryAndTrailingSlash)
{
    fs::path deep = root / std::string(120, 'd') / std::string(100, 'e');
    fs::create_directories(deep / "worklogs");
    write_file(deep / "wl.set", N1 + "\n" + N2 + "\n");
    add(deep, N1, worklog(three));
    run_result r = import({"0", "1", deep.string() + "/"});
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.out, N1 + "\n");
    EXPECT_EQ(r.err, "Brak pliku " + deep.string() + "//worklogs/" + N2 + ".wl\n");
}

// The directory reaches the removal as one path, never as shell text; only
// an emptied directory would be removed, so a transfer stays for the
// operator whatever the import made of it.
TEST_F(Import, RemovalTakesTheDirectoryWhole)
{
    fs::path odd = root / "a b; touch x";
    fs::create_directories(odd / "worklogs");
    write_file(odd / "wl.set", N1 + "\n");
    add(odd, N1, worklog(three));
    run_result r = import({"1", "1", odd.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(mg / "x"));
    EXPECT_TRUE(fs::exists(odd / "wl.set"));
    EXPECT_EQ(counts(), N1 + " 3\n");
}

// Configuration first, arguments after: a broken configuration is reported
// whatever the command line; the directory key is required even when the
// command line names one.
TEST_F(Import, ConfigurationAndArgumentCount)
{
    const std::string cfg_msg = "Plik konfiguracyjny nie zawiera niezbędnych danych\n";
    write_file(tr / "wl.set", "");
    struct frame_case {
        const char *what;
        std::function<void()> setup;
        std::vector<std::string> args;
        int status;
        std::string err;
    } frames[] = {
        {"good configuration, one argument", nullptr, {"1"}, 3, "Zla ilosc argumentów\n"},
        {"good configuration, four arguments", nullptr, {"1", "2", "3", "4"}, 3, "Zla ilosc argumentów\n"},
        {"two arguments take trans_dir", nullptr, {"0", "1"}, 0, ""},
        {"ini without trans_dir", [&] { write_file(mg / "tqwl2db.ini", "[main]\nother = 1\n"); },
         {"0", "1", tr.string()}, 1, cfg_msg},
        {"no tqwl2db.ini", [&] { fs::remove(mg / "tqwl2db.ini"); }, {"1"}, 1, cfg_msg},
        {"no tqdb.ini", [&] { fs::remove(mg / "tqdb.ini"); }, {"0", "1", tr.string()}, 1, cfg_msg},
        {"server that does not answer",
         [&] {
             std::string ini = read_file(mg / "tqdb.ini").value_or("");
             auto p = ini.find("socket = ");
             ini.replace(p, ini.find('\n', p) - p, "socket = " + (root / "no.sock").string());
             write_file(mg / "tqdb.ini", ini);
         },
         {"1"}, 2, "Błąd przy inicjalizacji dazy danych"},
    };
    for (auto &f : frames) {
        SetUp();
        if (f.setup)
            f.setup();
        run_result r = import(f.args);
        EXPECT_EQ(r.status, f.status) << f.what;
        EXPECT_EQ(r.err, f.err) << f.what;
        EXPECT_EQ(r.out, "") << f.what;
    }
}

// A worklog read that fails without moving on ends that worklog's records
// with a message instead of repeating for ever.
TEST(ImportRecords, ReadThatCannotAdvanceEnds)
{
    cookie_io_functions_t io{};
    io.read = [](void *, char *, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    std::FILE *f = fopencookie(nullptr, "rb", io);
    ASSERT_NE(f, nullptr);
    int failures = 0;
    ::testing::internal::CaptureStderr();
    int status = tq::import_records(f, N1.c_str(), "P.wl", 1, &failures);
    std::string err = ::testing::internal::GetCapturedStderr();
    std::fclose(f);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(err, "Nie udana próba odczytu danych z P.wl\n");
}

}  // namespace
