// libtqmanage on MariaDB Connector/C: see interfaces/database_lib.h for the
// contract and platform/tqmanage/schema.sql for the tables.
#include "database_lib.h"

#include <iniparser/iniparser.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace tq {

struct TQdb_cfg {
    std::string host;
    unsigned port = 0;
    std::string socket;
    std::string user;
    std::string password;
    std::string name;
};

namespace {

// Handles are never released by the programs; the library keeps them so
// that they go with the process.
std::vector<std::unique_ptr<TQdb_cfg>> all_cfgs;

enum class txn_kind { none, worklog, explicit_ };

// Date bookkeeping of the worklog whose samples are being stored.
struct worklog_dates {
    std::string name;
    std::chrono::sys_days date{};
    bool have_previous = false;
    int previous_second = 0;  // time of day of the previous stored sample
};

struct stmt_closer {
    void operator()(MYSQL_STMT *s) const { mysql_stmt_close(s); }
};
using stmt_ptr = std::unique_ptr<MYSQL_STMT, stmt_closer>;

struct result_freer {
    void operator()(MYSQL_RES *r) const { mysql_free_result(r); }
};
using result_ptr = std::unique_ptr<MYSQL_RES, result_freer>;

struct db_state {
    MYSQL *conn = nullptr;
    bool library_started = false;
    MYSQL_RES *pending = nullptr;  // result of the last query, not yet taken
    txn_kind txn = txn_kind::none;
    stmt_ptr insert_sample;        // prepared once per connection
    worklog_dates dates;
};

db_state db;

constexpr std::size_t name_field_max = 39;  // bytes; the report's 40-byte fields

void drop_pending()
{
    if (db.pending != nullptr) {
        mysql_free_result(db.pending);
        db.pending = nullptr;
    }
}

int run_text(const std::string &sql)
{
    if (db.conn == nullptr)
        return 1;
    return mysql_real_query(db.conn, sql.data(), sql.size()) == 0 ? 0 : 1;
}

// Ends a worklog's transaction (commit); explicit transactions stay open.
int end_worklog_txn()
{
    if (db.txn != txn_kind::worklog)
        return 0;
    db.txn = txn_kind::none;
    if (db.conn == nullptr)
        return 1;
    return mysql_commit(db.conn) == 0 ? 0 : 1;
}

// Common start of every query and change other than the sample insert.
int begin_call()
{
    drop_pending();
    if (db.conn == nullptr)
        return 1;
    return end_worklog_txn();
}

std::string quoted(const char *text)
{
    std::size_t len = std::strlen(text);
    std::string out(2 * len + 3, '\0');
    out[0] = '\'';
    unsigned long n = mysql_real_escape_string(db.conn, out.data() + 1, text, len);
    out.resize(n + 1);
    out += '\'';
    return out;
}

// Runs a read query and keeps its whole result in client memory.
int run_query(const std::string &sql)
{
    if (begin_call() != 0 || run_text(sql) != 0)
        return 1;
    MYSQL_RES *res = mysql_store_result(db.conn);
    if (res == nullptr)
        return 1;
    db.pending = res;
    return 0;
}

// Reads a date text the way the server does ("2007-5-3", "2007-05-03",
// "20070503"), strictly: a date that does not exist or a text with anything
// after the date gives false. iso receives YYYY-MM-DD. The last answer is
// kept, since a report asks about the same date many times.
int read_date(const char *text, bool &exists, std::string &iso)
{
    static std::string last_text, last_iso;
    static bool last_exists = false, have_last = false;
    if (have_last && last_text == text) {
        exists = last_exists;
        iso = last_iso;
        return 0;
    }
    if (run_text("SELECT DATE_FORMAT(CAST(" + quoted(text) + " AS DATE), '%Y-%m-%d')") != 0)
        return 1;
    result_ptr res(mysql_store_result(db.conn));
    if (!res)
        return 1;
    unsigned warnings = mysql_warning_count(db.conn);
    MYSQL_ROW row = mysql_fetch_row(res.get());
    exists = row != nullptr && row[0] != nullptr && warnings == 0;
    iso = exists ? row[0] : "";
    last_text = text;
    last_iso = iso;
    last_exists = exists;
    have_last = true;
    return 0;
}

// A server-side prepared change; binds are the parameters in order.
// affected receives the number of rows changed when not null.
int run_change(const char *sql, MYSQL_BIND *binds, unsigned long long *affected = nullptr)
{
    stmt_ptr stmt(mysql_stmt_init(db.conn));
    if (!stmt || mysql_stmt_prepare(stmt.get(), sql, std::strlen(sql)) != 0)
        return 1;
    if (binds != nullptr && mysql_stmt_bind_param(stmt.get(), binds) != 0)
        return 1;
    if (mysql_stmt_execute(stmt.get()) != 0)
        return 1;
    if (affected != nullptr)
        *affected = mysql_stmt_affected_rows(stmt.get());
    return 0;
}

MYSQL_BIND bind_text(const char *text, unsigned long *length)
{
    MYSQL_BIND b{};
    *length = std::strlen(text);
    b.buffer_type = MYSQL_TYPE_STRING;
    b.buffer = const_cast<char *>(text);
    b.buffer_length = *length;
    b.length = length;
    return b;
}

MYSQL_BIND bind_unsigned(unsigned *value)
{
    MYSQL_BIND b{};
    b.buffer_type = MYSQL_TYPE_LONG;
    b.buffer = value;
    b.is_unsigned = 1;
    return b;
}

bool valid_name_field(const char *text)
{
    if (text == nullptr)
        return false;
    std::size_t len = std::strlen(text);
    return len > 0 && len <= name_field_max;
}

bool valid_worklog_name(const char *name)
{
    if (name == nullptr || std::strlen(name) != 10)
        return false;
    for (int i = 0; i < 10; ++i)
        if (name[i] < '0' || name[i] > '9')
            return false;
    return true;
}

std::chrono::sys_days local_date_of(std::time_t t)
{
    std::tm tm{};
    localtime_r(&t, &tm);
    using namespace std::chrono;
    return sys_days(year(tm.tm_year + 1900) / month(unsigned(tm.tm_mon + 1)) / day(unsigned(tm.tm_mday)));
}

MYSQL_TIME to_mysql_date(std::chrono::sys_days d)
{
    std::chrono::year_month_day ymd(d);
    MYSQL_TIME t{};
    t.year = unsigned(int(ymd.year()));
    t.month = unsigned(ymd.month());
    t.day = unsigned(ymd.day());
    t.time_type = MYSQL_TIMESTAMP_DATE;
    return t;
}

// First and one-past-last day of month b of year a, as 'YYYY-MM-DD'.
bool month_range(int a, int b, std::chrono::sys_days &first, std::chrono::sys_days &next)
{
    if (a < 1000 || a > 9999 || b < 1 || b > 12)
        return false;
    using namespace std::chrono;
    year_month ym = year(a) / month(unsigned(b));
    first = sys_days(ym / 1);
    next = sys_days((ym + months(1)) / 1);
    return true;
}

std::string date_text(std::chrono::sys_days d)
{
    std::chrono::year_month_day ymd(d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()));
    return buf;
}

