#include "tqstest.h"

#include "station_libs.h"

#include <cstdio>
#include <unistd.h>

using namespace tq;

namespace {

// Standard output is often a pipe: every line goes out at once.
void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

}  // namespace

int tqstest_run(int argc, char **argv)
{
    if (argc < 2) {
        say("Zla liczba argumentow");
        return 1;
    }
    say("Inicjalizacja hardeware'u");
    if (TQ_hard_init() != 0) {
        say("Blad podczas inicializacji hardware'u");
        return 2;
    }
    say("Inicjalizacja TQslave");
    if (TQs_init(argv[1], 1) != 0) {
        say("Blad podczas inicjalizacji TQslave");
        return 3;
    }
    for (;;) {
        say("Pobieranie danych");
        int r = TQs_data_cycle(1);
        if (r == -2) {
            say("Blad podczas komunikacji");
        } else if (r == -1) {
            say("Brak nowych danych");
        } else {
            std::printf("input: %s\n", itoab(r, 16));
            std::fflush(stdout);
        }
        sleep(1);
    }
}
