// Scoring of samples per workstation and worker, and the three reports.
#include "tqraport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "station_libs.h"

namespace tq {

namespace {

struct result_free {
    void operator()(MYSQL_RES *r) const { mysql_free_result(r); }
};
using result_set = std::unique_ptr<MYSQL_RES, result_free>;

// Buffer sizes, terminator included: worker name fields, shift times, the
// month report's date texts and the short report's workstation label.
constexpr std::size_t name_size = 40;
constexpr std::size_t shift_size = shift_time_max + 1;
constexpr std::size_t month_date_size = 11;
constexpr std::size_t label_size = 10;

// The library promises text in every column read; a SQL NULL would still
// read as an empty text rather than crash.
const char *column(MYSQL_ROW row, int i)
{
    return row[i] ? row[i] : "";
}

// One score array per report, cfg.values.size() counters.
int make_score(std::vector<std::uint32_t> &score)
{
    try {
        score.assign(cfg.values.size(), 0);
    } catch (const std::bad_alloc &) {
        std::fputs("Brak pamięci\n", stderr);
        return 2;
    }
    return 0;
}

void zero_score(std::vector<std::uint32_t> &score)
{
    std::fill(score.begin(), score.end(), 0u);
}

// A text longer than the buffer is cut there, never written past it.
void copy_text(char *dst, std::size_t size, const char *src)
{
    std::snprintf(dst, size, "%s", src);
}

// Writes one data row per worker; day(score, first, second) adds that
// worker's counts for the report's date or dates.
template <typename Scorer>
int workers_report(rap_format format, Scorer day)
{
    if (TQdb_get_workers() != 0)
        return 2;
    result_set workers(TQdb_store_result());
    if (!workers)
        return 2;
    std::vector<std::uint32_t> score;
    if (int status = make_score(score))
        return status;
    while (MYSQL_ROW row = mysql_fetch_row(workers.get())) {
        char first[name_size], second[name_size];
        copy_text(first, sizeof first, column(row, 0));
        copy_text(second, sizeof second, column(row, 1));
        rap_print_first_col(format, first, second);
        zero_score(score);
        if (int status = day(score.data(), first, second))
            return status;
        rap_print_score_col(format, score.data());
    }
    rap_print_ending(format);
    return 0;
}

}  // namespace

int gen_workstation_score(const char *date, const char *start, const char *end,
                          int workstation, std::uint32_t *score)
{
    // A category the score array has no counter for is left out of the counts;
    // the operator is told once per run.
    static bool told_unknown_category = false;

    TQdb_reset_connection(cfg.db_cfg);
    if (TQdb_get_input(date, start, end, workstation) != 0)
        return 2;
    result_set input(TQdb_store_result());
    if (!input)
        return 2;
    TQs_analis_reset();
    TQs_data sample{};
    sample.code = static_cast<std::uint32_t>(workstation);
    const int categories = static_cast<int>(cfg.values.size());
    while (MYSQL_ROW row = mysql_fetch_row(input.get())) {
        sample.input = static_cast<std::uint32_t>(std::atoi(column(row, 0)));
        atotms2(column(row, 1), &sample.time);
        int k = TQs_data_analis(&sample);
        if (k >= 0 && k < categories) {
            ++score[k];
        } else if (!told_unknown_category) {
            told_unknown_category = true;
            std::fprintf(stderr, "Nieznana kategoria #%i, próbka pominięta\n", k);
        }
    }
    return 0;
}

int gen_workers_day_score(const char *date, const char *left, const char *right,
                          std::uint32_t *score)
{
    TQdb_reset_connection(cfg.db_cfg);
    if (TQdb_get_work(left, right, date) != 0)
        return 2;
    result_set work(TQdb_store_result());
    if (!work)
        return 2;
    while (MYSQL_ROW row = mysql_fetch_row(work.get())) {
        char start[shift_size], end[shift_size];
        int shift = std::atoi(column(row, 1));
        switch (shift) {
        case 1:
            copy_text(start, sizeof start, cfg.first_start);
            copy_text(end, sizeof end, cfg.first_end);
            break;
        case 2:
            copy_text(start, sizeof start, cfg.second_start);
            copy_text(end, sizeof end, cfg.second_end);
            break;
        case 3:
            copy_text(start, sizeof start, cfg.third_start);
            copy_text(end, sizeof end, cfg.third_end);
            break;
        default:
            std::fprintf(stderr, "Nieznana zmiana #%u\n", static_cast<unsigned>(shift));
            return 5;
        }
        int workstation = std::atoi(column(row, 0));
        if (int status = gen_workstation_score(date, start, end, workstation, score))
            return status;
    }
    return 0;
}

int generate_day_raport(const char *date, const char *format_text)
{
    rap_format format;
    if (int status = rap_select_format(format_text, &format))
        return status;
    rap_print_header(format, "Pracownicy - pojedynczy dzien", date);
    rap_print_first_row(format);
    return workers_report(format, [date](std::uint32_t *score, const char *first,
                                         const char *second) {
        return gen_workers_day_score(date, first, second, score);
    });
}

int generate_month_raport(int year, int month, const char *format_text)
{
    rap_format format;
    if (int status = rap_select_format(format_text, &format))
        return status;
    // Day 31 gives the longest day text; a year or month whose texts do not
    // fit the 10 characters is refused before any output, never cut.
    char header_date[month_date_size], day_date[month_date_size];
    int header_len = std::snprintf(header_date, sizeof header_date, "%i-%i", year, month);
    int day_len = std::snprintf(day_date, sizeof day_date, "%u-%u-%u",
                                static_cast<unsigned>(year), static_cast<unsigned>(month), 31u);
    if (header_len >= static_cast<int>(month_date_size) ||
        day_len >= static_cast<int>(month_date_size)) {
        std::fprintf(stderr, "Nieprawidłowy rok lub miesiąc: %i-%i\n", year, month);
        return 1;
    }
    rap_print_header(format, "Pracownicy - pojedynczy miesiac", header_date);
    rap_print_first_row(format);
    return workers_report(format, [year, month](std::uint32_t *score, const char *first,
                                                const char *second) {
        char date[month_date_size];
        for (unsigned day = 1; day <= 31; ++day) {
            std::snprintf(date, sizeof date, "%u-%u-%u", static_cast<unsigned>(year),
                          static_cast<unsigned>(month), day);
            if (int status = gen_workers_day_score(date, first, second, score))
                return status;
        }
        return 0;
    });
}

int generate_short_raport(const char *date, const char *start, const char *end,
                          int workstation, const char *format_text)
{
    rap_format format;
    if (int status = rap_select_format(format_text, &format))
        return status;
    char label[label_size];
    if (std::snprintf(label, sizeof label, "%i", workstation) >= static_cast<int>(label_size)) {
        std::fprintf(stderr, "Nieprawidłowy numer stanowiska: %i\n", workstation);
        return 1;
    }
    rap_print_header(format, "Stanowisko - krotki przedzial czasu", date);
    rap_print_first_row(format);
    std::vector<std::uint32_t> score;
    if (int status = make_score(score))
        return status;
    if (int status = gen_workstation_score(date, start, end, workstation, score.data()))
        return status;
    rap_print_first_col(format, "Stanowisko nr", label);
    rap_print_score_col(format, score.data());
    rap_print_ending(format);
    return 0;
}

}  // namespace tq
