// tqraport: the report generator of the management side.
//
// One run writes one report (day, month or short) to standard output, as
// plain text or as an HTML page; messages go to standard error and the
// outcome is the exit status:
//   0 report complete, 1 configuration unusable or a refused argument value
//   (format, too long date or label), 2 database failure or no memory,
//   3 argument count, 4 unknown option word, 5 unknown shift in a work record.
// Every operation returns such a status; the first non-zero one is passed up
// unchanged.
//
// Ownership: `cfg` is filled once by init_cfg_and_TQdb and lives until the
// process ends; its texts belong to the ini dictionary or to the module's own
// storage. Result sets are released by the operation that took them.
#pragma once

#include <cstdint>
#include <vector>

#include <iniparser/iniparser.h>

#include "database_lib.h"

namespace tq {

struct raport_cfg {
    dictionary *dict = nullptr;
    // Shift times, each at most 8 characters (hh:mm:ss); owned by dict.
    const char *first_start = nullptr;
    const char *first_end = nullptr;
    const char *second_start = nullptr;
    const char *second_end = nullptr;
    const char *third_start = nullptr;
    const char *third_end = nullptr;
    // Category names, TQ_score_numb of them, index order; empty until start-up
    // reaches them.
    std::vector<const char *> values;
    TQdb_cfg *db_cfg = nullptr;
};

extern raport_cfg cfg;

// Longest shift time text: the interval buffers hold 9 characters.
constexpr int shift_time_max = 8;

// 0 ready; 1 "tqraport.ini" unusable, a shift key absent or too long, no
// handle from "tqdb.ini" or no memory; 2 TQdb_init failed. Writes no message
// of its own except for a too long shift time and a lack of memory.
int init_cfg_and_TQdb();
// Exit handler: releases the dictionary, calls TQdb_free, flushes stdout.
void free_cfg_and_TQdb();

// ---- rendering --------------------------------------------------------------

enum rap_format { RAP_TXT = 0, RAP_HTML = 1 };

// "txt" or "html", whole and case-sensitive; otherwise "Nieznany format\n"
// on stderr and 1.
int rap_select_format(const char *text, rap_format *out);

// Texts are written byte for byte, without escaping; counts and names are
// cfg.values.size() long.
void rap_print_header(rap_format format, const char *title, const char *date);
void rap_print_first_row(rap_format format);
void rap_print_first_col(rap_format format, const char *left, const char *right);
void rap_print_score_col(rap_format format, const std::uint32_t *score);
void rap_print_ending(rap_format format);

// ---- scoring and reports ------------------------------------------------------

// score has cfg.values.size() counters; both only add to it.
int gen_workstation_score(const char *date, const char *start, const char *end,
                          int workstation, std::uint32_t *score);
int gen_workers_day_score(const char *date, const char *left, const char *right,
                          std::uint32_t *score);

int generate_day_raport(const char *date, const char *format);
int generate_month_raport(int year, int month, const char *format);
int generate_short_raport(const char *date, const char *start, const char *end,
                          int workstation, const char *format);

// The command line after the exit handler is registered: statuses and
// messages of the whole program.
int raport_dispatch(int argc, char **argv);

}  // namespace tq