// Local time of midnight starting day d, as seconds since 1970.
long long local_midnight(std::chrono::sys_days d)
{
    std::chrono::year_month_day ymd(d);
    std::tm tm{};
    tm.tm_year = int(ymd.year()) - 1900;
    tm.tm_mon = int(unsigned(ymd.month())) - 1;
    tm.tm_mday = int(unsigned(ymd.day()));
    tm.tm_isdst = -1;
    return static_cast<long long>(std::mktime(&tm));
}

// Loads the date bookkeeping of worklog name: from its last stored sample
// when it has one, else the local date of the name's time.
int load_worklog_dates(const char *name)
{
    worklog_dates d;
    d.name = name;
    d.date = local_date_of(static_cast<std::time_t>(std::atoll(name)));
    // name holds ten digits only: safe in the statement text.
    std::string sql = std::string("SELECT sample_date, TIME_TO_SEC(time_of_day) FROM samples WHERE worklog='") +
                      name + "' ORDER BY id DESC LIMIT 1";
    if (run_text(sql) != 0)
        return 1;
    result_ptr res(mysql_store_result(db.conn));
    if (!res)
        return 1;
    if (MYSQL_ROW row = mysql_fetch_row(res.get()); row != nullptr && row[0] && row[1]) {
        int y = 0;
        unsigned m = 0, dd = 0;
        if (std::sscanf(row[0], "%d-%u-%u", &y, &m, &dd) != 3)
            return 1;
        using namespace std::chrono;
        d.date = sys_days(year(y) / month(m) / day(dd));
        d.have_previous = true;
        d.previous_second = std::atoi(row[1]);
    }
    db.dates = d;
    return 0;
}

