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
// - No text argument is ever spliced into SQL.
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
// Readies the connection for the next query; result may be ignored.
int TQdb_reset_connection(TQdb_cfg *cfg);
// Closes the connection and releases the library's state; result ignored.
int TQdb_free();
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
// 0: names of the worklogs whose name time falls in month b of year a.
int TQdb_get_wls(int a, int b);
// 0: the distinct dates (YYYY-MM-DD) of month b of year a that have a plan.
int TQdb_get_planed_shift(int a, int b);
// 0..3: first text, second text, workstation, shift of each line of the
// plan of key (a date), in insertion order.
int TQdb_get_shift(const char *key);

// Changes:
int TQdb_insert_worker(const char *first, const char *second);
int TQdb_delete_worker(const char *first, const char *second);
int TQdb_insert_shift(const char *key, const char *text1, const char *text2,
                      unsigned number1, unsigned number2);
int TQdb_delete_shift(const char *key);
// Removes the registration of worklog key and every sample imported from it.
int TQdb_delete_alldata(const char *key);
// Registers a worklog name (10 characters); fails when already registered.
int TQdb_insert_wl(const char *name);
// Stores one sample of worklog name for production group group; its date is
// the local date of the name's time, advanced one day each time a sample's
// time of day goes back against the previous sample of the same worklog.
int TQdb_insert_TQs_data(int group, const char *name, const TQs_data *s);

// File readers:
// 0 when one 12-byte worklog record was read into out, non-zero otherwise
// (at the end of the file the stream's end-of-file indicator is set).
int TQs_data_fread(std::FILE *f, TQs_data *out);
// One 12-byte error-log record into out; a read that sets end-of-file
// yields no record. 0 when a record was read.
int TQr_err_fread(std::FILE *f, TQr_err *out);
// Constant text for an error code; never released.
const char *TQr_err_to_str(int code);

}  // namespace tq
