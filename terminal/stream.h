// The runner's stream: the header, the start-up section and event lines.
//
// Lines are read with a 100-character buffer (at most 99 characters, newline
// included when it fitted); longer lines arrive as pieces, each a line of its
// own. Nothing here draws or keeps program state.
#pragma once

#include "station_libs.h"

#include <cstdio>
#include <sys/types.h>

namespace tq {

constexpr int line_size = 100;         // 99 characters and the terminator
constexpr int start_path_size = 20;    // tqr_start_path

extern const char *const proclog_marker;  // "Proclog output:\n"
extern const char *const end_line;        // "TQrunner zakonczyl prace\n"

// The runner's pid from a header line "TQrunner vr:%s pid:%u", or 0 when the
// line is no header or its pid cannot be a process of its own (0, negative
// or beyond pid_t): such a pid is never signalled.
pid_t header_pid(const char *header);

// Copies the start-up lines of stream (positioned after the header) into a
// fresh private temporary file whose name goes into path (20 characters;
// empty when no file could be made; the lines are then only dropped).
// Gives path once the marker line was read (the marker is not copied);
// null when the end line came first (it is copied as the last line) or the
// stream ended or failed before the marker.
char *save_start(char path[start_path_size], std::FILE *stream);

// Parses one event line. Gives the sample, held in a record owned here and
// overwritten by the next call, or null when the line is no sample: fewer than
// six fields, a type word other than "DATA:", or a type word over 23 or an
// input word over 31 characters.
const TQs_data *get_data(const char *line);

}  // namespace tq
