// The score file: the whole score table as fixed-width text.
#pragma once

#include <cstdint>

namespace tq {

// Writes table (rows x categories counts, row-major) to path, created or
// truncated: a header line of TAB and each category index "%5u", then per
// row the workstation number "%2u\t" and each count "%5u", every line ended
// by LF. Gives 0 when path cannot be opened (nothing written), else the
// result of closing the file (0 when everything reached it).
int save_scores(const std::uint32_t *table, int rows, int categories, const char *path);

}  // namespace tq
