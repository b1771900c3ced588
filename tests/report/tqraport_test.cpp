// tqraport against the private MariaDB server: workers and shift plans put in
// with tqmanager, samples with tqwl2db; the counts a report must show are
// computed here from the classification rule.
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "report_fixture.h"

namespace fs = std::filesystem;
using namespace std::chrono;
using namespace report_test;

namespace {

const std::vector<std::string> default_names = {"Praca", "Maszyna wyłączona", "Postój",
                                                "Rozpoczęcie pracy"};
const std::string config_message = "Plik konfiguracyjny nie zawiera niezbędnych danych\n";
const char *day_title = "Pracownicy - pojedynczy dzien";
const char *month_title = "Pracownicy - pojedynczy miesiac";
const char *short_title = "Stanowisko - krotki przedzial czasu";

// The report text, piece by piece, as the writers must produce it.
struct layout {
    bool html;

    std::string header(const std::string &title, const std::string &date) const
    {
        if (!html)
            return "Typ raportu: " + title + "\nData: " + date + "\n\t";
        return "<html>\n<head>\n<title>TQmanager raport\t\t\t\t</title>\n"
               "<meta HTTP-EQUIV=\"Content-type\" \t\t\t\tCONTENT=\"text/html; charset=utf8\">\n"
               "</head>\t\t\t\t\n<body>\n<h4>Typ raportu: " +
               title + ".</h4><h4>Data: " + date +
               "</h4>\n<table border=\"1\" cellspacing=\"0\" \t\t\t\tcellpadding=\"3\">\n"
               "<tr>\n<td  width=\"200\">\t\t\t\t</td>\n";
    }
    std::string heading(const std::vector<std::string> &names) const
    {
        std::string s;
        for (const auto &n : names)
            s += html ? "<td  width=\"60\">" + n + "</td>" : "\t" + n;
        return s + (html ? "\n</tr>\n" : "\n");
    }
    std::string label(const std::string &text) const
    {
        return html ? "<tr>\n<td>" + text + "</td>" : text;
    }
    std::string row(const std::string &text, const counts &c) const
    {
        std::string s = label(text);
        for (auto v : c)
            s += html ? "<td>" + std::to_string(v) + "</td>" : "\t" + std::to_string(v);
        return s + (html ? "\n\t\t</tr>\n" : "\n");
    }
    std::string ending() const
    {
        return html ? "</table><br>\n<small>Plik wygenerowany \t\t\tprzez TQmanager</small>\n"
                      "</body>\n</html>\n"
                    : "Plik wygenerowany przez TQmanager\n";
    }
    std::string format() const { return html ? "html" : "txt"; }
};

struct worker {
    std::string first, second;
    std::string label() const { return first + " " + second; }
};

const std::vector<worker> march_workers = {
    {"Jan", "Kowalski"}, {"Anna", "Nowak"},   {"Piotr", "Wiśniewski"},
    {"Ewa", "Zielińska"}, {"Ola", "Duda"},     {"Marek", "Nocny"},
};

struct dated_plan {
    sys_days date;
    std::string key;
    std::vector<plan_line> lines;
};

// Day 2026-03-02 holds: a worker without work (Ewa), one with three records
// (Anna), a record listed twice (Ola), two workers on one workstation and
// shift (Jan, Piotr) and a night shift over midnight (Marek). Anna's shift 2
// on workstation 2 begins 3 s after the last work sample of her shift 1
// there: only a fresh analysis state per query makes it a start of work. Other days give
// the month report samples on several days and a night over the month's end.
const std::vector<dated_plan> march_plans = {
    {date_of(2026, 3, 1), "2026-03-01", {{"Marek", "Nocny", 4, 3}}},
    {date_of(2026, 3, 2),
     "2026-03-02",
     {{"Jan", "Kowalski", 1, 1},
      {"Anna", "Nowak", 2, 1},
      {"Anna", "Nowak", 2, 2},
      {"Anna", "Nowak", 3, 1},
      {"Piotr", "Wiśniewski", 1, 1},
      {"Ola", "Duda", 3, 1},
      {"Ola", "Duda", 3, 1},
      {"Marek", "Nocny", 4, 3}}},
    {date_of(2026, 3, 3), "2026-03-03", {{"Jan", "Kowalski", 1, 1}}},
    {date_of(2026, 3, 15), "2026-03-15", {{"Jan", "Kowalski", 2, 2}}},
    {date_of(2026, 3, 31), "2026-03-31", {{"Marek", "Nocny", 4, 3}}},
    {date_of(2026, 4, 1), "2026-04-01", {{"Marek", "Nocny", 4, 1}}},
};

std::vector<record> concat(std::vector<record> a, const std::vector<record> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<record> fixed(std::uint32_t code, std::vector<std::pair<int, std::uint32_t>> samples)
{
    std::vector<record> out;
    for (auto [t, input] : samples)
        out.push_back({t / 3600, t / 60 % 60, t % 60, code, input});
    return out;
}

sys_seconds at(sys_days d, int h, int m, int s)
{
    return d + hours(h) + minutes(m) + seconds(s);
}

// Worklogs around the shift bounds; three of them cross midnight.
std::vector<worklog> march_worklogs()
{
    const int midnight = 86400;
    std::vector<worklog> logs;
    logs.push_back({at(date_of(2026, 3, 1), 21, 0, 0),
                    concat(merge({window(4, tod(21, 59, 40), tod(22, 0, 30), 1),
                                  window(4, tod(23, 59, 30), midnight, 2)}),
                           merge({window(4, 0, 40, 3), window(1, tod(5, 59, 40), tod(6, 0, 40), 4),
                                  window(4, tod(5, 59, 40), tod(6, 0, 20), 5)}))});
    logs.push_back(
        {at(date_of(2026, 3, 2), 6, 1, 0),
         concat(merge({window(1, tod(6, 1, 0), tod(6, 3, 0), 6), window(3, tod(6, 1, 0), tod(6, 3, 0), 7),
                       window(1, tod(13, 59, 30), tod(14, 0, 30), 8),
                       fixed(2, {{tod(13, 59, 50), 3}, {tod(13, 59, 55), 3}, {tod(13, 59, 58), 3},
                                 {tod(14, 0, 1), 3}, {tod(14, 0, 3), 1}, {tod(14, 0, 5), 3},
                                 {tod(14, 0, 9), 0}}),
                       window(3, tod(13, 59, 50), tod(14, 0, 10), 10),
                       window(2, tod(21, 59, 30), tod(22, 0, 30), 11),
                       window(4, tod(21, 59, 30), tod(22, 0, 30), 12),
                       window(4, tod(23, 59, 40), midnight, 13)}),
                merge({window(4, 0, 30, 14), window(4, tod(5, 59, 50), tod(6, 0, 10), 15)}))});
    logs.push_back({at(date_of(2026, 3, 3), 7, 0, 0), window(1, tod(7, 0, 0), tod(7, 1, 0), 16)});
    logs.push_back({at(date_of(2026, 3, 15), 14, 30, 0), window(2, tod(14, 30, 0), tod(14, 31, 0), 17)});
    logs.push_back({at(date_of(2026, 3, 31), 21, 0, 0),
                    concat(merge({window(4, tod(21, 59, 50), tod(22, 0, 20), 18),
                                  window(4, tod(23, 59, 50), midnight, 19)}),
                           merge({window(4, 0, 20, 20), window(4, tod(5, 59, 50), tod(6, 0, 10), 21)}))});
    return logs;
}

class tqraport_db : public report_fixture {
protected:
    std::vector<stored> samples;

    void load_march()
    {
        for (const auto &w : march_workers)
            add_worker(w.first, w.second);
        for (const auto &p : march_plans)
            add_plan(p.key, p.lines);
        samples = import(march_worklogs());
        ASSERT_GT(samples.size(), 200u);
    }

    counts worker_day(const worker &w, sys_days date) const
    {
        counts c{};
        for (const auto &p : march_plans) {
            if (p.date != date)
                continue;
            for (const auto &l : p.lines) {
                if (l.first != w.first || l.second != w.second)
                    continue;
                const auto &shift = default_shifts[l.shift - 1];
                c += expected(samples, date, shift.start, shift.end, l.workstation);
            }
        }
        return c;
    }

    // The sample set must exercise every category, or equal counts prove little.
    void expect_every_category(const counts &c) const
    {
        for (std::size_t k = 0; k < c.size(); ++k)
            EXPECT_GT(c[k], 0u) << "category " << k;
    }

    // Makes a query fail by taking its table away for the scope's duration.
    struct table_away {
        tqraport_db *t;
        std::string table;
        table_away(tqraport_db *t, std::string table) : t(t), table(std::move(table))
        {
            auto r = t->db_client("RENAME TABLE " + this->table + " TO " + this->table + "_away");
            EXPECT_EQ(r.status, 0) << r.err;
        }
        ~table_away() { t->db_client("RENAME TABLE " + table + "_away TO " + table); }
    };
};

TEST_F(tqraport_db, DayReportIsExactInBothFormats)
{
    load_march();
    const sys_days d = date_of(2026, 3, 2);
    counts all{};
    for (const auto &w : march_workers)
        all += worker_day(w, d);
    expect_every_category(all);
    EXPECT_EQ(worker_day({"Ewa", "Zielińska"}, d), counts{});
    EXPECT_EQ(worker_day({"Jan", "Kowalski"}, d), worker_day({"Piotr", "Wiśniewski"}, d));

    for (bool html : {false, true}) {
        layout l{html};
        std::string want = l.header(day_title, "2026-03-02") + l.heading(default_names);
        for (const auto &w : march_workers)
            want += l.row(w.label(), worker_day(w, d));
        want += l.ending();
        auto r = raport({"gen_day_raport", "2026-03-02", l.format()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, want);
    }
}

TEST_F(tqraport_db, MonthReportSumsEveryDayOfTheMonth)
{
    load_march();
    // March: samples on the 1st to 3rd, the 15th and a night from the 31st
    // into April; April: its 1st, and a day 31 that does not exist.
    for (auto [m, month_arg, days_in_month] : {std::tuple{3u, "03", 31u}, std::tuple{4u, "4", 30u}}) {
        layout l{m == 4};
        std::string want = l.header(month_title, "2026-" + std::to_string(m)) + l.heading(default_names);
        counts all{};
        for (const auto &w : march_workers) {
            counts c{};
            for (unsigned dd = 1; dd <= days_in_month; ++dd)
                c += worker_day(w, date_of(2026, m, dd));
            all += c;
            want += l.row(w.label(), c);
        }
        want += l.ending();
        if (m == 3)
            expect_every_category(all);
        auto r = raport({"gen_month_raport", "2026", month_arg, l.format()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, want);
    }
}

TEST_F(tqraport_db, ShortReportCountsOneWorkstationInterval)
{
    load_march();
    struct short_case {
        std::string date, start, end;
        unsigned code;
        sys_days d;
        int from, to;
        bool html;
    };
    const short_case cases[] = {
        {"2026-03-02", "06:00:00", "06:02:00", 1, date_of(2026, 3, 2), tod(6, 0, 0), tod(6, 2, 0), false},
        // A night interval: the end before the start runs into the next day.
        {"2026-03-02", "22:00:00", "06:00:00", 4, date_of(2026, 3, 2), tod(22, 0, 0), tod(6, 0, 0), false},
        {"2026-03-02", "0:0:0", "23:59:59", 2, date_of(2026, 3, 2), 0, tod(23, 59, 59), true},
        {"2026-03-02", "06:00:00", "14:00:00", 9, date_of(2026, 3, 2), tod(6, 0, 0), tod(14, 0, 0), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start + "-" + c.end + " #" + std::to_string(c.code));
        layout l{c.html};
        counts want = expected(samples, c.d, c.from, c.to, c.code);
        auto r = raport({"gen_short_raport", c.date, c.start, c.end, std::to_string(c.code), l.format()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, l.header(short_title, c.date) + l.heading(default_names) +
                             l.row("Stanowisko nr " + std::to_string(c.code), want) + l.ending());
    }
    EXPECT_NE(expected(samples, date_of(2026, 3, 2), tod(22, 0, 0), tod(6, 0, 0), 4), counts{});
}

TEST_F(tqraport_db, UnknownShiftEndsAfterTheWorkersLabel)
{
    for (unsigned shift : {0u, 5u}) {
        SCOPED_TRACE(shift);
        ASSERT_EQ(run(root, {std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local", "reset", db_dir}).status, 0);
        add_worker("Jan", "Kowalski");
        add_worker("Zly", "Plan");
        add_worker("Ostatni", "Pracownik");
        add_plan("2026-03-02", {{"Jan", "Kowalski", 1, 1},
                                {"Zly", "Plan", 2, 1},
                                {"Zly", "Plan", 2, shift},
                                {"Ostatni", "Pracownik", 1, 1}});
        layout l{false};
        auto r = raport({"gen_day_raport", "2026-03-02", "txt"});
        EXPECT_EQ(r.status, 5);
        EXPECT_EQ(r.err, "Nieznana zmiana #" + std::to_string(shift) + "\n");
        EXPECT_EQ(r.out, l.header(day_title, "2026-03-02") + l.heading(default_names) +
                             l.row("Jan Kowalski", counts{}) + l.label("Zly Plan"));
    }
}

TEST_F(tqraport_db, FailedQueryEndsTheReportWithStatusTwo)
{
    add_worker("Jan", "Kowalski");
    add_worker("Anna", "Nowak");
    add_plan("2026-03-02", {{"Jan", "Kowalski", 1, 1}});
    layout l{false};
    const std::string day_head = l.header(day_title, "2026-03-02") + l.heading(default_names);
    const std::string month_head = l.header(month_title, "2026-3") + l.heading(default_names);
    // A query fails when its table is taken away, and the input query when
    // the library cannot read a time bound (a shift time from tqraport.ini,
    // or the short report's interval).
    const std::string ini = read_file(workdir + "/tqraport.ini");
    std::string bad_shift = ini;
    bad_shift.replace(bad_shift.find("06:00:00"), 8, "06:00:61");
    struct failure_case {
        std::string table;
        const std::string *raport_ini;
        std::vector<std::string> args;
        std::string out;
    };
    const failure_case cases[] = {
        {"workers", &ini, {"gen_day_raport", "2026-03-02", "txt"}, day_head},
        {"workers", &ini, {"gen_month_raport", "2026", "3", "html"},
         layout{true}.header(month_title, "2026-3") + layout{true}.heading(default_names)},
        {"shift_lines", &ini, {"gen_day_raport", "2026-03-02", "txt"}, day_head + l.label("Jan Kowalski")},
        {"shift_lines", &ini, {"gen_month_raport", "2026", "3", "txt"}, month_head + l.label("Jan Kowalski")},
        {"", &bad_shift, {"gen_day_raport", "2026-03-02", "txt"}, day_head + l.label("Jan Kowalski")},
        {"", &bad_shift, {"gen_month_raport", "2026", "3", "txt"}, month_head + l.label("Jan Kowalski")},
        {"",
         &ini,
         {"gen_short_raport", "2026-03-02", "25:00:00", "14:00:00", "1", "txt"},
         l.header(short_title, "2026-03-02") + l.heading(default_names)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.table + " " + c.args[0]);
        write_file(workdir + "/tqraport.ini", *c.raport_ini);
        std::optional<table_away> away;
        if (!c.table.empty())
            away.emplace(this, c.table);
        auto r = raport(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.out);
    }
}

TEST_F(tqraport_db, NamesWithPrintfAndHtmlCharactersAreWrittenUnchanged)
{
    // values:2 and values:3 are left out: their headings are "undef 2", "undef 3".
    write_file(workdir + "/tqraport.ini",
               "[shift]\nfirst_start = 06:00:00\nfirst_end = 14:00:00\n"
               "second_start = 14:00:00\nsecond_end = 22:00:00\n"
               "third_start = 22:00:00\nthird_end = 06:00:00\n"
               "[values]\n0 = \"100%s <b>&amp;\"\n1 = \"%d%%&lt;\"\n");
    const std::vector<std::string> names = {"100%s <b>&amp;", "%d%%&lt;", "undef 2", "undef 3"};
    add_worker("%s%n<i>", "&nbsp;%u>");
    add_plan("2026-03-02", {{"%s%n<i>", "&nbsp;%u>", 7, 1}});
    samples = import({{at(date_of(2026, 3, 2), 6, 0, 0), window(7, tod(6, 0, 0), tod(6, 1, 0), 30)}});
    counts c = expected(samples, date_of(2026, 3, 2), tod(6, 0, 0), tod(14, 0, 0), 7);
    for (bool html : {false, true}) {
        layout l{html};
        auto r = raport({"gen_day_raport", "dzień %s<&>", l.format()});
        EXPECT_EQ(r.status, 0) << r.err;
        // The date is passed on unchanged: the query finds no such date.
        EXPECT_EQ(r.out, l.header(day_title, "dzień %s<&>") + l.heading(names) +
                             l.row("%s%n<i> &nbsp;%u>", counts{}) + l.ending());
        r = raport({"gen_day_raport", "2026-03-02", l.format()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, l.header(day_title, "2026-03-02") + l.heading(names) +
                             l.row("%s%n<i> &nbsp;%u>", c) + l.ending());
    }
}

TEST_F(tqraport_db, NoValuesKeysGiveUndefHeadings)
{
    write_file(workdir + "/tqraport.ini",
               "[shift]\nfirst_start = 06:00:00\nfirst_end = 14:00:00\n"
               "second_start = 14:00:00\nsecond_end = 22:00:00\n"
               "third_start = 22:00:00\nthird_end = 06:00:00\n");
    layout l{false};
    auto r = raport({"gen_day_raport", "2026-03-02", "txt"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, l.header(day_title, "2026-03-02") +
                         l.heading({"undef 0", "undef 1", "undef 2", "undef 3"}) + l.ending());
}

TEST_F(tqraport_db, StartUpFailuresGiveTheirMessageAndStatus)
{
    const std::string ini = read_file(workdir + "/tqraport.ini");
    const std::string db_ini = read_file(workdir + "/tqdb.ini");
    auto without = [](std::string text, const std::string &line) {
        auto at = text.find(line);
        EXPECT_NE(at, std::string::npos) << line;
        return text.erase(at, text.find('\n', at) + 1 - at);
    };
    auto replaced = [](std::string text, const std::string &from, const std::string &to) {
        auto at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    // A server that is not there: the socket of tqdb.ini points at nothing.
    const std::string unreachable =
        replaced(without(db_ini, "socket"), "[database]\n", "[database]\nsocket = " + root + "/no.sock\n");

    struct startup_case {
        std::string name;
        const std::string *raport_ini;  // null: no file
        std::string raport_text;
        const std::string *db_text;
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string shift_too_long = replaced(ini, "14:00:00", "14:00:00.");
    const std::string third_end_absent = without(ini, "third_end");
    const std::string not_ini = "this is no ini line\n";
    const startup_case cases[] = {
        {"no option word", nullptr, "", nullptr, {}, 3, "Za mała liczba argumentów\n"},
        {"no option word, full configuration", &ini, "", &db_ini, {}, 3, "Za mała liczba argumentów\n"},
        {"no tqraport.ini", nullptr, "", &db_ini, {"gen_day_raport", "2026-03-02", "txt"}, 1, config_message},
        {"no tqraport.ini, wrong word", nullptr, "", &db_ini, {"nonsense"}, 1, config_message},
        {"unparsable tqraport.ini", &not_ini, "", &db_ini, {"gen_day_raport", "2026-03-02", "txt"}, 1,
         config_message},
        {"third_end absent", &third_end_absent, "", &db_ini, {"gen_day_raport", "2026-03-02", "txt"}, 1,
         config_message},
        {"no tqdb.ini", &ini, "", nullptr, {"gen_day_raport", "2026-03-02", "txt"}, 1, config_message},
        {"shift time of 9 characters", &shift_too_long, "", &db_ini,
         {"gen_day_raport", "2026-03-02", "txt"}, 1,
         "Za długi czas zmiany shift:first_end: 14:00:00.\n" + config_message},
        {"database unreachable", &ini, "", &unreachable, {"gen_day_raport", "2026-03-02", "txt"}, 2,
         "Błąd przy inicjalizacji dazy danych"},
        {"database unreachable, wrong word", &ini, "", &unreachable, {"nonsense"}, 2,
         "Błąd przy inicjalizacji dazy danych"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = root + "/startup";
        fs::remove_all(dir);
        fs::create_directory(dir);
        if (c.raport_ini)
            write_file(dir + "/tqraport.ini", *c.raport_ini);
        if (c.db_text)
            write_file(dir + "/tqdb.ini", *c.db_text);
        auto r = raport_in(dir, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(tqraport_db, CommandLineIsCheckedAfterStartUp)
{
    struct command_case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const std::string count = "Zla ilosc argumentow\n";
    const std::string option = "Zly opcja\n";
    const std::string format = "Nieznany format\n";
    const command_case cases[] = {
        {{"gen_day_raport", "2026-03-02"}, 3, count},
        {{"gen_day_raport", "2026-03-02", "txt", "x"}, 3, count},
        {{"gen_month_raport", "2026", "3"}, 3, count},
        {{"gen_month_raport", "2026", "3", "txt", "x"}, 3, count},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "1"}, 3, count},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "1", "txt", "x"}, 3, count},
        {{"gen_day_raportx", "2026-03-02", "txt"}, 4, option},
        {{"GEN_DAY_RAPORT", "2026-03-02", "txt"}, 4, option},
        {{"gen_day", "2026-03-02", "txt"}, 4, option},
        {{""}, 4, option},
        {{"gen_day_raport", "2026-03-02", "TXT"}, 1, format},
        {{"gen_day_raport", "2026-03-02", "txt "}, 1, format},
        {{"gen_month_raport", "2026", "3", "htm"}, 1, format},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "1", "HTML"}, 1, format},
        // Texts that do not fit their buffers are refused, not cut.
        {{"gen_month_raport", "-1", "3", "txt"}, 1, "Nieprawidłowy rok lub miesiąc: -1-3\n"},
        {{"gen_month_raport", "2026", "-3", "txt"}, 1, "Nieprawidłowy rok lub miesiąc: 2026--3\n"},
        {{"gen_month_raport", "1234567", "3", "txt"}, 1, "Nieprawidłowy rok lub miesiąc: 1234567-3\n"},
        {{"gen_month_raport", "99999", "12", "txt"}, 1, "Nieprawidłowy rok lub miesiąc: 99999-12\n"},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "-123456789", "txt"}, 1,
         "Nieprawidłowy numer stanowiska: -123456789\n"},
        // A wrong format is reported before a refused value.
        {{"gen_month_raport", "-1", "3", "xml"}, 1, format},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " with " + std::to_string(c.args.size()) + " arguments");
        auto r = raport(c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(tqraport_db, NumbersAndLimitsThatAreAccepted)
{
    layout l{false};
    const std::string heading = l.heading(default_names);
    struct accepted_case {
        std::vector<std::string> args;
        std::string out;
    };
    const accepted_case cases[] = {
        // No workers: header, heading row and ending.
        {{"gen_month_raport", "2007", "05", "txt"}, l.header(month_title, "2007-5") + heading + l.ending()},
        {{"gen_month_raport", "rok", "maj", "txt"}, l.header(month_title, "0-0") + heading + l.ending()},
        {{"gen_month_raport", " +9999", "12x", "txt"}, l.header(month_title, "9999-12") + heading + l.ending()},
        {{"gen_day_raport", "2026-03-02", "txt"}, l.header(day_title, "2026-03-02") + heading + l.ending()},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "-12345678", "txt"},
         l.header(short_title, "2026-03-02") + heading + l.row("Stanowisko nr -12345678", counts{}) +
             l.ending()},
        {{"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "stanowisko", "txt"},
         l.header(short_title, "2026-03-02") + heading + l.row("Stanowisko nr 0", counts{}) + l.ending()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        auto r = raport(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, c.out);
    }
}

// tqraport built with an analysis library that returns the sample's input as
// its category, so that indices outside the score array reach the scoring.
TEST_F(tqraport_db, CategoryOutsideTheScoreArrayIsNotCounted)
{
    std::vector<record> recs;
    const std::uint32_t inputs[] = {0, 1, 2, 3, 4, 0xffffffffu, 3, 100000};
    int t = tod(10, 0, 0);
    for (auto in : inputs) {
        recs.push_back({t / 3600, t / 60 % 60, t % 60, 9, in});
        t += 10;
    }
    import({{at(date_of(2026, 3, 2), 10, 0, 0), recs}});
    layout l{false};
    auto r = run(workdir, {TQ_FAKE_ANALIS_RAPORT, "gen_short_raport", "2026-03-02", "10:00:00", "11:00:00",
                           "9", "txt"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "Nieznana kategoria #4, próbka pominięta\n");
    EXPECT_EQ(r.out, l.header(short_title, "2026-03-02") + l.heading(default_names) +
                         l.row("Stanowisko nr 9", counts{1, 1, 1, 2}) + l.ending());
}

// tqraport whose allocations of one size fail: 16 bytes is the score array,
// 32 the category name table, 120 the default names (4 categories each).
TEST_F(tqraport_db, LackOfMemoryEndsWithAStatusNotACrash)
{
    add_worker("Jan", "Kowalski");
    layout l{false};
    const std::string heading = l.heading(default_names);
    struct memory_case {
        std::string size;
        std::vector<std::string> args;
        int status;
        std::string out, err;
    };
    const memory_case cases[] = {
        {"16", {"gen_day_raport", "2026-03-02", "txt"}, 2, l.header(day_title, "2026-03-02") + heading,
         "Brak pamięci\n"},
        {"16", {"gen_month_raport", "2026", "3", "txt"}, 2, l.header(month_title, "2026-3") + heading,
         "Brak pamięci\n"},
        {"16", {"gen_short_raport", "2026-03-02", "06:00:00", "07:00:00", "1", "txt"}, 2,
         l.header(short_title, "2026-03-02") + heading, "Brak pamięci\n"},
        {"32", {"gen_day_raport", "2026-03-02", "txt"}, 1, "", "Brak pamięci\n" + config_message},
        {"120", {"gen_day_raport", "2026-03-02", "txt"}, 1, "", "Brak pamięci\n" + config_message},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size + " " + c.args[0]);
        std::vector<std::string> argv{TQ_FAILING_NEW_RAPORT};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        auto r = run(workdir, argv, "", {"TQ_FAIL_NEW_SIZE=" + c.size});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, c.out);
    }
}

}  // namespace
