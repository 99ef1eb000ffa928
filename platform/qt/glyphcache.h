// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QRect>
#include <QString>

#include <cstddef>
#include <memory>

class QPainter;

namespace platform::qt
{

// Draws one line of plain text the way QLabel does (QStyle::drawItemText
// into the label's rectangle, no wrapping), but from glyphs rendered once and
// copied on later repaints. Qt keeps no glyph larger than 64 pixels in its own
// cache and fills such glyphs as paths on every repaint, which is most of what
// the big clock digits cost. Each glyph here is rendered once per sub-pixel
// position; whatever cannot be reproduced pixel for pixel (small fonts, which
// Qt caches itself, right-to-left or multi-line text, glyphs whose pixels
// would touch, other paint devices) is drawn with QPainter::drawText instead.
class GlyphCache
{
  public:
    // `budget` bounds the bytes of glyph coverage kept, `readyBudget` those
    // of glyphs decoded in their colours; the least recently drawn go first.
    explicit GlyphCache(std::size_t budget = 192 * 1024, std::size_t readyBudget = 128 * 1024);
    ~GlyphCache();
    GlyphCache(const GlyphCache &) = delete;
    GlyphCache &operator=(const GlyphCache &) = delete;

    // Draws `text` in the painter's font and `ink` into `rect`, aligned
    // (Qt::AlignLeft or Qt::AlignHCenter, with Qt::AlignTop) as QLabel aligns
    // it. The caller has filled the widget, `rect` and all, with the opaque
    // `paper`, as a widget with an auto-filled background is before its paint
    // event: copied glyphs bring their background with them.
    void draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment, const QString &text,
              const QColor &ink, const QColor &paper);

    // Bytes held for rendered glyphs.
    std::size_t bytes() const;

    struct Counters {
        int copied = 0;   // lines drawn from the cache
        int plain = 0;    // lines drawn with QPainter::drawText
        int rendered = 0; // glyph renders (first sight of a glyph or colour)
    };
    Counters counters() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform::qt
