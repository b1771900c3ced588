// Start-up and exit of tqraport: "tqraport.ini", "tqdb.ini", the database.
#include "tqraport.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <new>

#include "station_libs.h"

namespace tq {

raport_cfg cfg;

namespace {

// Names of categories without a "values:%i" key: "undef %i" in 30 bytes each.
std::vector<std::array<char, 30>> default_names;

// iniparser reports a missing or malformed file on stderr by itself; the
// program's own message for it is the configuration message alone.
int quiet_ini_errors(const char *, ...)
{
    return 0;
}

// The six shift keys in lookup order, with the field each fills.
struct shift_key {
    const char *key;
    const char *raport_cfg::*field;
};
constexpr shift_key shift_keys[] = {
    {"shift:first_start", &raport_cfg::first_start},
    {"shift:first_end", &raport_cfg::first_end},
    {"shift:second_start", &raport_cfg::second_start},
    {"shift:second_end", &raport_cfg::second_end},
    {"shift:third_start", &raport_cfg::third_start},
    {"shift:third_end", &raport_cfg::third_end},
};

int fill_values()
{
    int n = TQ_score_numb < 0 ? 0 : TQ_score_numb;
    try {
        cfg.values.reserve(n);
        default_names.reserve(n);
    } catch (const std::bad_alloc &) {
        std::fputs("Brak pamięci\n", stderr);
        return 1;
    }
    for (int i = 0; i < n; ++i) {
        char key[32];
        std::snprintf(key, sizeof key, "values:%i", i);
        const char *name = iniparser_getstring(cfg.dict, key, nullptr);
        if (!name) {
            // reserve() above makes this emplace_back allocation-free.
            auto &buf = default_names.emplace_back();
            std::snprintf(buf.data(), buf.size(), "undef %i", i);
            name = buf.data();
        }
        cfg.values.push_back(name);
    }
    return 0;
}

}  // namespace

int init_cfg_and_TQdb()
{
    iniparser_set_error_callback(quiet_ini_errors);
    cfg.dict = iniparser_load("tqraport.ini");
    if (!cfg.dict)
        return 1;
    for (const auto &k : shift_keys) {
        const char *value = iniparser_getstring(cfg.dict, k.key, nullptr);
        if (!value)
            return 1;
        // Refused rather than cut: a cut time would silently move the shift.
        if (std::strlen(value) > shift_time_max) {
            std::fprintf(stderr, "Za długi czas zmiany %s: %s\n", k.key, value);
            return 1;
        }
        cfg.*k.field = value;
    }
    if (int status = fill_values())
        return status;
    cfg.db_cfg = make_TQdb_cfg("tqdb.ini");
    if (!cfg.db_cfg)
        return 1;
    if (TQdb_init(cfg.db_cfg) != 0)
        return 2;
    return 0;
}

void free_cfg_and_TQdb()
{
    if (cfg.dict) {
        iniparser_freedict(cfg.dict);
        cfg.dict = nullptr;
    }
    TQdb_free();
    std::fflush(stdout);
}

}  // namespace tq
