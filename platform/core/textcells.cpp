// SPDX-License-Identifier: MIT
#include "textcells.h"

#include <algorithm>

namespace platform
{

ColumnSpan changedColumns(const std::vector<TextCell> &shown, const std::vector<TextCell> &next)
{
    ColumnSpan span;
    const auto add = [&span](const TextCell &cell) {
        if (cell.inkRight <= cell.inkLeft)
            return; // a blank inks nothing
        if (span.empty()) {
            span = {cell.inkLeft, cell.inkRight};
            return;
        }
        span.left = std::min(span.left, cell.inkLeft);
        span.right = std::max(span.right, cell.inkRight);
    };
    // Cells pair up in the order of the line: a glyph put in or taken out
    // moves those after it, which then differ too.
    const std::size_t common = std::min(shown.size(), next.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (!(shown[i] == next[i])) {
            add(shown[i]);
            add(next[i]);
        }
    }
    for (std::size_t i = common; i < shown.size(); ++i)
        add(shown[i]);
    for (std::size_t i = common; i < next.size(); ++i)
        add(next[i]);
    return span;
}

} // namespace platform
