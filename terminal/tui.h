// tqrunner_tui: the station terminal. Reads the runner's stream from the
// path given as the only argument, counts its samples per workstation and
// category, shows the table and the latest lines, and answers the operator's
// keys. Prints nothing; the exit status is the report:
//   0 the main loop ended (x, X, SIGTERM or the runner's end line),
//   1 the SIGTERM handler cannot be installed or not exactly one argument,
//   2 the stream or the background file "tqrtui_inter.txt" cannot be opened.
#pragma once

namespace tq {

int tqrunner_tui(int argc, char **argv);

}  // namespace tq
