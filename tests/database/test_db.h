// Helpers of the tests that run against the private MariaDB server of
// tools/tqdb-local: running programs without a shell, and the server's
// administrator client.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tqtest {

inline std::string db_dir()
{
    const char *env = std::getenv("TQ_TEST_DB_DIR");
    return env != nullptr && *env != '\0' ? env : TQ_TEST_DB_DIR;
}

inline std::string tool_path()
{
    return std::string(TQ_SOURCE_DIR) + "/tools/tqdb-local";
}

struct run_result {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs argv[0] (a path) with stdin_text on standard input, in directory cwd
// when not empty; captures both outputs through temporary files.
inline run_result run(const std::vector<std::string> &argv, const std::string &stdin_text = "",
                      const std::string &cwd = "")
{
    // The three files go on every way out.
    struct temp_file {
        char name[32];
        int fd;
        explicit temp_file(const char *pattern) : fd(-1)
        {
            std::snprintf(name, sizeof name, "%s", pattern);
            fd = mkstemp(name);
        }
        ~temp_file()
        {
            if (fd >= 0) {
                close(fd);
                unlink(name);
            }
        }
    } in("/tmp/tqtest-inXXXXXX"), out("/tmp/tqtest-outXXXXXX"), err("/tmp/tqtest-errXXXXXX");
    int in_fd = in.fd, out_fd = out.fd, err_fd = err.fd;
    const char *out_name = out.name, *err_name = err.name;
    run_result r;
    if (in_fd < 0 || out_fd < 0 || err_fd < 0)
        return r;
    if (write(in_fd, stdin_text.data(), stdin_text.size()) != ssize_t(stdin_text.size()))
        return r;
    lseek(in_fd, 0, SEEK_SET);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in_fd, 0);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(126);
        alarm(30);  // a program that hangs is killed, and the test fails

        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = slurp(out_name);
    r.err = slurp(err_name);
    return r;
}

// tools/tqdb-local with a command on dir (the shared test server by default).
inline run_result tqdb_local(const std::string &cmd, const std::string &dir = db_dir())
{
    return run({tool_path(), cmd, dir});
}

// Runs SQL as the server's administrator; returns the rows, tab-separated,
// one per line, without the column names.
inline std::string admin_sql(const std::string &sql, const std::string &dir = db_dir())
{
    run_result r = run({tool_path(), "client", dir, "--batch", "--skip-column-names", "-e", sql});
    if (r.status != 0)
        return "ERROR " + r.err;
    return r.out;
}

inline std::string ini_path(const std::string &dir = db_dir())
{
    return dir + "/tqdb.ini";
}

}  // namespace tqtest
