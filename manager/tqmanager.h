// tqmanager: one administration command per run on the database of
// "tqdb.ini" (current directory). Results go to standard output, messages to
// standard error; every function returns the run's status:
//   0 done, 1 unusable "tqdb.ini", 2 database failure, 3 wrong arguments or
//   input, 4 unknown option word.
#pragma once

#include "database_lib.h"

// The run's database configuration handle (never released).
extern tq::TQdb_cfg *db_cfg;

// Registers free_cfg_and_TQdb as the exit handler, then runs the command of
// argv; the result is the exit status.
int tqmanager_main(int argc, char **argv);

// 0, or 1 (no handle) or 2 (TQdb_init failed), after printing the message.
int init_cfg_and_TQdb();
// Exit handler: TQdb_free, then flush standard output.
void free_cfg_and_TQdb();

// The commands, named like their option words.
int get_wls(int a, int b);
int insert_worker();
int get_workers();
int delete_worker(const char *first, const char *second);
int insert_shift(const char *key);
int get_shift(const char *key);
int delete_alldata(const char *key);
