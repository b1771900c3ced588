// End-to-end harness: tqrunner_tui in a detached tmux session of 80x24 on
// a private server socket, fed through a named pipe that the test writes.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tqt {

// Runs argv (no shell); gives the exit status (-1 when it could not run) and,
// with capture, what it wrote on standard output and error.
struct run_result {
    int status = -1;
    std::string out;
};
run_result run(const std::vector<std::string> &argv, bool capture = true);

// A fresh private temporary directory, removed with its content.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    std::string file(const std::string &name) const { return path + "/" + name; }
};

std::string read_file(const std::string &path);
bool file_exists(const std::string &path);
void write_file(const std::string &path, const std::string &text);

// Polls pred every 10 ms until it holds or timeout_ms passes.
template <class F>
bool wait_for(F pred, int timeout_ms = 5000);

// One screen cell from capture-pane -e: the character and the SGR colours
// (-1 the terminal's default, 0..7 the ANSI colours).
struct cell {
    char ch = ' ';
    int fg = -1;
    int bg = -1;
};

class terminal_session {
public:
    // Starts tqrunner_tui in dir with the stream argument (default: the
    // pipe dir/p, made here). With background false, no background file is
    // put into dir.
    explicit terminal_session(bool background = true, std::vector<std::string> args = {"p"});
    ~terminal_session();

    const temp_dir &dir() const { return dir_; }

    // Opens the pipe for writing (returns when the terminal has opened it).
    void open_stream();
    void write(const std::string &text);
    void close_stream();

    void keys(const std::string &literal);  // send-keys -l
    void key(const std::string &name);      // send-keys, e.g. "Enter", "Escape"

    std::vector<std::string> text();         // 24 rows, trailing blanks trimmed
    std::vector<std::vector<cell>> cells();  // 24 rows of 80 cells
    std::string row(int r) { return text()[std::size_t(r)]; }
    bool wait_row(int r, const std::string &contains, int timeout_ms = 5000);
    bool wait_text(const std::string &contains, int timeout_ms = 5000);
    // Waits until the table cell of screen row r, category c shows text.
    bool wait_for_cell(int r, int c, const std::string &text, int timeout_ms = 5000);

    int bells();                        // beeps heard so far
    bool exited();                      // the program has ended
    int wait_status(int timeout_ms = 5000);  // its exit status, -1 on timeout
    pid_t pid();                        // the program's pid (0 if unknown)
    std::string tmux_format(const std::string &format);

private:
    std::vector<std::string> tmux(std::vector<std::string> args, bool capture = true);
    temp_dir dir_;
    std::string socket_;
    int fd_ = -1;
};

// Reads a tmux capture with escapes into cells.
std::vector<std::vector<cell>> parse_capture(const std::string &capture, int rows, int cols);

}  // namespace tqt

#include <chrono>
#include <thread>

template <class F>
bool tqt::wait_for(F pred, int timeout_ms)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
