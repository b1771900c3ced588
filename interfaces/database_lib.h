// Database access library libtqmanage: the configuration handle made from
// "tqdb.ini", the queries and changes of the management programs, and the
// readers of the worklog and error-log files (formats: docs/formats.md).
//
// Contract:
// - Every query and change returns 0 on success, non-zero on any failure
//   (the server gone, a statement refused, a bad argument); none throws.
// - TQdb_store_result() is called at once after a query that returned 0 and
//   gives that query's whole result set: never null, possibly empty. It stays
//   readable across later queries and resets; the caller releases it with
//   mysql_free_result after its last row. Every column read by the programs
//   holds text (no SQL NULL).
// - TQdb_free() is safe in every state, also before or after a failed
//   TQdb_init, and more than once.
// - No text argument is ever spliced into SQL. Queries run as text
//   statements whose texts are escaped with mysql_real_escape_string and
//   quoted (numbers are formatted by the library), so that their rows can be
//   taken whole with mysql_store_result; changes run as server-side prepared
//   statements with bound parameters.
// - Transactions: TQdb_insert_wl opens one transaction for the worklog it
//   registers; the following TQdb_insert_TQs_data calls store their samples
//   in it, each one executed by the server at its own call (a failed sample
//   is reported at once and leaves the others in place). The transaction is
//   committed by the next call of any other function of this library
//   (another TQdb_insert_wl included), by TQdb_reset_connection and by
//   TQdb_free. A process killed half-way thus leaves neither the name nor
//   any of its samples in the database. TQdb_begin opens an explicit
//   transaction instead, which only TQdb_commit makes lasting; TQdb_rollback,
//   TQdb_free and a lost connection drop it.
// - The server is reached through the settings of "tqdb.ini" (the unix socket
//   when host is localhost and socket is set); the session uses utf8mb4, so
//   texts are stored and returned byte for byte. The library never
//   reconnects on its own: once the connection is lost every call fails.
//
// Everything lives in namespace tq, like the station libraries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include <mysql.h>

#include "station_libs.h"

namespace tq {

// Opaque configuration handle; made once per run, never released.
struct TQdb_cfg;

// One error-log record.
struct TQr_err {
    std::time_t time;     // seconds since 1970, shown in local time
    std::int32_t code;    // error code
    std::uint32_t value;  // value attached to the error
};

// Reads the ini file at path (section database: host, port, socket, user,
// password, name); null when it cannot be loaded or lacks name or user.
TQdb_cfg *make_TQdb_cfg(const char *path);
// Connects; 0 when the database is ready for queries.
int TQdb_init(TQdb_cfg *cfg);
// Readies the connection for the next query: commits a worklog's
// transaction and drops a result that was never taken. 0 when the
// connection still answers; result may be ignored.
int TQdb_reset_connection(TQdb_cfg *cfg);
// Commits a worklog's transaction, closes the connection and releases the
// client library (mysql_library_end); result ignored.
int TQdb_free();
// Explicit transaction around several changes (tqmanager's plan
// replacement); 0 on success.
int TQdb_begin();
int TQdb_commit();
int TQdb_rollback();
// The result set of the query that just returned 0.
MYSQL_RES *TQdb_store_result();

// Queries (columns as the callers read them):
// workers: 0 first text, 1 second text, in the order they were added.
int TQdb_get_workers();
// (workstation, shift) of that worker in that date's plan, insertion order.
int TQdb_get_work(const char *first, const char *second, const char *date);
// 0 input bits (decimal), 1 time of day "HH:MM:SS"; samples of workstation
// code on date with from <= time < to, in time order (ties in import order).
// When to < from: from..end of date, then the next day before to.
// A date that does not exist gives an empty result.
int TQdb_get_input(const char *date, const char *from, const char *to, int code);
// 0: names of the worklogs whose name time (local time) falls in month b of
// year a, ascending. A month outside 1..12 or a year outside 1000..9999 gives
// an empty result.
int TQdb_get_wls(int a, int b);
// 0: the distinct dates (YYYY-MM-DD) of month b of year a that have a plan,
// ascending; the same ranges as TQdb_get_wls.
int TQdb_get_planed_shift(int a, int b);
// 0..3: first text, second text, workstation, shift of each line of the
// plan of key (a date), in insertion order.
int TQdb_get_shift(const char *key);

// Changes:
// A worker exists once; inserting the same pair again fails. Each text is
// 1 to 39 bytes.
int TQdb_insert_worker(const char *first, const char *second);
// Fails when no such worker exists.
int TQdb_delete_worker(const char *first, const char *second);
// Appends one line (first text, second text, workstation, shift) to the plan
// of key, a date in any form MariaDB reads (2007-5-3, 2007-05-03); fails for
// a date that does not exist.
int TQdb_insert_shift(const char *key, const char *text1, const char *text2,
                      unsigned number1, unsigned number2);
// Removes every line of the plan of key; 0 also when there was none.
int TQdb_delete_shift(const char *key);
// Removes the registration of worklog key and every sample imported from it,
// in one transaction, so that it can be imported again; fails when key is not
// registered.
int TQdb_delete_alldata(const char *key);
// Registers a worklog name (10 decimal digits: seconds since 1970) and opens
// its transaction; fails when already registered.
int TQdb_insert_wl(const char *name);
// Stores one sample of worklog name for production group group; its date is
// the local date of the name's time, advanced one day each time a sample's
// time of day goes back against the previous sample of the same worklog.
// A time of day that is no valid time (hour > 23, minute or second > 59)
// fails, as does a name that is not registered.
int TQdb_insert_TQs_data(int group, const char *name, const TQs_data *s);

// File readers:
// 0 when one 12-byte worklog record was read into out, non-zero otherwise
// (at the end of the file the stream's end-of-file indicator is set).
int TQs_data_fread(std::FILE *f, TQs_data *out);
// One 12-byte error-log record into out; a read that sets end-of-file
// yields no record. 0 when a record was read.
int TQr_err_fread(std::FILE *f, TQr_err *out);
// Constant Polish text for an error code of the runner's error log (1 slave
// timeout, 2 CRC error, 3 input overrun; "Nieznany błąd" for any other);
// never released.
const char *TQr_err_to_str(int code);

}  // namespace tq
