// Helpers of the shipping and import tests: private temporary directories,
// whole-file reads and writes, a snapshot of a directory tree and a program
// run in a chosen working directory with its output captured.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace tqtest {

// A fresh directory under /tmp, removed with everything in it.
class temp_dir {
public:
    explicit temp_dir(const char *tag = "tq")
    {
        std::string pattern = std::string("/tmp/") + tag + "-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data()))
            std::abort();
        path_ = buf.data();
    }
    ~temp_dir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const fs::path &path() const { return path_; }
    fs::path operator/(const std::string &rel) const { return path_ / rel; }

private:
    fs::path path_;
};

inline void write_file(const fs::path &p, const std::string &content)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
}

inline std::optional<std::string> read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every entry below root: files by content, directories as "<dir>",
// symbolic links as "<link:target>".
using tree = std::map<std::string, std::string>;

inline tree snapshot(const fs::path &root, const std::vector<std::string> &skip = {})
{
    tree t;
    if (!fs::exists(fs::symlink_status(root)))
        return t;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string rel = fs::relative(it->path(), root).string();
        bool skipped = false;
        for (const auto &s : skip)
            skipped = skipped || rel == s;
        if (skipped)
            continue;
        if (it->is_symlink())
            t[rel] = "<link:" + fs::read_symlink(it->path()).string() + ">";
        else if (it->is_directory())
            t[rel] = "<dir>";
        else
            t[rel] = read_file(it->path()).value_or("<unreadable>");
    }
    return t;
}

struct run_result {
    int status;  // exit code, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs argv[0] with argv in cwd, with extra environment settings.
inline run_result run(const fs::path &cwd, const std::vector<std::string> &argv,
                      const std::vector<std::pair<std::string, std::string>> &env = {})
{
    temp_dir cap("tqcap");
    const std::string out_path = (cap / "out").string(), err_path = (cap / "err").string();
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0)
            ::_exit(126);
        int o = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0)
            ::_exit(126);
        for (const auto &[k, v] : env)
            ::setenv(k.c_str(), v.c_str(), 1);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    int ws = 0;
    ::waitpid(pid, &ws, 0);
    run_result r;
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    r.out = read_file(out_path).value_or("");
    r.err = read_file(err_path).value_or("");
    return r;
}

}  // namespace tqtest
