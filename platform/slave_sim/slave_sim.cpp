#include "slave_sim.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <getopt.h>
#include <netinet/in.h>
#include <random>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int input_count = 16;
constexpr int counter_register = 0;
constexpr int listen_backlog = 8;

volatile std::sig_atomic_t stop_requested = 0;

void on_stop_signal(int)
{
    stop_requested = 1;
}

const char usage_text[] =
    "Uzycie: tqslave_sim [opcje]\n"
    "Symulator slave'a Modbus TCP: 16 wejsc dyskretnych (0..15) i licznik\n"
    "probek w rejestrze wejsciowym 0.\n"
    "  --address ADRES   adres IPv4 nasluchu (domyslnie 127.0.0.1)\n"
    "  --port PORT       port TCP (domyslnie 1502; 0: dowolny wolny)\n"
    "  --port-file PLIK  zapisz numer portu do pliku\n"
    "  --unit N          numer jednostki (domyslnie 1)\n"
    "  --period MS       odstep miedzy probkami w ms (domyslnie 1000)\n"
    "  --seed N          ziarno zmian wejsc (domyslnie 1)\n"
    "  --fixed WARTOSC   stala wartosc wejsc (np. 0xA5C3)\n"
    "  --stall           jedna probka na starcie, potem licznik stoi\n"
    "  --help            ten tekst\n";

// Whole-text unsigned number (decimal, 0x hex or 0 octal) within [lo, hi].
bool parse_number(const char *text, unsigned long lo, unsigned long hi, unsigned long &out)
{
    if (text == nullptr || *text == '\0' || *text == '-')
        return false;
    errno = 0;
    char *end = nullptr;
    unsigned long v = std::strtoul(text, &end, 0);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool write_port_file(const std::string &path, int port)
{
    std::string tmp = path + ".tmp";
    std::FILE *f = std::fopen(tmp.c_str(), "w");
    if (f == nullptr)
        return false;
    bool ok = std::fprintf(f, "%d\n", port) > 0;
    ok = std::fclose(f) == 0 && ok;
    // Renamed into place so that a reader never sees a half-written number.
    return ok && std::rename(tmp.c_str(), path.c_str()) == 0;
}

struct server {
    modbus_t *ctx = nullptr;
    modbus_mapping_t *map = nullptr;
    int listen_fd = -1;
    std::vector<int> clients;

    ~server()
    {
        for (int fd : clients)
            ::close(fd);
        if (listen_fd >= 0)
            ::close(listen_fd);
        if (map != nullptr)
            modbus_mapping_free(map);
        if (ctx != nullptr) {
            modbus_set_socket(ctx, -1);
            modbus_free(ctx);
        }
    }
};

struct sampler {
    const slave_sim_options &opts;
    std::mt19937 rng;
    std::uint16_t inputs;

    explicit sampler(const slave_sim_options &o)
        : opts(o), rng(o.seed), inputs(o.fixed ? o.fixed_value : std::uint16_t(rng() & 0xFFFFu))
    {
    }

    // Flips each input with a chance of one in four, then stores the inputs
    // and advances the counter.
    void sample(modbus_mapping_t *map)
    {
        if (!opts.fixed)
            inputs ^= std::uint16_t(rng() & rng() & 0xFFFFu);
        for (int i = 0; i < input_count; ++i)
            map->tab_input_bits[i] = (inputs >> i) & 1u;
        ++map->tab_input_registers[counter_register];
    }
};

// Answers one request of a readable client; false when the client is gone.
bool serve_client(server &srv, int fd, int unit)
{
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    modbus_set_socket(srv.ctx, fd);
    int len = modbus_receive(srv.ctx, query);
    if (len < 0)
        return false;
    if (len == 0)
        return true;
    // Over TCP libmodbus answers any unit id; this slave answers only its own.
    int unit_at = modbus_get_header_length(srv.ctx) - 1;
    if (query[unit_at] != unit)
        return modbus_reply_exception(srv.ctx, query, MODBUS_EXCEPTION_GATEWAY_TARGET) >= 0;
    return modbus_reply(srv.ctx, query, len, srv.map) >= 0;
}

}  // namespace

