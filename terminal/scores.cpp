#include "scores.h"

#include <cstdio>
#include <memory>

namespace tq {

int save_scores(const std::uint32_t *table, int rows, int categories, const char *path)
{
    struct closer {
        void operator()(std::FILE *f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, closer> file(std::fopen(path, "w"));
    if (!file)
        return 0;
    std::FILE *f = file.get();
    std::fputc('\t', f);
    for (int c = 0; c < categories; ++c)
        std::fprintf(f, "%5u", unsigned(c));
    std::fputc('\n', f);
    for (int r = 0; r < rows; ++r) {
        std::fprintf(f, "%2u\t", unsigned(r + 1));
        for (int c = 0; c < categories; ++c)
            std::fprintf(f, "%5u", unsigned(table[r * categories + c]));
        std::fputc('\n', f);
    }
    // The close's result tells whether everything reached the file.
    return std::fclose(file.release());
}

}  // namespace tq
