// The five report writers, plain text and HTML, on standard output.
#include "tqraport.h"

#include <cstdio>
#include <cstring>

namespace tq {

int rap_select_format(const char *text, rap_format *out)
{
    if (std::strcmp(text, "txt") == 0) {
        *out = RAP_TXT;
        return 0;
    }
    if (std::strcmp(text, "html") == 0) {
        *out = RAP_HTML;
        return 0;
    }
    std::fputs("Nieznany format\n", stderr);
    return 1;
}

void rap_print_header(rap_format format, const char *title, const char *date)
{
    if (format == RAP_TXT) {
        std::printf("Typ raportu: %s\nData: %s\n\t", title, date);
        return;
    }
    std::printf("<html>\n<head>\n<title>TQmanager raport\t\t\t\t</title>\n"
                "<meta HTTP-EQUIV=\"Content-type\" \t\t\t\t"
                "CONTENT=\"text/html; charset=utf8\">\n</head>\t\t\t\t\n<body>\n"
                "<h4>Typ raportu: %s.</h4>",
                title);
    std::printf("<h4>Data: %s</h4>\n", date);
    std::fputs("<table border=\"1\" cellspacing=\"0\" \t\t\t\tcellpadding=\"3\">\n"
               "<tr>\n<td  width=\"200\">\t\t\t\t</td>\n",
               stdout);
}

void rap_print_first_row(rap_format format)
{
    for (const char *name : cfg.values) {
        if (format == RAP_TXT)
            std::printf("\t%s", name);
        else
            std::printf("<td  width=\"60\">%s</td>", name);
    }
    std::fputs(format == RAP_TXT ? "\n" : "\n</tr>\n", stdout);
}

void rap_print_first_col(rap_format format, const char *left, const char *right)
{
    if (format == RAP_TXT)
        std::printf("%s %s", left, right);
    else
        std::printf("<tr>\n<td>%s %s</td>", left, right);
}

void rap_print_score_col(rap_format format, const std::uint32_t *score)
{
    for (std::size_t i = 0; i < cfg.values.size(); ++i) {
        if (format == RAP_TXT)
            std::printf("\t%u", static_cast<unsigned>(score[i]));
        else
            std::printf("<td>%u</td>", static_cast<unsigned>(score[i]));
    }
    std::fputs(format == RAP_TXT ? "\n" : "\n\t\t</tr>\n", stdout);
}

void rap_print_ending(rap_format format)
{
    if (format == RAP_TXT)
        std::fputs("Plik wygenerowany przez TQmanager\n", stdout);
    else
        std::fputs("</table><br>\n<small>Plik wygenerowany \t\t\tprzez TQmanager</small>\n"
                   "</body>\n</html>\n",
                   stdout);
}

}  // namespace tq
