#include "view.h"

#include "stream.h"

#include <curses.h>
#include <poll.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace tq {

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

constexpr int table_top = 5;
constexpr int label_column = 8;
constexpr int cell_column = 13;
constexpr int cell_step = 7;
constexpr int log_top = 16;
constexpr int log_column = 3;

constexpr int window_top = 6;
constexpr int window_column = 10;
constexpr int window_text_column = 12;
const char *const window_head = "+--(TQrunner initialization)------------------------+";
const char *const window_side = "|                                                   |";
const char *const window_foot = "+---------------------------------------------------+";

constexpr int dialog_top = 10;
constexpr int dialog_column = 10;
constexpr int path_column = 21;
const char *const dialog_head = "+--(Save scores)------------------------------+";
const char *const dialog_path = "| Path:                                       |";
const char *const dialog_foot = "+---------------------------------------------+";

constexpr int key_escape = 27;

// Switches the drawing colour (pairs are not mixed: the old one goes off).
void use_pair(short pair)
{
    wattr_off(stdscr, A_COLOR, nullptr);
    wattr_on(stdscr, COLOR_PAIR(pair), nullptr);
}

void use_row_pair(int index) { use_pair(index % 2 ? pair_odd : pair_even); }

// Waits for a key on the terminal without spinning; ncurses' own buffer is
// looked at first by the caller's wgetch.
void wait_for_key()
{
    struct pollfd fd {0, POLLIN, 0};
    poll(&fd, 1, 100);
}

}  // namespace

void init_colours()
{
    start_color();
    init_pair(pair_even, COLOR_GREEN, COLOR_BLACK);
    init_pair(pair_odd, COLOR_YELLOW, COLOR_BLACK);
    init_pair(pair_highlight, COLOR_RED, COLOR_WHITE);
    init_pair(pair_unused, COLOR_BLUE, COLOR_BLACK);
    init_pair(pair_frame, COLOR_WHITE, COLOR_BLACK);
}

int load_background(const char *path, const char *header)
{
    file_ptr f(std::fopen(path, "r"));
    use_pair(pair_frame);
    if (!f)
        return -1;
    char line[line_size];
    int n = 0;
    while (std::fgets(line, sizeof line, f.get()) != nullptr)
        mvprintw(n++, 1, "%s", line);
    mvprintw(1, 3, "%s", header);
    return n;
}

void refresh_scores(const std::uint32_t *table, int /*rows*/, int categories, int offset, int row,
                    int category)
{
    for (int i = 0; i < s_view; ++i) {
        int r = offset + i;
        use_row_pair(r);
        mvprintw(table_top + i, label_column, "%2u", unsigned(r + 1));
        for (int j = 0; j < categories; ++j) {
            bool lit = r == row && j == category;
            if (lit)
                use_pair(pair_highlight);
            mvprintw(table_top + i, cell_column + cell_step * j, "%4u",
                     unsigned(table[r * categories + j]));
            if (lit)
                use_row_pair(r);
        }
    }
}

void add_log(const char *line, char (*log)[log_line], int entries)
{
    for (int k = entries - 1; k > 0; --k)
        std::memcpy(log[k], log[k - 1], log_line);
    std::snprintf(log[0], log_line, "%s", line);
}

void refresh_log(const char (*log)[log_line], int offset)
{
    for (int i = 0; i < l_view; ++i) {
        int k = offset + i;
        use_row_pair(k);
        mvprintw(log_top + i, log_column, "%-.50s", log[k]);
    }
}

char *load_start_line(char *buffer, const char *path)
{
    static file_ptr f;
    if (!f) {
        f.reset(std::fopen(path, "r"));
        if (!f)
            return nullptr;
    }
    if (std::fgets(buffer, line_size, f.get()) != nullptr)
        return buffer;
    f.reset();
    return nullptr;
}

void swin(const char *path)
{
    use_pair(pair_frame);
    mvprintw(window_top, window_column, "%s", window_head);
    char line[line_size];
    int k = 0;
    while (load_start_line(line, path) != nullptr) {
        ++k;
        mvprintw(window_top + k, window_column, "%s", window_side);
        mvprintw(window_top + k, window_text_column, "%-.30s", line);
    }
    mvprintw(window_top + k + 1, window_column, "%s", window_foot);
    // Keys other than e are read and dropped.
    for (;;) {
        int key = wgetch(stdscr);
        if (key == 'e')
            return;
        if (key == ERR)
            wait_for_key();
    }
}

char *get_path(char *buffer)
{
    use_pair(pair_frame);
    mvprintw(dialog_top, dialog_column, "%s", dialog_head);
    mvprintw(dialog_top + 1, dialog_column, "%s", dialog_path);
    mvprintw(dialog_top + 2, dialog_column, "%s", dialog_foot);
    wmove(stdscr, dialog_top + 1, path_column);
    wrefresh(stdscr);
    // Echo is done here rather than by curses, so that a refused key leaves
    // no trace on the screen.
    nl();
    std::size_t n = 0;
    for (;;) {
        int key = wgetch(stdscr);
        if (key == ERR) {
            wait_for_key();
            continue;
        }
        if (key == key_escape) {
            nonl();
            return nullptr;
        }
        if (key == '\n')
            break;
        if (n >= line_size - 1 || key > 0xff) {
            beep();
            continue;
        }
        buffer[n++] = static_cast<char>(key);
        waddch(stdscr, static_cast<chtype>(static_cast<unsigned char>(key)));
        wrefresh(stdscr);
    }
    nonl();
    buffer[n] = '\0';
    return buffer;
}

}  // namespace tq
