// tqrunner_sim: the runner's stream, worklogs and error log, simulated.
#include "runner_sim.h"

#include "station_libs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tq {
namespace {

constexpr int workstations = 16;
constexpr const char *version = "2.0";

volatile std::sig_atomic_t term_seen = 0;
volatile std::sig_atomic_t usr1_seen = 0;

void on_term(int) { term_seen = 1; }
void on_usr1(int) { usr1_seen = 1; }

struct file_closer {
    void operator()(std::FILE *f) const
    {
        if (f != nullptr && f != stdout)
            std::fclose(f);
    }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

bool to_long(const char *text, long &out)
{
    char *end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0')
        return false;
    out = v;
    return true;
}

bool parse_start(const char *text, std::time_t &out)
{
    struct tm t {};
    const char *end = strptime(text, "%Y-%m-%d %H:%M:%S", &t);
    if (end == nullptr || *end != '\0')
        return false;
    t.tm_isdst = -1;
    out = std::mktime(&t);
    return out != static_cast<std::time_t>(-1);
}

// A workstation's machine: off (input 0), on and idle (bit 0), working
// (bits 0 and 1); each state lasts a random number of station seconds.
struct machine {
    std::uint32_t input = 0;
    double left = 0;
};

struct pattern {
    std::mt19937 rng;
    explicit pattern(std::uint32_t seed) : rng(seed) {}

    double seconds(int low, int high)
    {
        return std::uniform_int_distribution<int>(low, high)(rng);
    }
    bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; }

    void enter(machine &m, std::uint32_t input)
    {
        m.input = input;
        if (input == 0)
            m.left = seconds(60, 1800);
        else if (input == 1)
            m.left = seconds(20, 300);
        else
            m.left = seconds(60, 1800);
    }

    void first(machine &m)
    {
        double p = std::uniform_real_distribution<double>(0, 1)(rng);
        enter(m, p < 0.2 ? 0u : p < 0.5 ? 1u : 3u);
        m.left = seconds(1, int(m.left));
    }

