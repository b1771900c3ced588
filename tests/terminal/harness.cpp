#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

namespace tqt {

run_result run(const std::vector<std::string> &argv, bool capture)
{
    run_result r;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (capture) {
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    } else {
        // A daemon started by the command (the tmux server) must not hold
        // the pipe, or reading it would never end.
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclose(&fa, out[0]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return r;
    }
    char buf[4096];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            r.out.append(buf, std::size_t(n));
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

temp_dir::temp_dir()
{
    char tmpl[] = "/tmp/tqterm-XXXXXX";
    if (mkdtemp(tmpl) != nullptr)
        path = tmpl;
}

temp_dir::~temp_dir()
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove_all(path, ec);
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void write_file(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

namespace {

std::string sh_quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'')
            q += "'\\''";
        else
            q += c;
    }
    return q + "'";
}

std::atomic<int> sessions{0};

}  // namespace

terminal_session::terminal_session(bool background, std::vector<std::string> args)
{
    std::signal(SIGPIPE, SIG_IGN);
    socket_ = "tqterm-" + std::to_string(getpid()) + "-" + std::to_string(sessions++);
    if (background)
        std::filesystem::copy_file(std::string(TQ_SOURCE_DIR) + "/terminal/tqrtui_inter.txt",
                                   dir_.file("tqrtui_inter.txt"));
    mkfifo(dir_.file("p").c_str(), 0600);
    // The wrapper records the program's pid and, when it ends, its status.
    std::string script = "cd " + sh_quoted(dir_.path) + " || exit 1\n" +
                         "sh -c 'echo $$ > pid; exec \"$0\" \"$@\"' " +
                         sh_quoted(std::string(TQ_BIN_DIR) + "/tqrunner_tui");
    for (const std::string &a : args)
        script += " " + sh_quoted(a);
    script += "\necho $? > status.tmp && mv status.tmp status\n";
    write_file(dir_.file("run.sh"), script);
    tmux({"new-session", "-d", "-x", "80", "-y", "24", "sh " + sh_quoted(dir_.file("run.sh")), ";",
          "set-option", "-g", "remain-on-exit", "on", ";",
          "set-option", "-g", "monitor-bell", "on", ";",
          "set-option", "-g", "bell-action", "any", ";",
          "set-hook", "-g", "alert-bell", "run-shell " + sh_quoted("echo b >> " + dir_.file("bells"))},
         false);
}

terminal_session::~terminal_session()
{
    if (fd_ >= 0)
        ::close(fd_);
    // SIGTERM lets a running terminal end normally and remove its start-up
    // file; the server's SIGHUP ends whatever is left.
    pid_t program = pid_t(std::atoi(read_file(dir_.file("pid")).c_str()));
    if (program > 0 && !exited()) {
        kill(program, SIGTERM);
        wait_for([&] { return exited(); }, 1000);
    }
    tmux({"kill-server"}, false);
}

std::vector<std::string> terminal_session::tmux(std::vector<std::string> args, bool capture)
{
    std::vector<std::string> argv = {"tmux", "-f", "/dev/null", "-L", socket_};
    argv.insert(argv.end(), args.begin(), args.end());
    run_result r = run(argv, capture);
    std::vector<std::string> lines;
    std::stringstream ss(r.out);
    std::string line;
    while (std::getline(ss, line))
        lines.push_back(line);
    return lines;
}

void terminal_session::open_stream()
{
    std::string p = dir_.file("p");
    wait_for([&] {
        fd_ = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
        return fd_ >= 0;
    });
    if (fd_ >= 0)
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

void terminal_session::write(const std::string &text)
{
    std::size_t done = 0;
    while (fd_ >= 0 && done < text.size()) {
        ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

void terminal_session::close_stream()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void terminal_session::keys(const std::string &literal) { tmux({"send-keys", "-l", literal}); }

void terminal_session::key(const std::string &name) { tmux({"send-keys", name}); }

std::vector<std::string> terminal_session::text()
{
    std::vector<std::string> rows = tmux({"capture-pane", "-p"});
    rows.resize(24);
    for (std::string &r : rows)
        r.erase(r.find_last_not_of(' ') + 1);
    return rows;
}

std::vector<std::vector<cell>> terminal_session::cells()
{
    std::vector<std::string> lines = tmux({"capture-pane", "-p", "-e"});
    std::string all;
    for (const std::string &l : lines)
        all += l + "\n";
    return parse_capture(all, 24, 80);
}

bool terminal_session::wait_row(int r, const std::string &contains, int timeout_ms)
{
    return wait_for([&] { return row(r).find(contains) != std::string::npos; }, timeout_ms);
}

bool terminal_session::wait_text(const std::string &contains, int timeout_ms)
{
    return wait_for(
        [&] {
            for (const std::string &r : text())
                if (r.find(contains) != std::string::npos)
                    return true;
            return false;
        },
        timeout_ms);
}

bool terminal_session::wait_for_cell(int r, int c, const std::string &text, int timeout_ms)
{
    std::size_t at = std::size_t(13 + 7 * c);
    return wait_for(
        [&] {
            std::string line = row(r);
            return line.size() >= at + text.size() && line.substr(at, text.size()) == text;
        },
        timeout_ms);
}

int terminal_session::bells()
{
    std::string b = read_file(dir_.file("bells"));
    return int(std::count(b.begin(), b.end(), '\n'));
}

bool terminal_session::exited() { return file_exists(dir_.file("status")); }

int terminal_session::wait_status(int timeout_ms)
{
    if (!wait_for([&] { return exited(); }, timeout_ms))
        return -1;
    return std::atoi(read_file(dir_.file("status")).c_str());
}

pid_t terminal_session::pid()
{
    wait_for([&] { return !read_file(dir_.file("pid")).empty(); });
    return pid_t(std::atoi(read_file(dir_.file("pid")).c_str()));
}

std::string terminal_session::tmux_format(const std::string &format)
{
    std::vector<std::string> out = tmux({"display-message", "-p", format});
    return out.empty() ? std::string() : out[0];
}

std::vector<std::vector<cell>> parse_capture(const std::string &capture, int rows, int cols)
{
    std::vector<std::vector<cell>> grid(std::size_t(rows), std::vector<cell>(std::size_t(cols), cell{}));
    int fg = -1, bg = -1;
    int r = 0, c = 0;
    for (std::size_t i = 0; i < capture.size() && r < rows; ++i) {
        char ch = capture[i];
        if (ch == '\n') {
            ++r;
            c = 0;
            continue;
        }
        if (ch == '\x1b' && i + 1 < capture.size() && capture[i + 1] == '[') {
            std::size_t end = capture.find_first_of("ABCDEFGHJKSTfmhl", i + 2);
            if (end == std::string::npos)
                break;
            if (capture[end] == 'm') {
                std::vector<int> params;
                std::stringstream ss(capture.substr(i + 2, end - i - 2));
                std::string p;
                while (std::getline(ss, p, ';'))
                    params.push_back(p.empty() ? 0 : std::atoi(p.c_str()));
                if (params.empty())
                    params.push_back(0);
                for (std::size_t k = 0; k < params.size(); ++k) {
                    int v = params[k];
                    if (v == 0) {
                        fg = bg = -1;
                    } else if (v >= 30 && v <= 37) {
                        fg = v - 30;
                    } else if (v == 39) {
                        fg = -1;
                    } else if (v >= 40 && v <= 47) {
                        bg = v - 40;
                    } else if (v == 49) {
                        bg = -1;
                    } else if ((v == 38 || v == 48) && k + 2 < params.size() && params[k + 1] == 5) {
                        (v == 38 ? fg : bg) = params[k + 2];
                        k += 2;
                    }
                }
            }
            i = end;
            continue;
        }
        if (c < cols)
            grid[std::size_t(r)][std::size_t(c)] = cell{ch, fg, bg};
        ++c;
    }
    return grid;
}

}  // namespace tqt
