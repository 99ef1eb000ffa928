// SPDX-License-Identifier: MIT
#pragma once

#include "textcells.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace platform::qt
{

// Draws one line of plain text the way QLabel does (QStyle::drawItemText
// into the label's rectangle, no wrapping), but from glyphs drawn once and
// copied on later repaints. Qt keeps no glyph larger than 64 pixels in its own
// cache and fills such glyphs as paths on every repaint, which is most of what
// the big clock digits cost, and it shapes a line and blends its smaller
// glyphs anew on every repaint. Each glyph here is drawn by Qt once per
// place and pair of colours, alone where it lies, and the pixels it left are
// kept (not moved elsewhere: Qt's path filler leaves a few pixels a level
// apart when the same outline lies whole pixels further along). The other
// digits at the place of a caption's last digit are drawn ahead while the
// whole label is painted. What cannot be reproduced pixel for pixel (glyphs
// whose pixels would touch, ink reaching past the margin allowed for it) Qt
// draws from the line's layout, kept for its text as the glyphs are; a line
// of digits and colons is composed from each laid out alone where the face
// kerns none of their pairs, without shaping; right-to-left or multi-line
// text, and other paint devices, are drawn with QPainter::drawText.
class GlyphCache
{
  public:
    // `budget` bounds the bytes of glyphs kept; the least recently drawn go
    // first.
    explicit GlyphCache(std::size_t budget = 256 * 1024);
    ~GlyphCache();
    GlyphCache(const GlyphCache &) = delete;
    GlyphCache &operator=(const GlyphCache &) = delete;

    // Draws `text` in the painter's font and `ink` into `rect`, aligned
    // (Qt::AlignLeft or Qt::AlignHCenter, with Qt::AlignTop) as QLabel aligns
    // it. The caller has filled the widget, `rect` and all, with the opaque
    // `paper`, as a widget with an auto-filled background is before its paint
    // event: only the glyphs' ink is written. Only what lies in `area` (all of
    // `rect` when null) is drawn: a glyph outside it is neither drawn nor
    // copied. `visible`, where given, is all the user can see of the label
    // (opaque siblings lie over the rest): a glyph reaching beyond it is kept
    // as far as it is seen.
    void draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment, const QString &text,
              const QColor &ink, const QColor &paper, const QRect &area = QRect(),
              const QRect &visible = QRect());

    // The cells of `text` in `font` as draw() places them into `rect` with the
    // painter it was last given, in `ink` on `paper` (ink columns in the
    // painter's coordinates: as drawn for the glyphs held, else from the
    // font's metrics); nothing before the first draw, or for text the one-line
    // layout does not reproduce.
    std::optional<std::vector<TextCell>> cells(const QFont &font, const QRect &rect,
                                               Qt::Alignment alignment, const QString &text,
                                               const QColor &ink, const QColor &paper);

    // What the cache did, which its pictures cannot tell (they are the same
    // either way): for its tests and for profiling.
    struct Counters {
        int copied = 0;   // lines drawn from the cache
        int runs = 0;     // lines drawn by Qt from the layout kept for them
        int plain = 0;    // lines drawn with QPainter::drawText
        int rendered = 0; // glyphs drawn to be kept (first sight in their colours)
        int laidOut = 0;  // lines laid out by Qt (first sight of a text)
        int composed = 0; // lines composed from characters laid out alone
        int ahead = 0;    // glyphs drawn ahead of a caption that shows them
    };
    Counters counters() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::qt
