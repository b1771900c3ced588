// make_trans: the import of one transfer directory (docs/transfer.md).
#include "tqwl2db.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tq {

namespace {

struct file_closer {
    void operator()(std::FILE *f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

// Joins the directory and the first component of each path. The missing-list
// message still prints a backslash in front of the path.
const char separator = '/';
const char list_separator_shown = '\\';

// Failed record inserts above this many add the limit message.
const int failure_limit = 3;

// The directory made to end with the separator by strcatch.
std::string dir_prefix(const char *dir)
{
    std::vector<char> buf(std::strlen(dir) + 2);
    std::memcpy(buf.data(), dir, buf.size() - 1);
    strcatch(buf.data(), separator);
    return std::string(buf.data());
}

void read_failed(const char *path)
{
    std::fprintf(stderr, "Nie udana próba odczytu danych z %s\n", path);
}

// The error-log section; 0, or 5 when the copy could not be read to its end.
int print_error_log(const std::string &path)
{
    file_ptr f(std::fopen(path.c_str(), "rb"));
    if (!f)
        return 0;
    std::fputs("---\n", stdout);
    TQr_err rec;
    for (;;) {
        long before = std::ftell(f.get());
        int got = TQr_err_fread(f.get(), &rec);
        if (std::feof(f.get()))
            break;
        if (got != 0) {
            // A read that neither yields a record nor moves on would repeat
            // for ever.
            if (std::ferror(f.get()) || std::ftell(f.get()) == before) {
                read_failed(path.c_str());
                return 5;
            }
            continue;
        }
        std::time_t t = rec.time;
        std::tm tm;
        const char *text = TQr_err_to_str(rec.code);
        if (localtime_r(&t, &tm))
            std::printf("%u.%u.%u %u:%u:%u %s %u\n", unsigned(tm.tm_year + 1900), unsigned(tm.tm_mon + 1),
                        unsigned(tm.tm_mday), unsigned(tm.tm_hour), unsigned(tm.tm_min), unsigned(tm.tm_sec), text,
                        unsigned(rec.value));
        else
            std::printf("%lld %s %u\n", static_cast<long long>(rec.time), text, unsigned(rec.value));
    }
    return 0;
}

// True when the worklog's digest equals the 16 bytes of its digest file. A
// digest that could not be computed never matches.
bool digest_matches(std::FILE *worklog, std::FILE *digest)
{
    unsigned char computed[16], stored[16];
    int failed = md5file(worklog, computed);
    std::size_t got = std::fread(stored, 1, sizeof stored, digest);
    return failed == 0 && got == sizeof stored && std::memcmp(computed, stored, sizeof stored) == 0;
}

}  // namespace

int import_records(std::FILE *worklog, const char *name, const char *path, int group, int *failures)
{
    int status = 0;
    TQs_data rec;
    while (!std::feof(worklog)) {
        long before = std::ftell(worklog);
        if (TQs_data_fread(worklog, &rec) != 0) {
            // A short last record is skipped silently; a read that does not
            // advance would repeat for ever.
            if (!std::feof(worklog) && (std::ferror(worklog) || std::ftell(worklog) == before)) {
                read_failed(path);
                return 5;
            }
            continue;
        }
        if (TQdb_insert_TQs_data(group, name, &rec) != 0) {
            std::fprintf(stderr, "Nie udana próba zapisu rekordu danych z %s\n", path);
            status = 5;
            if (++*failures > failure_limit)
                std::fputs("Przekroczono maksymalną ilość nieudanych zapytań SQL\n", stderr);
        }
    }
    return status;
}

// Verifies one registered worklog against its digest and imports its
// records. 0, or 5 after any error (already reported).
static int import_worklog(const std::string &path, const char *name, int group, int *failures)
{
    file_ptr worklog(std::fopen(path.c_str(), "rb"));
    if (!worklog) {
        std::fprintf(stderr, "Brak pliku %s\n", path.c_str());
        return 5;
    }
    const std::string digest_path = path + ".md5";
    file_ptr digest(std::fopen(digest_path.c_str(), "rb"));
    if (!digest) {
        std::fprintf(stderr, "Brak pliku %s\n", digest_path.c_str());
        return 5;
    }
    bool match = digest_matches(worklog.get(), digest.get());
    digest.reset();
    if (!match) {
        std::fprintf(stderr, "Plik %s jest zepsuty\n", path.c_str());
        return 5;
    }
    std::printf("%s\n", name);
    std::rewind(worklog.get());
    return import_records(worklog.get(), name, path.c_str(), group, failures);
}

int make_trans(const char *dir, int remove_flag, int group)
{
    const std::string prefix = dir_prefix(dir);

    if (file_ptr marker{std::fopen((prefix + "terror").c_str(), "rb")}) {
        std::fputs("Wystąpił krytyczny błąd podczas transferu \t\t\tpo stronie grupy produkcyjnej\n", stderr);
        return 5;
    }

    const std::string list_path = prefix + TQ_wlset_name;
    file_ptr list(std::fopen(list_path.c_str(), "r"));
    if (!list) {
        std::fprintf(stderr, "%c Brak pliku %s\n", list_separator_shown, list_path.c_str());
        return 5;
    }

    int status = 0;
    int failures = 0;
    char name[16];
    // A window of 11: at most 10 characters, up to and including a line feed.
    auto read_name = [&] {
        if (!std::fgets(name, 11, list.get()))
            name[0] = '\0';
    };
    for (read_name(); !std::feof(list.get()); read_name()) {
        // Exactly 10 characters and a line feed; a name that swallowed a line
        // feed (a short line before a blank one) is no name either.
        if (std::getc(list.get()) != '\n' || std::strlen(name) != 10 || std::strchr(name, '\n')) {
            std::fputs("Plik wl.set jest nie zgodny z formatem\n", stderr);
            return 5;
        }
        if (TQdb_insert_wl(name) != 0) {
            std::fputs("Nie mozna zapisac danych do bazy danych", stderr);
            return 5;
        }
        const std::string path = std::string(dir) + separator + "worklogs/" + name + ".wl";
        if (import_worklog(path, name, group, &failures) != 0)
            status = 5;
        // The worklog's samples last only once its transaction is committed:
        // a failed commit has lost them, whatever the records reported.
        if (TQdb_reset_connection(cfg.db_cfg) != 0) {
            std::fprintf(stderr, "Nie udana próba zatwierdzenia danych z %s\n", path.c_str());
            status = 5;
        }
    }

    const std::string errlog_path = std::string(dir) + separator + TQ_errorlog_name;
    if (print_error_log(errlog_path) != 0)
        status = 5;
    list.reset();

    // Only an emptied directory goes: nothing the import could not load is
    // ever destroyed. The path is handed over whole, never to a shell.
    if (remove_flag != 0)
        ::rmdir(dir);
    return status;
}

}  // namespace tq
