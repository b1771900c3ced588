// libkelstdc: small text and time-of-day utilities.
//
// Returned texts and tms records are interned: each distinct value is stored
// once, in a node-based container whose nodes never move or die, and every
// caller asking for that value gets the same immutable record. A returned
// pointer therefore stays valid and unchanged for the whole process, and
// memory is bounded by the number of distinct values (at most 256^3 time
// records; at most 2^n texts of width n, since only the low n bits of a
// value reach its text), never by the number of calls.
#include "station_libs.h"

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <utility>

namespace tq {
namespace {

std::mutex intern_lock;

const tms *intern_tms(const tms &t)
{
    static std::map<std::uint32_t, tms> pool;
    std::uint32_t key = (std::uint32_t(t.hour) << 16) | (std::uint32_t(t.minute) << 8) | t.second;
    std::lock_guard<std::mutex> guard(intern_lock);
    auto it = pool.try_emplace(key, t).first;
    return &it->second;
}

// Parses one field of one or two decimal digits; advances p.
bool parse_field(const char *&p, unsigned &out)
{
    if (*p < '0' || *p > '9')
        return false;
    out = unsigned(*p++ - '0');
    if (*p >= '0' && *p <= '9')
        out = out * 10 + unsigned(*p++ - '0');
    return true;
}

bool parse_tms(const char *text, tms &out)
{
    if (text == nullptr)
        return false;
    unsigned h, m, s;
    const char *p = text;
    if (!parse_field(p, h) || *p++ != ':' || !parse_field(p, m) || *p++ != ':' ||
        !parse_field(p, s) || *p != '\0')
        return false;
    if (h > 23 || m > 59 || s > 59)
        return false;
    out = tms{std::uint8_t(h), std::uint8_t(m), std::uint8_t(s)};
    return true;
}

}  // namespace

std::uint32_t abtoi(const char *bits, int n)
{
    std::uint32_t v = 0;
    if (bits == nullptr)
        return 0;
    for (int i = 0; i < n && bits[i] != '\0'; ++i)
        v = (v << 1) | (bits[i] == '1' ? 1u : 0u);
    return v;
}

const char *itoab(int value, int n)
{
    static std::map<std::pair<std::uint32_t, int>, std::string> pool;
    if (n < 0)
        n = 0;
    std::uint32_t v = std::uint32_t(value);
    if (n < 32)
        v &= (1u << n) - 1u;
    std::lock_guard<std::mutex> guard(intern_lock);
    auto [it, fresh] = pool.try_emplace({v, n});
    if (fresh) {
        std::string &text = it->second;
        text.resize(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            int bit = n - 1 - i;
            text[std::size_t(i)] = (bit < 32 && ((v >> bit) & 1u)) ? '1' : '0';
        }
    }
    return it->second.c_str();
}

const tms *atotms(const char *text)
{
    tms t;
    if (!parse_tms(text, t))
        return nullptr;
    return intern_tms(t);
}

int atotms2(const char *text, tms *out)
{
    tms t;
    if (out == nullptr || !parse_tms(text, t))
        return 1;
    *out = t;
    return 0;
}

const tms *difftms(const tms *a, const tms *b)
{
    if (a == nullptr || b == nullptr)
        return nullptr;
    int d = tms_to_sec(a) - tms_to_sec(b);
    if (d < 0)
        d = -d;
    return intern_tms(tms{std::uint8_t(d / 3600), std::uint8_t(d / 60 % 60), std::uint8_t(d % 60)});
}

int tms_equal(const tms *a, const tms *b)
{
    if (a == nullptr || b == nullptr)
        return 0;
    return a->hour == b->hour && a->minute == b->minute && a->second == b->second;
}

int tms_to_sec(const tms *t)
{
    if (t == nullptr)
        return -1;
    return t->hour * 3600 + t->minute * 60 + t->second;
}

int strcatch(char *s, int c)
{
    std::size_t len = std::strlen(s);
    if (len == 0 || s[len - 1] != char(c)) {
        s[len] = char(c);
        s[len + 1] = '\0';
    }
    return 0;
}

}  // namespace tq
