// tqwl2db's frame: configuration, database set-up and release, arguments.
#include "tqwl2db.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace tq {

tqwl2db_cfg cfg{};

namespace {

// iniparser reports an unreadable file on stderr by itself; the program's
// own message is the only one the operator gets.
int quiet(const char *, ...)
{
    return 0;
}

// atoi's rule (blanks, sign, leading digits, else 0), without its undefined
// overflow: out-of-range numbers are clamped.
int to_int(const char *text)
{
    long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return int(v);
}

}  // namespace

int init_cfg_and_TQdb()
{
    iniparser_set_error_callback(quiet);
    cfg.dict = iniparser_load("tqwl2db.ini");
    if (!cfg.dict)
        return 1;
    cfg.trans_dir = iniparser_getstring(cfg.dict, "main:trans_dir", nullptr);
    if (!cfg.trans_dir)
        return 1;
    cfg.db_cfg = make_TQdb_cfg("tqdb.ini");
    if (!cfg.db_cfg)
        return 1;
    return TQdb_init(cfg.db_cfg) == 0 ? 0 : 2;
}

void free_cfg_and_TQdb()
{
    if (cfg.dict) {
        iniparser_freedict(cfg.dict);
        cfg.dict = nullptr;
        cfg.trans_dir = nullptr;
    }
    TQdb_free();
    std::fflush(stdout);
}

int tqwl2db_main(int argc, char **argv)
{
    std::atexit(free_cfg_and_TQdb);
    switch (init_cfg_and_TQdb()) {
    case 0:
        break;
    case 1:
        std::fputs("Plik konfiguracyjny nie zawiera niezbędnych danych\n", stderr);
        return 1;
    default:
        std::fputs("Błąd przy inicjalizacji dazy danych", stderr);
        return 2;
    }
    if (argc == 3)
        return make_trans(cfg.trans_dir, to_int(argv[1]), to_int(argv[2]));
    if (argc == 4)
        return make_trans(argv[3], to_int(argv[1]), to_int(argv[2]));
    std::fputs("Zla ilosc argumentów\n", stderr);
    return 3;
}

}  // namespace tq
