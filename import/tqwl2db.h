// tqwl2db: loads one transfer directory (docs/transfer.md) into the
// database. Messages go to standard error, the imported names and the error
// log to standard output. Exit statuses: 0 imported without error,
// 1 configuration unusable, 2 database start-up failed, 3 wrong argument
// count, 5 the import met an error.
#pragma once

#include <iniparser/iniparser.h>

#include "database_lib.h"

namespace tq {

// Settings of the run, filled by init_cfg_and_TQdb, released at exit.
struct tqwl2db_cfg {
    dictionary *dict;       // "tqwl2db.ini"
    const char *trans_dir;  // "main:trans_dir", owned by dict
    TQdb_cfg *db_cfg;       // from "tqdb.ini", left to the library
};
extern tqwl2db_cfg cfg;

// The whole program; registers free_cfg_and_TQdb at exit before anything
// else, so call it once per process. Returns the exit status.
int tqwl2db_main(int argc, char **argv);

// 0 ready, 1 configuration incomplete, 2 database start-up failed.
int init_cfg_and_TQdb();
// Exit handler: frees dict, releases the database library, flushes stdout.
void free_cfg_and_TQdb();

// Imports the transfer directory dir (any length) for production group
// group; a non-zero remove_flag removes dir at the end when it is empty.
// 0 when nothing went wrong, else 5.
int make_trans(const char *dir, int remove_flag, int group);

// Imports the records of one opened worklog whose digest matched; adds the
// failed inserts to *failures and reports each. 0, or 5 after any error.
int import_records(std::FILE *worklog, const char *name, const char *path, int group, int *failures);

}  // namespace tq