int prepare_sample_insert()
{
    static const char sql[] =
        "INSERT INTO samples (production_group, worklog, sample_date, time_of_day, workstation, input)"
        " VALUES (?, ?, ?, ?, ?, ?)";
    stmt_ptr stmt(mysql_stmt_init(db.conn));
    if (!stmt || mysql_stmt_prepare(stmt.get(), sql, sizeof sql - 1) != 0)
        return 1;
    db.insert_sample = std::move(stmt);
    return 0;
}

int quiet_iniparser(const char *, ...)
{
    return 0;
}

void close_connection()
{
    drop_pending();
    db.insert_sample.reset();
    db.dates = worklog_dates{};
    if (db.conn != nullptr) {
        if (db.txn == txn_kind::worklog)
            mysql_commit(db.conn);
        mysql_close(db.conn);
        db.conn = nullptr;
    }
    db.txn = txn_kind::none;
}

}  // namespace

TQdb_cfg *make_TQdb_cfg(const char *path)
{
    if (path == nullptr)
        return nullptr;
    // iniparser reports an unreadable or malformed file on stderr; the
    // programs have their own fixed message for it, so it stays quiet here.
    iniparser_set_error_callback(quiet_iniparser);
    dictionary *dict = iniparser_load(path);
    iniparser_set_error_callback(nullptr);
    if (dict == nullptr)
        return nullptr;
    auto get = [dict](const char *key) {
        const char *v = iniparser_getstring(dict, key, nullptr);
        return v ? std::string(v) : std::string();
    };
    auto cfg = std::make_unique<TQdb_cfg>();
    cfg->host = get("database:host");
    cfg->port = unsigned(iniparser_getint(dict, "database:port", 0));
    cfg->socket = get("database:socket");
    cfg->user = get("database:user");
    cfg->password = get("database:password");
    cfg->name = get("database:name");
    iniparser_freedict(dict);
    if (cfg->name.empty() || cfg->user.empty())
        return nullptr;
    all_cfgs.push_back(std::move(cfg));
    return all_cfgs.back().get();
}

