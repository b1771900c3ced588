// The command line of tqraport: start-up, option words, statuses, messages.
#include "tqraport.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tq {

namespace {

int day_raport(char **argv)
{
    return generate_day_raport(argv[2], argv[3]);
}

int month_raport(char **argv)
{
    return generate_month_raport(std::atoi(argv[2]), std::atoi(argv[3]), argv[4]);
}

int short_raport(char **argv)
{
    return generate_short_raport(argv[2], argv[3], argv[4], std::atoi(argv[5]), argv[6]);
}

struct command {
    const char *word;
    int argc;  // program name included
    int (*run)(char **argv);
};

// Compared in this order, whole and case-sensitively.
constexpr command commands[] = {
    {"gen_day_raport", 4, day_raport},
    {"gen_month_raport", 5, month_raport},
    {"gen_short_raport", 7, short_raport},
};

}  // namespace

int raport_dispatch(int argc, char **argv)
{
    if (argc < 2) {
        std::fputs("Za mała liczba argumentów\n", stderr);
        return 3;
    }
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
    const command *match = nullptr;
    for (const auto &c : commands) {
        if (std::strcmp(argv[1], c.word) == 0) {
            match = &c;
            break;
        }
    }
    if (!match) {
        std::fputs("Zly opcja\n", stderr);
        return 4;
    }
    int status = argc == match->argc ? match->run(argv) : 3;
    if (status == 3)
        std::fputs("Zla ilosc argumentow\n", stderr);
    return status;
}

}  // namespace tq
