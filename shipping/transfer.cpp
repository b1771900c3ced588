// tqwl2dir: the transfer of the station's worklogs (see docs/transfer.md).
#include "tqwl2dir.h"

#include "station_libs.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unordered_set>
#include <vector>

extern char **environ;

namespace tq {

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

const char usage_text[] =
    "tqwl2dir - program transferujacy pliki worklog \t\t\ta katalogu w programu tqrunner do okreslonego "
    "\t\t\tkatalogu transferowego.\n\t\t\tusage:\n\ttqwl2dir dir_name\n";

// Copy of the station list for the length of a run; its presence at start
// means a run was killed.
const char old_list_name[] = "oldwl.set";
// The transfer directory's list always bears this literal name.
const char transfer_list_name[] = "wl.set";

// A station list line (without its line feed) is a worklog name only when it
// has exactly 10 characters, had its line feed, and cannot reach outside
// "worklogs" or carry a line end into the transfer list.
bool is_name(const std::string &line, bool had_lf)
{
    if (!had_lf || line.size() != 10)
        return false;
    for (char c : line)
        if (c == '/' || c == '\0' || c == '\r')
            return false;
    return true;
}

// One line without its line feed; false at the end when nothing was read.
bool read_line(std::FILE *f, std::string &line, bool &had_lf)
{
    line.clear();
    had_lf = false;
    int c;
    while ((c = std::getc(f)) != EOF) {
        if (c == '\n') {
            had_lf = true;
            return true;
        }
        line.push_back(char(c));
    }
    return !line.empty();
}

void put_line(std::FILE *f, const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), f);
    std::fputc('\n', f);
}

bool read_lines(const char *path, std::vector<std::string> &lines)
{
    file_ptr f(std::fopen(path, "rb"));
    if (!f)
        return false;
    std::string line;
    bool had_lf;
    while (read_line(f.get(), line, had_lf))
        lines.push_back(line);
    return !std::ferror(f.get());
}

// The station list is replaced only by a rename, so it is always either the
// old list or the new one. The new list is written beside it first.
std::string pending_list_name()
{
    return std::string(TQ_wlset_name) + ".new";
}

// Closes a list written beside the station list, on disk, and renames it
// into place; 0 on success, else the station list is left as it was.
int commit_list(file_ptr &f, const std::string &from)
{
    bool ok = std::fflush(f.get()) == 0 && ::fsync(::fileno(f.get())) == 0;
    ok = std::fclose(f.release()) == 0 && ok;
    if (!ok || std::rename(from.c_str(), TQ_wlset_name) != 0) {
        std::remove(from.c_str());
        return 1;
    }
    return 0;
}

// Digest of the station's worklog into digest_path. A failure is silent and
// leaves no digest file: a digest of a failed read is never shipped.
void write_digest(const std::string &worklog, const std::string &digest_path)
{
    unsigned char d[16];
    {
        file_ptr wl(std::fopen(worklog.c_str(), "rb"));
        if (!wl || md5file(wl.get(), d) != 0)
            return;
    }
    file_ptr out(std::fopen(digest_path.c_str(), "wb"));
    if (!out)
        return;
    bool ok = std::fwrite(d, 1, sizeof d, out.get()) == sizeof d;
    ok = std::fclose(out.release()) == 0 && ok;
    if (!ok)
        std::remove(digest_path.c_str());
}

}  // namespace

int recover_station_list()
{
    struct stat st;
    if (::stat(old_list_name, &st) != 0 && errno == ENOENT)
        return 0;
    std::vector<std::string> old_lines, lines;
    if (!read_lines(old_list_name, old_lines))
        return 1;
    read_lines(TQ_wlset_name, lines);  // a missing list adds nothing
    std::unordered_set<std::string> seen(old_lines.begin(), old_lines.end());
    for (const std::string &l : lines)
        if (!seen.count(l))
            old_lines.push_back(l);

    std::string pending = pending_list_name();
    file_ptr out(std::fopen(pending.c_str(), "wb"));
    if (!out)
        return 1;
    for (const std::string &l : old_lines)
        put_line(out.get(), l);
    if (commit_list(out, pending) != 0)
        return 1;
    return std::remove(old_list_name) == 0 ? 0 : 1;
}

