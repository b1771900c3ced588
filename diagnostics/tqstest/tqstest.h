// tqstest: sets up the station hardware and the slave through libtqwork and
// polls the slave once a second, printing each result on standard output.
#pragma once

// The whole program. Returns 1 without a slave argument, 2 when the hardware
// set-up fails, 3 when the slave set-up fails; otherwise polls without end.
int tqstest_run(int argc, char **argv);