int TQdb_init(TQdb_cfg *cfg)
{
    close_connection();
    if (cfg == nullptr)
        return 1;
    db.library_started = true;
    db.conn = mysql_init(nullptr);
    if (db.conn == nullptr)
        return 1;
    unsigned timeout = 10;
    mysql_options(db.conn, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    mysql_options(db.conn, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    const char *host = cfg->host.empty() ? nullptr : cfg->host.c_str();
    const char *sock = cfg->socket.empty() ? nullptr : cfg->socket.c_str();
    if (mysql_real_connect(db.conn, host, cfg->user.c_str(), cfg->password.c_str(), cfg->name.c_str(),
                           cfg->port, sock, 0) == nullptr) {
        close_connection();
        return 1;
    }
    // A known session regardless of the server's defaults: strict checks so
    // that a bad value is an error, never a silent truncation.
    if (run_text("SET SESSION sql_mode='STRICT_ALL_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,"
                 "ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION', autocommit=1") != 0 ||
        prepare_sample_insert() != 0) {
        close_connection();
        return 1;
    }
    return 0;
}

int TQdb_reset_connection(TQdb_cfg *)
{
    drop_pending();
    if (db.conn == nullptr)
        return 1;
    int rc = end_worklog_txn();
    if (mysql_ping(db.conn) != 0)
        return 1;
    return rc;
}

int TQdb_free()
{
    close_connection();
    if (db.library_started) {
        mysql_library_end();
        db.library_started = false;
    }
    return 0;
}

int TQdb_begin()
{
    if (begin_call() != 0 || db.txn != txn_kind::none)
        return 1;
    if (run_text("START TRANSACTION") != 0)
        return 1;
    db.txn = txn_kind::explicit_;
    return 0;
}

int TQdb_commit()
{
    if (begin_call() != 0 || db.txn != txn_kind::explicit_)
        return 1;
    db.txn = txn_kind::none;
    return mysql_commit(db.conn) == 0 ? 0 : 1;
}

int TQdb_rollback()
{
    drop_pending();
    if (db.conn == nullptr || db.txn == txn_kind::none)
        return 1;
    db.txn = txn_kind::none;
    return mysql_rollback(db.conn) == 0 ? 0 : 1;
}

MYSQL_RES *TQdb_store_result()
{
    MYSQL_RES *res = db.pending;
    db.pending = nullptr;
    if (res == nullptr && db.conn != nullptr &&
        run_text("SELECT 1 FROM DUAL WHERE FALSE") == 0)
        res = mysql_store_result(db.conn);
    return res;
}

// ---- queries ----------------------------------------------------------------

int TQdb_get_workers()
{
    return run_query("SELECT first_name, second_name FROM workers ORDER BY id");
}

int TQdb_get_work(const char *first, const char *second, const char *date)
{
    bool exists = false;
    std::string day;
    if (first == nullptr || second == nullptr || date == nullptr || begin_call() != 0 ||
        read_date(date, exists, day) != 0)
        return 1;
    if (!exists)
        return run_query("SELECT workstation, shift FROM shift_lines WHERE FALSE");
    return run_query("SELECT workstation, shift FROM shift_lines WHERE plan_date = '" + day +
                     "' AND first_name = " + quoted(first) + " AND second_name = " + quoted(second) +
                     " ORDER BY id");
}

int TQdb_get_input(const char *date, const char *from, const char *to, int code)
{
    tms t_from{}, t_to{};
    bool exists = false;
    std::string iso;
    if (date == nullptr || atotms2(from, &t_from) != 0 || atotms2(to, &t_to) != 0 || begin_call() != 0 ||
        read_date(date, exists, iso) != 0)
        return 1;
    if (!exists)
        return run_query("SELECT input, time_of_day FROM samples WHERE FALSE");
    auto hms = [](const tms &t) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "'%02u:%02u:%02u'", unsigned(t.hour), unsigned(t.minute),
                      unsigned(t.second));
        return std::string(buf);
    };
    std::string day = "'" + iso + "'";
    std::string sql = "SELECT input, time_of_day FROM samples WHERE workstation = " + std::to_string(code);
    if (tms_to_sec(&t_to) < tms_to_sec(&t_from)) {
        sql += " AND ((sample_date = " + day + " AND time_of_day >= " + hms(t_from) + ") OR (sample_date = " +
               day + " + INTERVAL 1 DAY AND time_of_day < " + hms(t_to) +
               ")) ORDER BY sample_date, time_of_day, id";
    } else {
        sql += " AND sample_date = " + day + " AND time_of_day >= " + hms(t_from) + " AND time_of_day < " +
               hms(t_to) + " ORDER BY time_of_day, id";
    }
    return run_query(sql);
}

int TQdb_get_wls(int a, int b)
{
    std::chrono::sys_days first, next;
    if (!month_range(a, b, first, next))
        return run_query("SELECT name FROM worklogs WHERE FALSE");
    return run_query("SELECT name FROM worklogs WHERE name_time >= " + std::to_string(local_midnight(first)) +
                     " AND name_time < " + std::to_string(local_midnight(next)) + " ORDER BY name");
}

