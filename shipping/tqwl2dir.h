// tqwl2dir: moves the worklogs named in the station list (working directory)
// into a transfer directory, between the hook scripts "pre-trans.sh" and
// "post-trans.sh". Every path of the working directory is relative to the
// current directory. Statuses, each one the exit status of the program:
//   0 done (also when a worklog copy failed: the rest stays listed),
//   1 usage, 3 the transfer list cannot be created, 5 the copy "oldwl.set"
//   of the station list cannot be read, 7 the station list cannot be
//   rewritten, 11 the marker cannot be created, 13 a hook failed,
//   17 the directory already holds a transfer list.
#pragma once

namespace tq {

// The whole program: argument test, hooks, transfer; returns the exit status.
int tqwl2dir_main(int argc, char **argv);

// One transfer into dir (any length); 0, 3, 5, 7, 11 or 17.
int make_transfer(const char *dir);

// Runs "sh script dir" with dir as one argument of its own (no shell line is
// composed); 0 when the shell exited normally with code 0.
int run_hook(const char *script, const char *dir);

// Repairs the station list after a run that was killed while "oldwl.set"
// existed: the list becomes the lines of "oldwl.set" followed by the lines
// of the current list that "oldwl.set" lacks, so no name is lost. 0 when
// nothing was left or the list was repaired, non-zero when it could not be.
int recover_station_list();

}  // namespace tq
