// Helpers for the tests that run programs: a child process with its standard
// output on a pipe, temporary directories, and a running tqslave_sim.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace tq_test {

// A program run with posix_spawn; killed and reaped when the object dies.
class child_process {
public:
    child_process() = default;
    child_process(const child_process &) = delete;
    child_process &operator=(const child_process &) = delete;
    ~child_process()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_fd_ >= 0)
            ::close(out_fd_);
    }

    // Starts argv[0] (a path) with stdout on a pipe; false when it could not.
    bool start(const std::vector<std::string> &argv)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addclose(&fa, fds[0]);
        posix_spawn_file_actions_addclose(&fa, fds[1]);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        int rc = posix_spawn(&pid_, args[0], &fa, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        out_fd_ = fds[0];
        if (rc != 0)
            pid_ = -1;
        return rc == 0;
    }

    // The next line of standard output, without its line end; false on end
    // of output or when none came within timeout_ms.
    bool read_line(std::string &line, int timeout_ms)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            auto nl = pending_.find('\n');
            if (nl != std::string::npos) {
                line = pending_.substr(0, nl);
                pending_.erase(0, nl + 1);
                return true;
            }
            if (!fill(deadline))
                return false;
        }
    }

    // Everything up to the end of standard output (or the deadline).
    std::string read_all(int timeout_ms)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (fill(deadline)) {
        }
        std::string all = pending_;
        pending_.clear();
        return all;
    }

    // Exit status, 128 + signal number after a signal, -1 when still running
    // after timeout_ms.
    int wait(int timeout_ms)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            int status;
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (r < 0 || std::chrono::steady_clock::now() >= deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    void signal(int sig)
    {
        if (pid_ > 0)
            ::kill(pid_, sig);
    }

    pid_t pid() const { return pid_; }

private:
    bool fill(std::chrono::steady_clock::time_point deadline)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left < 0)
            return false;
        pollfd p{out_fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            return false;
        char buf[4096];
        ssize_t got = ::read(out_fd_, buf, sizeof buf);
        if (got <= 0)
            return false;
        pending_.append(buf, std::size_t(got));
        return true;
    }

    pid_t pid_ = -1;
    int out_fd_ = -1;
    std::string pending_;
};

// A fresh directory under /tmp, removed with its content when the object dies.
class temp_dir {
public:
    temp_dir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tqtest-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~temp_dir()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path &path() const { return path_; }
    std::string operator/(const std::string &name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string bin(const std::string &program)
{
    return std::string(TQ_BIN_DIR) + "/" + program;
}

// tqslave_sim on a free loopback port; port() is 0 when it did not start.
class slave_sim {
public:
    explicit slave_sim(const std::vector<std::string> &options)
    {
        std::string port_file = dir_ / "port";
        std::vector<std::string> argv{bin("tqslave_sim"), "--port", "0", "--port-file", port_file};
        argv.insert(argv.end(), options.begin(), options.end());
        if (!proc_.start(argv))
            return;
        for (int i = 0; i < 500; ++i) {
            std::ifstream in(port_file);
            if (in >> port_)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    child_process &process() { return proc_; }

private:
    temp_dir dir_;
    child_process proc_;
    int port_ = 0;
};

// A loopback port that nothing listens on (bound, then released).
inline int unused_port()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

}  // namespace tq_test