int TQdb_get_planed_shift(int a, int b)
{
    std::chrono::sys_days first, next;
    if (!month_range(a, b, first, next))
        return run_query("SELECT plan_date FROM shift_lines WHERE FALSE");
    return run_query("SELECT DISTINCT plan_date FROM shift_lines WHERE plan_date >= '" + date_text(first) +
                     "' AND plan_date < '" + date_text(next) + "' ORDER BY plan_date");
}

int TQdb_get_shift(const char *key)
{
    bool exists = false;
    std::string day;
    if (key == nullptr || begin_call() != 0 || read_date(key, exists, day) != 0)
        return 1;
    if (!exists)
        return run_query("SELECT first_name, second_name, workstation, shift FROM shift_lines WHERE FALSE");
    return run_query("SELECT first_name, second_name, workstation, shift FROM shift_lines"
                     " WHERE plan_date = '" + day + "' ORDER BY id");
}

// ---- changes ----------------------------------------------------------------

int TQdb_insert_worker(const char *first, const char *second)
{
    if (!valid_name_field(first) || !valid_name_field(second) || begin_call() != 0)
        return 1;
    unsigned long l1, l2;
    MYSQL_BIND b[2] = {bind_text(first, &l1), bind_text(second, &l2)};
    return run_change("INSERT INTO workers (first_name, second_name) VALUES (?, ?)", b);
}

int TQdb_delete_worker(const char *first, const char *second)
{
    if (first == nullptr || second == nullptr || begin_call() != 0)
        return 1;
    unsigned long l1, l2;
    MYSQL_BIND b[2] = {bind_text(first, &l1), bind_text(second, &l2)};
    unsigned long long n = 0;
    if (run_change("DELETE FROM workers WHERE first_name = ? AND second_name = ?", b, &n) != 0)
        return 1;
    return n > 0 ? 0 : 1;
}

int TQdb_insert_shift(const char *key, const char *text1, const char *text2, unsigned number1,
                      unsigned number2)
{
    bool exists = false;
    std::string day;
    if (key == nullptr || !valid_name_field(text1) || !valid_name_field(text2) || begin_call() != 0 ||
        read_date(key, exists, day) != 0 || !exists)
        return 1;
    unsigned long lk, l1, l2;
    MYSQL_BIND b[5] = {bind_text(day.c_str(), &lk), bind_text(text1, &l1), bind_text(text2, &l2),
                       bind_unsigned(&number1), bind_unsigned(&number2)};
    return run_change("INSERT INTO shift_lines (plan_date, first_name, second_name, workstation, shift)"
                      " VALUES (?, ?, ?, ?, ?)",
                      b);
}

int TQdb_delete_shift(const char *key)
{
    bool exists = false;
    std::string day;
    if (key == nullptr || begin_call() != 0 || read_date(key, exists, day) != 0)
        return 1;
    if (!exists)
        return 0;
    unsigned long lk;
    MYSQL_BIND b[1] = {bind_text(day.c_str(), &lk)};
    return run_change("DELETE FROM shift_lines WHERE plan_date = ?", b);
}

int TQdb_delete_alldata(const char *key)
{
    if (key == nullptr || begin_call() != 0)
        return 1;
    bool own_txn = db.txn == txn_kind::none;
    if (own_txn && run_text("START TRANSACTION") != 0)
        return 1;
    unsigned long lk;
    MYSQL_BIND b[1] = {bind_text(key, &lk)};
    unsigned long long registered = 0;
    int rc = run_change("DELETE FROM samples WHERE worklog = ?", b);
    if (rc == 0)
        rc = run_change("DELETE FROM worklogs WHERE name = ?", b, &registered);
    if (rc == 0 && registered == 0)
        rc = 1;
    if (own_txn) {
        if (rc == 0)
            rc = mysql_commit(db.conn) == 0 ? 0 : 1;
        else
            mysql_rollback(db.conn);
    }
    if (rc == 0 && db.dates.name == key)
        db.dates = worklog_dates{};
    return rc;
}

