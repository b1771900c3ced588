// The main loop between the stream and the screen, the reader thread that
// hands one line over at a time, and the key table.
#include "tui.h"

#include "scores.h"
#include "station_libs.h"
#include "stream.h"
#include "view.h"

#include <curses.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tq {

namespace {

constexpr int score_rows = 16;
const char *const background_file = "tqrtui_inter.txt";

// Longest idle wait of one turn, in milliseconds. Keys, lines and SIGTERM
// end the wait at once, so the bound sets only the idle cost: each timed-out
// wait costs some 30 us here, 1 ms gave 2.4 % of a core, 3 ms about 1 %.
constexpr int idle_wait_ms = 3;

// ---- shared with the reader thread and the SIGTERM handler ----------------

volatile std::sig_atomic_t running = 1;
std::FILE *tqr_pipe = nullptr;
std::atomic<int> nl_pipe{0};
std::atomic<int> pipe_ended{0};  // the reader's read gave no line
char line_pipe[line_size];
char tqr_start_path[start_path_size];
int wake_pipe[2] = {-1, -1};  // the reader's wake-up of an idle main loop

void term_hand(int) { running = 0; }

void *read_pipe(void *)
{
    while (nl_pipe.load())
        usleep(250);
    if (std::fgets(line_pipe, line_size, tqr_pipe) != nullptr)
        nl_pipe.store(1);
    else
        pipe_ended.store(1);  // end of stream or read error: nothing to hand over
    char byte = 1;
    ssize_t ignored = write(wake_pipe[1], &byte, 1);
    (void)ignored;
    return nullptr;
}

// ---- state the main loop holds ------------------------------------------------

struct terminal {
    pid_t runner_pid = 0;  // 0: unknown, never signalled
    char header[line_size] = "";
    int categories = 0;
    std::vector<std::uint32_t> scores;
    char event_log[log_numb][log_line] = {};
    int s_off = 0;
    int l_off = 0;
    int last_row = -1;
    int last_cat = -1;
    pthread_t reader{};
    bool reader_started = false;
    bool reading = true;  // false once the stream has nothing more to give
    char path[line_size] = "";
    char dump_name[start_path_size] = "";
};

void redraw_scores(const terminal &t)
{
    refresh_scores(t.scores.data(), score_rows, t.categories, t.s_off, t.last_row, t.last_cat);
}

void redraw_log(const terminal &t) { refresh_log(t.event_log, t.l_off); }

// ---- keys --------------------------------------------------------------------------

enum class after_key { nothing, refused, quit };

after_key scores_down(terminal &t)
{
    if (s_view + t.s_off + 1 > score_rows)
        return after_key::refused;
    ++t.s_off;
    redraw_scores(t);
    return after_key::nothing;
}

after_key scores_up(terminal &t)
{
    if (t.s_off <= 0)
        return after_key::refused;
    --t.s_off;
    redraw_scores(t);
    return after_key::nothing;
}

after_key log_back(terminal &t)
{
    if (l_view + t.l_off + 1 > log_numb)
        return after_key::refused;
    ++t.l_off;
    redraw_log(t);
    return after_key::nothing;
}

after_key log_forward(terminal &t)
{
    if (t.l_off <= 0)
        return after_key::refused;
    --t.l_off;
    redraw_log(t);
    return after_key::nothing;
}

// kill(2) on the pid of the header; an unknown pid is never signalled.
bool signal_runner(const terminal &t, int sig)
{
    if (t.runner_pid <= 0)
        return false;
    kill(t.runner_pid, sig);
    return true;
}

after_key runner_usr1(terminal &t)
{
    return signal_runner(t, SIGUSR1) ? after_key::nothing : after_key::refused;
}

after_key runner_term(terminal &t)
{
    signal_runner(t, SIGTERM);
    return after_key::quit;
}

after_key runner_kill(terminal &t)
{
    signal_runner(t, SIGKILL);
    return after_key::quit;
}

// A private name for a screen dump; the file is removed after the restore.
bool make_dump_name(terminal &t)
{
    std::snprintf(t.dump_name, sizeof t.dump_name, "/tmp/tqrXXXXXX");
    int fd = mkstemp(t.dump_name);
    if (fd < 0) {
        t.dump_name[0] = '\0';
        return false;
    }
    close(fd);
    return true;
}

void restore_screen(terminal &t)
{
    if (t.dump_name[0] != '\0') {
        scr_restore(t.dump_name);
        std::remove(t.dump_name);
        t.dump_name[0] = '\0';
    }
}

after_key start_window(terminal &t)
{
    make_dump_name(t);
    wrefresh(stdscr);
    if (t.dump_name[0] != '\0')
        scr_dump(t.dump_name);
    swin(tqr_start_path);
    wrefresh(stdscr);
    wclear(stdscr);
    wrefresh(stdscr);
    restore_screen(t);
    return after_key::nothing;
}

after_key save_dialog(terminal &t)
{
    make_dump_name(t);
    wrefresh(stdscr);
    if (t.dump_name[0] != '\0')
        scr_dump(t.dump_name);
    char *path = get_path(t.path);
    wclear(stdscr);
    wrefresh(stdscr);
    restore_screen(t);
    if (path != nullptr)
        save_scores(t.scores.data(), score_rows, t.categories, path);
    return after_key::nothing;
}

struct key_binding {
    int key;
    after_key (*action)(terminal &);
};

// Keys are case-sensitive; any other key does nothing.
constexpr key_binding key_table[] = {
    {'s', scores_down}, {'w', scores_up},    {'S', log_back},
    {'W', log_forward}, {'z', runner_usr1},  {'x', runner_term},
    {'X', runner_kill}, {'e', start_window}, {'q', save_dialog},
};

void act_on_key(terminal &t, int key)
{
    for (const key_binding &b : key_table) {
        if (b.key != key)
            continue;
        switch (b.action(t)) {
        case after_key::refused:
            beep();
            break;
        case after_key::quit:
            running = 0;
            break;
        case after_key::nothing:
            break;
        }
        return;
    }
}

// ---- the reader ----------------------------------------------------------------------

// Starts a reader with SIGTERM blocked, so that the signal always reaches
// the main thread and never cuts a read short.
void start_reader(terminal &t)
{
    sigset_t term, old;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, &old);
    t.reader_started = pthread_create(&t.reader, nullptr, read_pipe, nullptr) == 0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// The reader may be blocked in a read of the stream: cancelled, never
// waited for.
void stop_reader(terminal &t)
{
    if (!t.reader_started)
        return;
    pthread_cancel(t.reader);
    pthread_join(t.reader, nullptr);
    t.reader_started = false;
}

void count_sample(terminal &t, const TQs_data &s)
{
    // Samples outside the table are logged by the caller, never counted.
    if (s.code < 1 || s.code > score_rows)
        return;
    int category = TQs_data_analis(&s);
    if (category < 0 || category >= t.categories)
        return;
    t.last_row = int(s.code) - 1;
    t.last_cat = category;
    ++t.scores[std::size_t(t.last_row) * std::size_t(t.categories) + std::size_t(category)];
    redraw_scores(t);
}

// Takes the waiting line; true when it was the end line.
bool take_line(terminal &t)
{
    pthread_join(t.reader, nullptr);
    t.reader_started = false;
    if (const TQs_data *s = get_data(line_pipe))
        count_sample(t, *s);
    add_log(line_pipe, t.event_log, log_numb);
    redraw_log(t);
    bool last = std::strcmp(line_pipe, end_line) == 0;
    nl_pipe.store(0);
    if (!last)
        start_reader(t);
    return last;
}

void drain_wake_pipe()
{
    char bytes[64];
    while (read(wake_pipe[0], bytes, sizeof bytes) > 0) {
    }
}

// Waits until a key, a line or the stream's end, at most idle_wait_ms.
// True when the terminal has input waiting (or may have: a signal came).
bool wait_idle()
{
    struct pollfd fds[2] = {{0, POLLIN, 0}, {wake_pipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, idle_wait_ms);
    if (ready < 0)
        return true;
    if (ready > 0 && (fds[1].revents & POLLIN))
        drain_wake_pipe();
    return ready > 0 && fds[0].revents != 0;
}

void main_loop(terminal &t)
{
    bool end_taken = false;
    // curses reads the terminal one byte at a time, so a key it has not taken
    // yet is still visible to poll: after an idle wait that saw no input,
    // the key read is skipped.
    bool may_have_key = true;
    while (running && !end_taken) {
        bool busy = false;
        if (may_have_key) {
            int key = wgetch(stdscr);
            if (key != ERR) {
                busy = true;
                act_on_key(t, key);
            }
        }
        if (nl_pipe.load() && running) {
            busy = true;
            end_taken = take_line(t);
        } else if (t.reading && pipe_ended.load()) {
            // The stream ended without the end line: the screen stays until
            // the operator leaves; no line is handed over twice.
            pthread_join(t.reader, nullptr);
            t.reader_started = false;
            t.reading = false;
        } else if (t.reading && !t.reader_started && !nl_pipe.load()) {
            start_reader(t);  // a reader that could not be started is tried again
        }
        may_have_key = true;
        // A turn that drew nothing has nothing to refresh.
        if (busy)
            wrefresh(stdscr);
        else if (!nl_pipe.load())
            may_have_key = wait_idle();
    }
}

struct cleanup {
    terminal &t;
    bool curses = false;
    ~cleanup()
    {
        if (curses)
            endwin();
        stop_reader(t);
        if (tqr_pipe != nullptr)
            std::fclose(tqr_pipe);
        tqr_pipe = nullptr;
        if (tqr_start_path[0] != '\0')
            std::remove(tqr_start_path);
        for (int &fd : wake_pipe) {
            if (fd >= 0)
                close(fd);
            fd = -1;
        }
    }
};

}  // namespace

int tqrunner_tui(int argc, char **argv)
{
    struct sigaction sa {};
    sa.sa_handler = term_hand;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: SIGTERM also ends the wait for the start-up section.
    if (sigaction(SIGTERM, &sa, nullptr) != 0)
        return 1;
    if (argc != 2)
        return 1;
    terminal t;
    cleanup done{t};
    tqr_pipe = std::fopen(argv[1], "r");
    if (tqr_pipe == nullptr)
        return running ? 2 : 0;
    if (pipe2(wake_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
        return 2;

    if (std::fgets(t.header, sizeof t.header, tqr_pipe) == nullptr)
        t.reading = false;
    t.runner_pid = header_pid(t.header);
    if (t.reading && save_start(tqr_start_path, tqr_pipe) == nullptr) {
        // The end line or the stream's end came during start-up: nothing
        // more to read, and a runner that said it finished is not signalled.
        t.reading = false;
        if (std::ferror(tqr_pipe) == 0 && std::feof(tqr_pipe) == 0)
            t.runner_pid = 0;
    }
    if (!running)
        return 0;

    initscr();
    done.curses = true;
    cbreak();
    noecho();
    nonl();
    nodelay(stdscr, TRUE);
    // No typeahead check inside refreshes: it flushes the output at every
    // changed row, one write per row, and keys are read each turn anyway.
    typeahead(-1);
    // ncurses flushes its output at every cursor move until the screen has
    // once been left and entered again; doing so here lets each refresh go
    // out in one write.
    endwin();
    wrefresh(stdscr);
    init_colours();
    wclear(stdscr);
    if (load_background(background_file, t.header) == -1)
        return 2;
    t.categories = TQ_score_numb;
    t.scores.assign(std::size_t(score_rows) * std::size_t(t.categories), 0);
    redraw_scores(t);
    wrefresh(stdscr);
    if (t.reading)
        start_reader(t);
    main_loop(t);
    return 0;
}

}  // namespace tq