int make_transfer(const char *dir)
{
    // A run killed earlier is repaired before anything else; while that is
    // impossible the saved list must not be overwritten.
    if (recover_station_list() != 0)
        return 5;

    const std::string d = dir;
    // An empty argument names no directory; "/terror" would land in the root.
    if (d.empty())
        return 11;
    const std::string list_path = d + "/" + transfer_list_name;
    const std::string marker_path = d + "/terror";

    if (file_ptr probe{std::fopen(list_path.c_str(), "r")})
        return 17;

    if (file_ptr marker{std::fopen(marker_path.c_str(), "wb")}; !marker)
        return 11;

    file_ptr tlist(std::fopen(list_path.c_str(), "w"));
    ::mkdir((d + "/worklogs").c_str(), 0755);  // an existing one is used
    if (!tlist)
        return 3;

    // "oldwl.set" appears whole or not at all, so a killed run never leaves
    // a truncated copy for the recovery to trust.
    const std::string old_pending = std::string(old_list_name) + ".new";
    if (copy(TQ_wlset_name, old_pending.c_str()) == 0)
        std::rename(old_pending.c_str(), old_list_name);
    else
        std::remove(old_pending.c_str());
    file_ptr old(std::fopen(old_list_name, "rb"));
    if (!old) {
        tlist.reset();
        std::remove(old_list_name);
        return 5;
    }

    // The station list itself is left alone until the new one is complete;
    // it must still be writable, as the rewrite replaces it.
    const std::string pending = pending_list_name();
    int wfd = ::open(TQ_wlset_name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    file_ptr station;
    if (wfd >= 0) {
        ::close(wfd);
        station.reset(std::fopen(pending.c_str(), "wb"));
    }
    if (!station) {
        old.reset();
        tlist.reset();
        std::remove(old_list_name);  // the station list was never changed
        return 7;
    }

    std::string line;
    bool had_lf;
    bool failed = false;
    while (read_line(old.get(), line, had_lf)) {
        // Lines that are no name stay in the station list for the operator.
        if (failed || !is_name(line, had_lf)) {
            put_line(station.get(), line);
            continue;
        }
        const std::string src = "worklogs/" + line + ".wl";
        const std::string dst = d + "/worklogs/" + line + ".wl";
        if (copy(src.c_str(), dst.c_str()) != 0) {
            put_line(station.get(), line);
            failed = true;
            continue;
        }
        write_digest(src, dst + ".md5");
        put_line(tlist.get(), line);
        std::fflush(tlist.get());
    }
    if (!failed) {
        char name[16];
        scode_date(name, std::time(nullptr));
        std::fprintf(station.get(), "%s\n", name);
    }
    old.reset();
    // Should the new list fail to reach the disk, the old one stays: names
    // may then be shipped twice, but none is lost.
    commit_list(station, pending);
    tlist.reset();

    const std::string errlog_copy = d + "/" + TQ_errorlog_name;
    if (copy(TQ_errorlog_name, errlog_copy.c_str()) == 0)
        std::remove(TQ_errorlog_name);

    std::remove(marker_path.c_str());
    // Removed last: until the directory is complete a killed run is repaired
    // by the next one.
    std::remove(old_list_name);
    return 0;
}

int run_hook(const char *script, const char *dir)
{
    char *argv[] = {const_cast<char *>("sh"), const_cast<char *>(script), const_cast<char *>(dir), nullptr};
    std::fflush(nullptr);
    pid_t pid;
    if (::posix_spawnp(&pid, "sh", nullptr, nullptr, argv, environ) != 0)
        return 1;
    int ws;
    while (::waitpid(pid, &ws, 0) < 0)
        if (errno != EINTR)
            return 1;
    return WIFEXITED(ws) && WEXITSTATUS(ws) == 0 ? 0 : 1;
}

int tqwl2dir_main(int argc, char **argv)
{
    if (argc != 2) {
        std::fputs(usage_text, stdout);
        std::fputc('\n', stdout);
        return 1;
    }
    if (run_hook("pre-trans.sh", argv[1]) != 0)
        return 13;
    int status = make_transfer(argv[1]);
    int post = run_hook("post-trans.sh", argv[1]);
    if (status != 0)
        return status;
    return post != 0 ? 13 : 0;
}

}  // namespace tq