int TQdb_insert_wl(const char *name)
{
    if (!valid_worklog_name(name) || begin_call() != 0 || db.txn != txn_kind::none)
        return 1;
    if (run_text("START TRANSACTION") != 0)
        return 1;
    long long name_time = std::atoll(name);
    unsigned long ln;
    MYSQL_BIND b[2] = {bind_text(name, &ln), MYSQL_BIND{}};
    b[1].buffer_type = MYSQL_TYPE_LONGLONG;
    b[1].buffer = &name_time;
    if (run_change("INSERT INTO worklogs (name, name_time) VALUES (?, ?)", b) != 0) {
        mysql_rollback(db.conn);
        return 1;
    }
    db.txn = txn_kind::worklog;
    return 0;
}

int TQdb_insert_TQs_data(int group, const char *name, const TQs_data *s)
{
    drop_pending();
    if (db.conn == nullptr || !db.insert_sample || !valid_worklog_name(name) || s == nullptr)
        return 1;
    if (s->time.hour > 23 || s->time.minute > 59 || s->time.second > 59)
        return 1;
    if (db.dates.name != name && load_worklog_dates(name) != 0)
        return 1;

    int second_of_day = tms_to_sec(&s->time);
    std::chrono::sys_days date = db.dates.date;
    if (db.dates.have_previous && second_of_day < db.dates.previous_second)
        date += std::chrono::days(1);

    MYSQL_TIME d = to_mysql_date(date);
    MYSQL_TIME t{};
    t.hour = s->time.hour;
    t.minute = s->time.minute;
    t.second = s->time.second;
    t.time_type = MYSQL_TIMESTAMP_TIME;
    unsigned long ln = 10;
    unsigned code = s->code, input = s->input;
    MYSQL_BIND b[6]{};
    b[0].buffer_type = MYSQL_TYPE_LONG;
    b[0].buffer = &group;
    b[1].buffer_type = MYSQL_TYPE_STRING;
    b[1].buffer = const_cast<char *>(name);
    b[1].buffer_length = ln;
    b[1].length = &ln;
    b[2].buffer_type = MYSQL_TYPE_DATE;
    b[2].buffer = &d;
    b[3].buffer_type = MYSQL_TYPE_TIME;
    b[3].buffer = &t;
    b[4] = bind_unsigned(&code);
    b[5] = bind_unsigned(&input);
    if (mysql_stmt_bind_param(db.insert_sample.get(), b) != 0 ||
        mysql_stmt_execute(db.insert_sample.get()) != 0)
        return 1;
    db.dates.date = date;
    db.dates.have_previous = true;
    db.dates.previous_second = second_of_day;
    return 0;
}

// ---- file readers -----------------------------------------------------------

namespace {

std::uint32_t le32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Reads one 12-byte record. A short read (end of file, or a trailing
// fragment) leaves the end-of-file indicator set; so does a read error, so
// that callers looping until end of file always stop.
bool read_record(std::FILE *f, unsigned char rec[12])
{
    if (f == nullptr)
        return false;
    if (std::fread(rec, 1, 12, f) == 12)
        return true;
    if (!std::feof(f)) {
        std::fseek(f, 0, SEEK_END);
        std::fgetc(f);
    }
    return false;
}

}  // namespace

int TQs_data_fread(std::FILE *f, TQs_data *out)
{
    unsigned char rec[12];
    if (out == nullptr || !read_record(f, rec))
        return 1;
    out->time.hour = rec[0];
    out->time.minute = rec[1];
    out->time.second = rec[2];
    out->code = le32(rec + 4);
    out->input = le32(rec + 8);
    return 0;
}

int TQr_err_fread(std::FILE *f, TQr_err *out)
{
    unsigned char rec[12];
    if (out == nullptr || !read_record(f, rec))
        return 1;
    out->time = static_cast<std::time_t>(le32(rec));
    out->code = static_cast<std::int32_t>(le32(rec + 4));
    out->value = le32(rec + 8);
    return 0;
}

const char *TQr_err_to_str(int code)
{
    switch (code) {
    case 1:
        return "Przekroczony czas odpowiedzi modułu wejść";
    case 2:
        return "Błąd sumy kontrolnej CRC";
    case 3:
        return "Przepełnienie bufora wejść stanowiska";
    default:
        return "Nieznany błąd";
    }
}

}  // namespace tq
