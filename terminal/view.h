// The screen of the station terminal: background and header, the score
// table and event log views, the start-up window and the save dialog.
//
// Everything draws on stdscr at the fixed positions of the layout (rows and
// columns from 0) and never refreshes the screen, except the two modal
// services swin and get_path, which refresh while they wait for keys. Only
// the main thread calls these.
#pragma once

#include <cstdint>

namespace tq {

constexpr int s_view = 10;     // score table rows visible at once
constexpr int l_view = 7;      // log entries visible at once
constexpr int log_numb = 20;   // entries in the event log
constexpr int log_line = 100;  // one entry: 99 characters and the terminator

// Colour pairs, made by init_colours.
enum colour_pair : short {
    pair_even = 1,       // green on black
    pair_odd = 2,        // yellow on black
    pair_highlight = 3,  // red on white
    pair_unused = 4,     // blue on black
    pair_frame = 5,      // white on black
};
void init_colours();

// Draws the background file line by line from row 0, column 1, then the
// header line at row 1, column 3. The number of lines drawn, or -1 when the
// file cannot be opened (nothing drawn).
int load_background(const char *path, const char *header);

// Draws s_view rows of table (rows x categories counts, row-major) from
// offset on, cell (row, category) highlighted; -1, -1: no cell.
void refresh_scores(const std::uint32_t *table, int rows, int categories, int offset, int row,
                    int category);

// Pushes line in as entry 0; the oldest entry is lost. At most 99
// characters of line are kept.
void add_log(const char *line, char (*log)[log_line], int entries);

// Draws l_view entries from offset on, each cut to 50 characters.
void refresh_log(const char (*log)[log_line], int offset);

// Next line of the start-up file at path into buffer (100 characters), or
// null after the last line; the file stays open between calls and is
// closed at null, so the next call starts again at the first line.
char *load_start_line(char *buffer, const char *path);

// The start-up window over the screen; returns when e is pressed. An
// unreadable start-up file gives the empty window.
void swin(const char *path);

// The save dialog. Gives buffer (100 characters) holding the typed path, at
// most 99 characters, or null when ESC cancelled it. Keys beyond the 99th
// character are refused with a beep.
char *get_path(char *buffer);

}  // namespace tq
