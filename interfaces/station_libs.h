// Station support libraries: the sample and time-of-day records and the
// functions of libtqanalis (classification), libtqwork (hardware, slave,
// file utilities) and libkelstdc (text and time-of-day utilities).
//
// Everything lives in namespace tq, so our tms never meets the POSIX
// struct tms of <sys/times.h>. Programs write `using namespace tq;` in their
// own source files, never in headers.
//
// Ownership: texts and tms records returned by itoab, atotms and difftms are
// owned by the library, stay valid and unchanged for the whole process and
// are never released by callers (see docs/libraries.md).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace tq {

// A time of day; each field an unsigned byte, stored without range tests.
struct tms {
    std::uint8_t hour;
    std::uint8_t minute;
    std::uint8_t second;
};

// One sample of one workstation.
struct TQs_data {
    tms time;
    std::uint32_t code;   // workstation number, 1..16 at a station
    std::uint32_t input;  // input bits, bit 0 the lowest
};

// ---- libtqanalis ----------------------------------------------------------

// Number of sample categories; one value (4) for the whole run.
extern int TQ_score_numb;

// Readies the classifier; 0 when ready.
int TQs_analis_init();
// Clears the state of every workstation; always 0.
int TQs_analis_reset();
// Category of one sample, 0..TQ_score_numb-1:
//   1 machine off (bit 0 clear), 2 idle (bit 0 set, bit 1 clear),
//   0 work continuing (bits 0 and 1 set, the same workstation's previous
//     sample had bit 1 set and came at most 5 seconds earlier),
//   3 start of work (bits 0 and 1 set otherwise).
// State is kept per workstation code.
int TQs_data_analis(const TQs_data *s);

// ---- libtqwork -------------------------------------------------------------

// Plain file names of the worklog list ("wl.set") and of the error log
// ("error.log").
extern const char *TQ_wlset_name;
extern const char *TQ_errorlog_name;

// Station hardware set-up; 0 when ready.
int TQ_hard_init();
// Connects to the data acquisition slave: "HOST:PORT" for Modbus TCP or a
// device path beginning with '/' for Modbus RTU; n is the unit id.
// 0 when the slave answered.
int TQs_init(const char *slave, int n);
// One poll of the slave: its 16 input bits, -2 when the read failed, -1 when
// the slave has no new data since the previous poll.
int TQs_data_cycle(int n);
// 0 when dst holds an exact byte copy of src; non-zero on any failure.
int copy(const char *src, const char *dst);
// Worklog name for t into out (room for 12): t as 10 decimal digits,
// zero-padded. Always 0.
int scode_date(char *out, std::time_t t);
// MD5 of f's content from its position to its end, 16 raw bytes into d.
// 0 on success, non-zero on a read or digest failure (d is then zeroed).
int md5file(std::FILE *f, unsigned char d[16]);

// ---- libkelstdc -------------------------------------------------------------

// Value of the n binary digits at bits, most significant first; '1' is a one
// bit, any other character a zero bit. n above 32 keeps the low 32 bits.
std::uint32_t abtoi(const char *bits, int n);
// Text of n binary digits of value, most significant first (library-owned).
const char *itoab(int value, int n);
// Parses "H:M:S", each field one or two digits, hour < 24, minute and
// second < 60, nothing else; null when the text is no time (library-owned).
const tms *atotms(const char *text);
// The same parse into out; 0 on success, non-zero (out untouched) otherwise.
int atotms2(const char *text, tms *out);
// Absolute difference of a and b, no wrap-around over midnight
// (library-owned).
const tms *difftms(const tms *a, const tms *b);
// Non-zero when hour, minute and second are all equal.
int tms_equal(const tms *a, const tms *b);
// hour*3600 + minute*60 + second.
int tms_to_sec(const tms *t);
// Makes s end with c: appends c unless s already ends with it. s must have
// room for one more character. Always 0.
int strcatch(char *s, int c);

}  // namespace tq
