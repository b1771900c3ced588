// tms_check: exercises the time-of-day functions of libkelstdc and prints one
// verdict line per check on standard output.
#pragma once

// The whole program; always 0.
int tms_check_run();