    // Advances m by dt station seconds.
    void step(machine &m, double dt)
    {
        m.left -= dt;
        while (m.left <= 0) {
            double carry = m.left;
            if (m.input == 0)
                enter(m, 1);
            else if (m.input == 1)
                enter(m, chance(0.75) ? 3u : 0u);
            else
                enter(m, 1);
            m.left += carry;
        }
    }
};

void put_u32(unsigned char *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

// The station working directory: the current worklog named by the last line
// of wl.set, followed when wl.set changes, and the error log.
class station {
public:
    explicit station(std::string dir) : dir_(std::move(dir)) {}

    int prepare(std::time_t now)
    {
        for (const std::string &d : {dir_, dir_ + "/worklogs"}) {
            if (mkdir(d.c_str(), 0777) != 0 && errno != EEXIST) {
                std::fprintf(stderr, "tqrunner_sim: nie mozna utworzyc katalogu %s\n", d.c_str());
                return 3;
            }
        }
        return follow_list(now);
    }

    // Re-reads wl.set when it changed; an empty or missing list gets a
    // fresh name made from the station clock.
    int follow_list(std::time_t now)
    {
        std::string list = dir_ + "/" + TQ_wlset_name;
        struct stat st {};
        bool exists = stat(list.c_str(), &st) == 0;
        if (exists && st.st_mtim.tv_sec == seen_.tv_sec && st.st_mtim.tv_nsec == seen_.tv_nsec &&
            st.st_size == seen_size_ && !name_.empty())
            return 0;
        std::string last;
        if (exists) {
            file_ptr f(std::fopen(list.c_str(), "r"));
            char line[256];
            while (f && std::fgets(line, sizeof line, f.get()) != nullptr) {
                std::size_t n = std::strcspn(line, "\r\n");
                line[n] = '\0';
                if (n > 0)
                    last = line;
            }
        }
        if (last.empty()) {
            char fresh[12];
            scode_date(fresh, now);
            last = fresh;
            file_ptr f(std::fopen(list.c_str(), "w"));
            if (!f || std::fprintf(f.get(), "%s\n", fresh) < 0) {
                std::fprintf(stderr, "tqrunner_sim: nie mozna zapisac %s\n", list.c_str());
                return 3;
            }
            f.reset();
            stat(list.c_str(), &st);
        }
        seen_ = st.st_mtim;
        seen_size_ = st.st_size;
        name_ = last;
        return 0;
    }

    const std::string &name() const { return name_; }

    int append_samples(const unsigned char *records, std::size_t bytes)
    {
        std::string path = dir_ + "/worklogs/" + name_ + ".wl";
        file_ptr f(std::fopen(path.c_str(), "ab"));
        if (!f || std::fwrite(records, 1, bytes, f.get()) != bytes) {
            std::fprintf(stderr, "tqrunner_sim: nie mozna dopisac do %s\n", path.c_str());
            return 3;
        }
        return 0;
    }

    int append_error(std::time_t when, std::int32_t code, std::uint32_t value)
    {
        unsigned char rec[12];
        put_u32(rec, std::uint32_t(when));
        put_u32(rec + 4, std::uint32_t(code));
        put_u32(rec + 8, value);
        std::string path = dir_ + "/" + TQ_errorlog_name;
        file_ptr f(std::fopen(path.c_str(), "ab"));
        if (!f || std::fwrite(rec, 1, sizeof rec, f.get()) != sizeof rec) {
            std::fprintf(stderr, "tqrunner_sim: nie mozna dopisac do %s\n", path.c_str());
            return 3;
        }
        return 0;
    }

private:
    std::string dir_;
    std::string name_;
    struct timespec seen_ {};
    off_t seen_size_ = -1;
};

int open_stream(const sim_options &opt, file_ptr &out)
{
    if (opt.out.empty()) {
        out.reset(stdout);
        return 0;
    }
    if (!opt.out_is_file) {
        struct stat st {};
        if (stat(opt.out.c_str(), &st) != 0 && mkfifo(opt.out.c_str(), 0666) != 0) {
            std::fprintf(stderr, "tqrunner_sim: nie mozna utworzyc potoku %s\n", opt.out.c_str());
            return 2;
        }
    }
    // Opening a named pipe waits for its reader; SIGTERM ends the wait.
    out.reset(std::fopen(opt.out.c_str(), "w"));
    if (!out) {
        if (term_seen)
            return 0;
        std::fprintf(stderr, "tqrunner_sim: nie mozna otworzyc %s\n", opt.out.c_str());
        return 2;
    }
    return 0;
}

void install_handlers()
{
    struct sigaction sa {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = on_term;  // no SA_RESTART: waits end at once
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sa.sa_handler = on_usr1;
    sigaction(SIGUSR1, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Sleeps until the monotonic deadline or a signal.
void wait_until(const struct timespec &deadline)
{
    while (!term_seen && !usr1_seen) {
        int rc = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr);
        if (rc == 0 || rc != EINTR)
            return;
    }
}

void add_seconds(struct timespec &t, double s)
{
    long whole = long(s);
    t.tv_sec += whole;
    t.tv_nsec += long((s - double(whole)) * 1e9);
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
}

int write_counts(const sim_options &opt, const unsigned long (&counts)[workstations + 1])
{
    std::fputs("tqrunner_sim: probki na stanowisko:", stderr);
    for (int c = 1; c <= workstations; ++c)
        std::fprintf(stderr, " %d:%lu", c, counts[c]);
    std::fputc('\n', stderr);
    if (opt.counts.empty())
        return 0;
    file_ptr f(std::fopen(opt.counts.c_str(), "w"));
    if (!f) {
        std::fprintf(stderr, "tqrunner_sim: nie mozna zapisac %s\n", opt.counts.c_str());
        return 3;
    }
    for (int c = 1; c <= workstations; ++c)
        std::fprintf(f.get(), "%d %lu\n", c, counts[c]);
    return 0;
}

}  // namespace

const char *runner_sim_usage()
{
    return
        "Uzycie: tqrunner_sim [opcje]\n"
        "Zastepuje TQrunner: pisze jego strumien, worklogi i dziennik bledow.\n"
        "\n"
        "  --out SCIEZKA        strumien do potoku nazwanego (tworzony, gdy go nie ma;\n"
        "                       otwarcie czeka na czytelnika); bez --out: stdout;\n"
        "                       --output to samo\n"
        "  --file SCIEZKA       strumien do zwyklego pliku (tworzony lub skracany)\n"
        "  --station-dir KAT    katalog roboczy stacji: kazda probka dopisywana do\n"
        "                       KAT/worklogs/NAZWA.wl (NAZWA: ostatnia linia KAT/wl.set;\n"
        "                       gdy wl.set brak lub pusty: scode_date(zegar stacji)\n"
        "                       zapisany do wl.set), od czasu do czasu rekord w\n"
        "                       KAT/error.log\n"
        "  --seed N             ziarno losowania (domyslnie 1)\n"
        "  --rate R             probki na sekunde na stanowisko w czasie rzeczywistym\n"
        "                       (domyslnie 1; ulamki dozwolone); bez znaczenia przy --fast\n"
        "  --speed F            zegar stacji biegnie F razy szybciej niz rzeczywisty\n"
        "                       (domyslnie 1); bez znaczenia przy --fast\n"
        "  --duration S         czas pracy w sekundach czasu stacji (domyslnie 0: do SIGTERM)\n"
        "  --start \"RRRR-MM-DD GG:MM:SS\"  zegar stacji przy pierwszej probce (czas\n"
        "                       lokalny; domyslnie teraz)\n"
        "  --fast               bez czekania: czas stacji biegnie tak szybko, jak sie da\n"
        "  --period P           sekundy czasu stacji miedzy probkami stanowiska przy --fast\n"
        "                       (domyslnie 1)\n"
        "  --error-every S      sredni odstep bledow w sekundach czasu stacji (domyslnie 600;\n"
        "                       0: bez bledow)\n"
        "  --counts PLIK        liczby zapisanych probek: 16 linii \"KOD LICZBA\"\n"
        "  --help               ten tekst\n"
        "\n"
        "Strumien: \"TQrunner vr:2.0 pid:PID\\n\" (PID tego procesu), kilka linii\n"
        "startowych, \"Proclog output:\\n\", co takt linia\n"
        "\"GG:MM:SS DATA:\\tcode:K\\tinput:BBBBBBBB\\n\" dla stanowisk 1..16 (bit 0:\n"
        "maszyna wlaczona, bit 1: praca; najstarszy bit pierwszy), linie zdarzen\n"
        "\"GG:MM:SS ERROR:\\tcode:E\\tvalue:V\\n\" i \"GG:MM:SS INFO:\\tSIGUSR1 odebrany\\n\",\n"
        "na koncu \"TQrunner zakonczyl prace\\n\" (po SIGTERM/SIGINT lub po --duration).\n"
        "\n"
        "Rekord worklogu, 12 bajtow: godzina, minuta, sekunda, 0, kod stanowiska (u32),\n"
        "bity wejsc (u32), little-endian. Rekord error.log, 12 bajtow: czas (sekundy\n"
        "od epoki, u32), kod bledu (i32), wartosc (u32), little-endian. Kody bledow:\n"
        "  1 przekroczony czas odpowiedzi slave'a (wartosc: numer slave'a)\n"
        "  2 blad CRC (wartosc: liczba zlych ramek)\n"
        "  3 przepelnienie wejsc (wartosc: kod stanowiska)\n"
        "\n"
        "Na koniec na stderr (i do --counts) liczby probek na stanowisko.\n"
        "Status: 0 koniec, 1 zla linia polecen, 2 strumienia nie mozna otworzyc,\n"
        "3 plikow stacji nie mozna zapisac, 4 czytelnik strumienia odszedl.\n";
}

int parse_sim_options(int argc, char **argv, sim_options &opt, bool &help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        std::string value;
        bool has_value = false;
        if (auto eq = word.find('='); word.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = word.substr(eq + 1);
            word = word.substr(0, eq);
            has_value = true;
        }
        auto need = [&]() -> bool {
            if (has_value)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };
        long n = 0;
        if (word == "--help") {
            help = true;
            return 0;
        } else if (word == "--fast") {
            opt.fast = true;
        } else if (word == "--out" || word == "--output" || word == "--file") {
            if (!need())
                return 1;
            opt.out = value;
            opt.out_is_file = word == "--file";
        } else if (word == "--station-dir") {
            if (!need())
                return 1;
            opt.station_dir = value;
        } else if (word == "--counts") {
            if (!need())
                return 1;
            opt.counts = value;
        } else if (word == "--seed") {
            if (!need() || !to_long(value.c_str(), n))
                return 1;
            opt.seed = std::uint32_t(n);
        } else if (word == "--rate") {
            char *end = nullptr;
            if (!need())
                return 1;
            opt.rate = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(opt.rate > 0) || opt.rate > 1e6)
                return 1;
        } else if (word == "--speed") {
            char *end = nullptr;
            if (!need())
                return 1;
            opt.speed = std::strtod(value.c_str(), &end);
            if (end == value.c_str() || *end != '\0' || !(opt.speed > 0) || opt.speed > 1e6)
                return 1;
        } else if (word == "--duration") {
            if (!need() || !to_long(value.c_str(), n) || n < 0)
                return 1;
            opt.duration = n;
        } else if (word == "--period") {
            if (!need() || !to_long(value.c_str(), n) || n < 1)
                return 1;
            opt.period = n;
        } else if (word == "--error-every") {
            if (!need() || !to_long(value.c_str(), n) || n < 0)
                return 1;
            opt.error_every = int(n);
        } else if (word == "--start") {
            if (!need() || !parse_start(value.c_str(), opt.start))
                return 1;
            opt.start_given = true;
        } else {
            return 1;
        }
    }
    return 0;
}

int run_sim(const sim_options &opt)
{
    install_handlers();
    const std::time_t start = opt.start_given ? opt.start : std::time(nullptr);

    std::unique_ptr<station> st;
    if (!opt.station_dir.empty()) {
        st = std::make_unique<station>(opt.station_dir);
        if (int rc = st->prepare(start); rc != 0)
            return rc;
    }

    file_ptr out;
    if (int rc = open_stream(opt, out); rc != 0 || !out)
        return rc;
    if (opt.fast)
        std::setvbuf(out.get(), nullptr, _IOFBF, 1 << 16);

    std::fprintf(out.get(), "TQrunner vr:%s pid:%d\n", version, int(getpid()));
    std::fputs("Inicjalizacja sprzetu: OK\n", out.get());
    std::fputs("Slave 1: polaczenie OK\n", out.get());
    std::fprintf(out.get(), "Stanowiska: %d\n", workstations);
    if (st)
        std::fprintf(out.get(), "Worklog: %s\n", st->name().c_str());
    std::fputs("Proclog output:\n", out.get());
    std::fflush(out.get());

    pattern pat(opt.seed);
    machine machines[workstations + 1];
    for (int c = 1; c <= workstations; ++c)
        pat.first(machines[c]);
    unsigned long counts[workstations + 1] = {};

    // Station seconds per tick: one sample of every workstation per tick;
    // a tick lasts 1/rate real seconds unless fast.
    const double dt = opt.fast ? double(opt.period) : opt.speed / opt.rate;
    struct timespec deadline {};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    unsigned char records[workstations * 12];
    int status = 0;

    for (long tick = 0;; ++tick) {
        if (!opt.fast)
            wait_until(deadline);
        if (term_seen)
            break;
        const double elapsed = double(tick) * dt;
        if (opt.duration > 0 && elapsed >= double(opt.duration))
            break;
        const std::time_t now = start + std::time_t(elapsed);
        struct tm lt {};
        localtime_r(&now, &lt);
        const unsigned h = unsigned(lt.tm_hour), m = unsigned(lt.tm_min), s = unsigned(lt.tm_sec);

        if (usr1_seen) {
            usr1_seen = 0;
            std::fprintf(out.get(), "%02u:%02u:%02u INFO:\tSIGUSR1 odebrany\n", h, m, s);
        }
        if (!opt.fast) {
            // A signal may have cut the wait short: sample at the deadline only.
            struct timespec now_mono {};
            clock_gettime(CLOCK_MONOTONIC, &now_mono);
            if (now_mono.tv_sec < deadline.tv_sec ||
                (now_mono.tv_sec == deadline.tv_sec && now_mono.tv_nsec < deadline.tv_nsec)) {
                std::fflush(out.get());
                --tick;
                continue;
            }
        }

        if (st) {
            if (int rc = st->follow_list(now); rc != 0) {
                status = rc;
                break;
            }
        }
        for (int c = 1; c <= workstations; ++c) {
            machine &mc = machines[c];
            if (tick > 0)
                pat.step(mc, dt);
            std::fprintf(out.get(), "%02u:%02u:%02u DATA:\tcode:%d\tinput:%s\n", h, m, s, c,
                         itoab(int(mc.input), 8));
            unsigned char *rec = records + (c - 1) * 12;
            rec[0] = std::uint8_t(h);
            rec[1] = std::uint8_t(m);
            rec[2] = std::uint8_t(s);
            rec[3] = 0;
            put_u32(rec + 4, std::uint32_t(c));
            put_u32(rec + 8, mc.input);
            ++counts[c];
        }
        if (st) {
            if (int rc = st->append_samples(records, sizeof records); rc != 0) {
                status = rc;
                break;
            }
        }
        if (opt.error_every > 0 && pat.chance(dt / opt.error_every)) {
            std::int32_t code = std::uniform_int_distribution<int>(1, 3)(pat.rng);
            std::uint32_t value = code == sim_err_slave_timeout ? 1u
                                  : code == sim_err_crc
                                      ? std::uint32_t(std::uniform_int_distribution<int>(1, 5)(pat.rng))
                                      : std::uint32_t(std::uniform_int_distribution<int>(1, workstations)(pat.rng));
            std::fprintf(out.get(), "%02u:%02u:%02u ERROR:\tcode:%d\tvalue:%u\n", h, m, s, int(code), value);
            if (st) {
                if (int rc = st->append_error(now, code, value); rc != 0) {
                    status = rc;
                    break;
                }
            }
        }
        if (!opt.fast && std::fflush(out.get()) != 0) {
            status = 4;
            break;
        }
        if (std::ferror(out.get())) {
            status = 4;
            break;
        }
        if (!opt.fast)
            add_seconds(deadline, 1.0 / opt.rate);
    }

    if (status != 4) {
        std::fputs("TQrunner zakonczyl prace\n", out.get());
        // A reader that signalled us need not stay for the end line.
        if (std::fflush(out.get()) != 0 && !term_seen)
            status = status == 0 ? 4 : status;
    }
    if (status == 4)
        std::fputs("tqrunner_sim: czytelnik strumienia odszedl\n", stderr);
    if (int rc = write_counts(opt, counts); rc != 0 && status == 0)
        status = rc;
    return status;
}

}  // namespace tq
