#include "tqmanager.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace tq;

TQdb_cfg *db_cfg = nullptr;

namespace {

// The report generator keeps each name in a 40-byte field.
constexpr std::size_t max_word = 39;
// A plan line is read into 50 bytes: 48 characters, its line end and NUL.
constexpr std::size_t max_shift_line = 48;

struct result_freer {
    void operator()(MYSQL_RES *r) const { mysql_free_result(r); }
};
using result_ptr = std::unique_ptr<MYSQL_RES, result_freer>;

// Prints the first columns of every row of the query that just succeeded,
// separated by spaces, one row per line.
void print_rows(unsigned columns)
{
    result_ptr res(TQdb_store_result());
    if (!res)
        return;
    while (MYSQL_ROW row = mysql_fetch_row(res.get())) {
        for (unsigned i = 0; i < columns; ++i)
            std::printf(i + 1 < columns ? "%s " : "%s\n", row[i]);
    }
}

bool word_too_long(const char *word)
{
    if (std::strlen(word) <= max_word)
        return false;
    std::fputs("Za długie słowo (najwyżej 39 znaków)\n", stderr);
    return true;
}

// Splits text at white space.
std::vector<std::string> split_words(const std::string &text)
{
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

// Unsigned decimal without sign, as the plan's numbers must be.
bool parse_unsigned(const std::string &text, unsigned &out)
{
    if (text.empty() || text.size() > 10)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (v > 0xffffffffULL)
        return false;
    out = static_cast<unsigned>(v);
    return true;
}

// One line of standard input without its line end; false at the end of
// input with nothing read.
bool read_line(std::string &line)
{
    line.clear();
    int c;
    while ((c = std::getchar()) != EOF) {
        if (c == '\n')
            return true;
        line += static_cast<char>(c);
    }
    return !line.empty();
}

// The shift plan is replaced as a whole or not at all.
int fill_plan(const char *key)
{
    std::string line;
    while (read_line(line)) {
        if (line.size() > max_shift_line) {
            std::fputs("Za długi wiersz planu zmian (najwyżej 48 znaków)\n", stderr);
            return 3;
        }
        std::vector<std::string> f = split_words(line);
        if (f.empty())
            continue;  // blank line
        unsigned workstation = 0, shift = 0;
        if (f.size() != 4 || !parse_unsigned(f[2], workstation) || !parse_unsigned(f[3], shift)) {
            std::fprintf(stderr, "Błędny wiersz planu zmian: %s\n", line.c_str());
            return 3;
        }
        if (word_too_long(f[0].c_str()) || word_too_long(f[1].c_str()))
            return 3;
        if (TQdb_insert_shift(key, f[0].c_str(), f[1].c_str(), workstation, shift) != 0)
            return 2;
    }
    return 0;
}

struct command {
    const char *word;
    int count;  // arguments after the option word
    int (*run)(char **args);
};

const command commands[] = {
    {"get_wls", 2, [](char **a) { return get_wls(std::atoi(a[0]), std::atoi(a[1])); }},
    {"insert_worker", 0, [](char **) { return insert_worker(); }},
    {"get_workers", 0, [](char **) { return get_workers(); }},
    {"delete_worker", 2, [](char **a) { return delete_worker(a[0], a[1]); }},
    {"insert_shift", 1, [](char **a) { return insert_shift(a[0]); }},
    {"get_shift", 1, [](char **a) { return get_shift(a[0]); }},
    {"delete_alldata", 1, [](char **a) { return delete_alldata(a[0]); }},
};

}  // namespace

int init_cfg_and_TQdb()
{
    db_cfg = make_TQdb_cfg("tqdb.ini");
    if (db_cfg == nullptr) {
        std::fputs("Plik konfiguracyjny nie zawiera niezbędnych danych\n", stderr);
        return 1;
    }
    if (TQdb_init(db_cfg) != 0) {
        std::fputs("Błąd przy inicjalizacji dazy danych", stderr);
        return 2;
    }
    return 0;
}

void free_cfg_and_TQdb()
{
    TQdb_free();
    std::fflush(stdout);
}

int get_wls(int a, int b)
{
    if (TQdb_get_wls(a, b) != 0)
        return 2;
    print_rows(1);
    TQdb_reset_connection(db_cfg);
    std::puts("---");
    if (TQdb_get_planed_shift(a, b) != 0)
        return 2;
    print_rows(1);
    return 0;
}

int insert_worker()
{
    std::string text, line;
    std::vector<std::string> words;
    // The two words may stand on one line or on several.
    while (words.size() < 2 && read_line(line)) {
        text += line;
        text += '\n';
        words = split_words(text);
    }
    if (words.size() < 2) {
        std::fputs("Brak imienia lub nazwiska na wejściu\n", stderr);
        return 3;
    }
    if (word_too_long(words[0].c_str()) || word_too_long(words[1].c_str()))
        return 3;
    return TQdb_insert_worker(words[0].c_str(), words[1].c_str()) == 0 ? 0 : 2;
}

int get_workers()
{
    if (TQdb_get_workers() != 0)
        return 2;
    print_rows(2);
    return 0;
}

int delete_worker(const char *first, const char *second)
{
    if (word_too_long(first) || word_too_long(second))
        return 3;
    return TQdb_delete_worker(first, second) == 0 ? 0 : 2;
}

int insert_shift(const char *key)
{
    if (TQdb_begin() != 0)
        return 2;
    TQdb_delete_shift(key);
    if (TQdb_delete_shift(key) != 0) {
        TQdb_rollback();
        return 2;
    }
    int status = fill_plan(key);
    if (status == 0 && TQdb_commit() != 0)
        status = 2;
    if (status != 0)
        TQdb_rollback();
    return status;
}

int get_shift(const char *key)
{
    if (TQdb_get_shift(key) != 0)
        return 2;
    print_rows(4);
    return 0;
}

int delete_alldata(const char *key)
{
    return TQdb_delete_alldata(key) == 0 ? 0 : 2;
}

int tqmanager_main(int argc, char **argv)
{
    std::atexit(free_cfg_and_TQdb);
    if (argc < 2) {
        std::fputs("Za mała liczba argumentów\n", stderr);
        return 3;
    }
    if (int status = init_cfg_and_TQdb(); status != 0)
        return status;
    for (const command &c : commands) {
        if (std::strcmp(argv[1], c.word) != 0)
            continue;
        if (argc - 2 != c.count) {
            std::fputs("Zla ilosc argumentow\n", stderr);
            return 3;
        }
        return c.run(argv + 2);
    }
    std::fputs("Zly opcja\n", stderr);
    return 4;
}