int slave_sim_parse(int argc, char **argv, slave_sim_options &opts)
{
    enum { opt_address = 256, opt_port, opt_port_file, opt_unit, opt_period, opt_seed, opt_fixed, opt_stall, opt_help };
    static const option longopts[] = {
        {"address", required_argument, nullptr, opt_address},
        {"port", required_argument, nullptr, opt_port},
        {"port-file", required_argument, nullptr, opt_port_file},
        {"unit", required_argument, nullptr, opt_unit},
        {"period", required_argument, nullptr, opt_period},
        {"seed", required_argument, nullptr, opt_seed},
        {"fixed", required_argument, nullptr, opt_fixed},
        {"stall", no_argument, nullptr, opt_stall},
        {"help", no_argument, nullptr, opt_help},
        {nullptr, 0, nullptr, 0},
    };
    optind = 0;  // a fresh scan on every call
    int c;
    unsigned long v;
    while ((c = getopt_long(argc, argv, "", longopts, nullptr)) != -1) {
        switch (c) {
        case opt_address: {
            in_addr a;
            if (inet_pton(AF_INET, optarg, &a) != 1)
                goto bad_value;
            opts.address = optarg;
            break;
        }
        case opt_port:
            if (!parse_number(optarg, 0, 65535, v))
                goto bad_value;
            opts.port = int(v);
            break;
        case opt_port_file:
            opts.port_file = optarg;
            break;
        case opt_unit:
            if (!parse_number(optarg, 0, 255, v))
                goto bad_value;
            opts.unit = int(v);
            break;
        case opt_period:
            if (!parse_number(optarg, 1, 3600000, v))
                goto bad_value;
            opts.period_ms = int(v);
            break;
        case opt_seed:
            if (!parse_number(optarg, 0, 0xFFFFFFFFul, v))
                goto bad_value;
            opts.seed = std::uint32_t(v);
            break;
        case opt_fixed:
            if (!parse_number(optarg, 0, 0xFFFF, v))
                goto bad_value;
            opts.fixed = true;
            opts.fixed_value = std::uint16_t(v);
            break;
        case opt_stall:
            opts.stall = true;
            break;
        case opt_help:
            std::fputs(usage_text, stdout);
            return -1;
        default:
            std::fputs(usage_text, stderr);
            return 1;
        }
        continue;
    bad_value:
        std::fprintf(stderr, "Zla wartosc opcji --%s: %s\n", longopts[c - opt_address].name, optarg);
        return 1;
    }
    if (optind < argc) {
        std::fprintf(stderr, "Nieoczekiwany argument: %s\n", argv[optind]);
        return 1;
    }
    return 0;
}

int slave_sim_run(const slave_sim_options &opts)
{
    // The stop signals stay blocked except inside pselect, so a signal can
    // never slip in between the flag test and the wait.
    sigset_t stop_set, wait_mask;
    sigemptyset(&stop_set);
    sigaddset(&stop_set, SIGTERM);
    sigaddset(&stop_set, SIGINT);
    sigprocmask(SIG_BLOCK, &stop_set, &wait_mask);
    sigdelset(&wait_mask, SIGTERM);
    sigdelset(&wait_mask, SIGINT);
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    stop_requested = 0;

    server srv;
    srv.ctx = modbus_new_tcp(opts.address.c_str(), opts.port);
    srv.map = modbus_mapping_new(0, input_count, 0, 1);
    if (srv.ctx == nullptr || srv.map == nullptr) {
        std::fprintf(stderr, "Blad podczas przygotowania serwera Modbus\n");
        return 2;
    }
    srv.listen_fd = modbus_tcp_listen(srv.ctx, listen_backlog);
    if (srv.listen_fd < 0) {
        std::fprintf(stderr, "Blad podczas otwierania portu %d: %s\n", opts.port, modbus_strerror(errno));
        return 2;
    }
    sockaddr_in bound{};
    socklen_t bound_len = sizeof bound;
    if (getsockname(srv.listen_fd, reinterpret_cast<sockaddr *>(&bound), &bound_len) != 0) {
        std::fprintf(stderr, "Blad podczas odczytu portu\n");
        return 2;
    }
    int port = ntohs(bound.sin_port);
    if (!opts.port_file.empty() && !write_port_file(opts.port_file, port)) {
        std::fprintf(stderr, "Blad podczas zapisu pliku %s\n", opts.port_file.c_str());
        return 2;
    }
    std::fprintf(stderr, "tqslave_sim: %s:%d, jednostka %d\n", opts.address.c_str(), port, opts.unit);

    using clock = std::chrono::steady_clock;
    const auto period = std::chrono::milliseconds(opts.period_ms);
    sampler inputs(opts);
    inputs.sample(srv.map);
    auto next_sample = clock::now() + period;

    while (!stop_requested) {
        auto now = clock::now();
        if (now >= next_sample) {
            if (!opts.stall)
                inputs.sample(srv.map);
            next_sample += period;
            if (next_sample <= now)  // fell behind: no burst of samples
                next_sample = now + period;
        }
        auto wait_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(next_sample - now).count();
        timespec wait{time_t(wait_ns / 1000000000), long(wait_ns % 1000000000)};

        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(srv.listen_fd, &readable);
        int max_fd = srv.listen_fd;
        for (int fd : srv.clients) {
            FD_SET(fd, &readable);
            if (fd > max_fd)
                max_fd = fd;
        }
        int ready = pselect(max_fd + 1, &readable, nullptr, nullptr, &wait, &wait_mask);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "Blad podczas oczekiwania na klientow\n");
            return 2;
        }
        if (ready == 0)
            continue;
        if (FD_ISSET(srv.listen_fd, &readable)) {
            int fd = ::accept(srv.listen_fd, nullptr, nullptr);
            if (fd >= FD_SETSIZE)
                ::close(fd);  // beyond what select can watch
            else if (fd >= 0)
                srv.clients.push_back(fd);
        }
        for (std::size_t i = 0; i < srv.clients.size();) {
            int fd = srv.clients[i];
            if (FD_ISSET(fd, &readable) && !serve_client(srv, fd, opts.unit)) {
                ::close(fd);
                srv.clients.erase(srv.clients.begin() + long(i));
            } else {
                ++i;
            }
        }
    }
    return 0;
}

int slave_sim_main(int argc, char **argv)
{
    slave_sim_options opts;
    int rc = slave_sim_parse(argc, argv, opts);
    if (rc < 0)
        return 0;
    if (rc > 0)
        return rc;
    return slave_sim_run(opts);
}
