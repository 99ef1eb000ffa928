// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <vector>

namespace platform
{

// One glyph of a label's line as its back end lays it out: which glyph of
// which face, where its pen stands and the pixel columns its ink may reach,
// all from the label's left edge. A back end compares only its own cells, so
// the glyph number and the pen's unit are its own. Two cells are the same
// glyph in the same place whatever is known of their ink: a back end may
// know it better once the glyph has been drawn.
struct TextCell {
    std::uint32_t glyph = 0;
    int pen = 0;
    int inkLeft = 0;  // first column
    int inkRight = 0; // one past the last
    bool operator==(const TextCell &o) const { return glyph == o.glyph && pen == o.pen; }
};

// The characters the clock's captions of digits are made of (the time, the
// seconds, the counter): the back ends prepare them ahead of showing them.
inline constexpr char16_t CaptionDigits[] = u"0123456789:";

// Pixel columns from `left` up to `right`, none when right <= left.
struct ColumnSpan {
    int left = 0;
    int right = 0;
    bool empty() const { return right <= left; }
    bool operator==(const ColumnSpan &o) const
    {
        return (empty() && o.empty()) || (left == o.left && right == o.right);
    }
};

// What a label repaints when its caption changes from the line laid out as
// `shown` to the one laid out as `next`: the columns of every cell that is
// not the same glyph at the same place in both, where its ink was and where
// it goes. A cell that stays where it was is left as it is on screen, and a
// caption set to the text it shows repaints nothing.
ColumnSpan changedColumns(const std::vector<TextCell> &shown, const std::vector<TextCell> &next);

} // namespace platform
