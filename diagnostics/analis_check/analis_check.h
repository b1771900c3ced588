// analis_check: runs the classifier of libtqanalis over a fixed sample
// sequence and prints one verdict line per check on standard output.
#pragma once

// The whole program; always 0.
int analis_check_run();
