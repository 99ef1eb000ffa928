// SPDX-License-Identifier: MIT
#include "glyphcache.h"

#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <QRegion>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace platform::qt
{

namespace
{

// Glyphs per line beyond which the overlap check is not worth it.
constexpr int MaxGlyphs = 64;
// Lines kept: a resync counter's 180 captions among them.
constexpr int MaxLines = 256;

// Sub-pixel positions are 1/64 pixel, as the text engine keeps them.
constexpr int Subpixels = 64;

// A glyph is kept for one pen position and one device offset: the path
// filler rounds in device coordinates, so the same outline drawn one pixel
// further along may cover a pixel or two by one level more or less.
struct GlyphKey {
    QRawFont font;
    quint32 glyph = 0;
    QPoint pen;    // in 1/64 pixel, painter coordinates
    QPoint offset; // of the painter in its device
    int hints = 0;
    bool operator==(const GlyphKey &o) const
    {
        return glyph == o.glyph && pen == o.pen && offset == o.offset && hints == o.hints &&
               font == o.font;
    }
};

size_t qHash(const GlyphKey &k, size_t seed = 0) noexcept
{
    return qHashMulti(seed, k.font, k.glyph, k.pen.x(), k.pen.y(), k.offset.x(), k.offset.y(),
                      k.hints);
}

// The colours a glyph is drawn in and the pixel format they are written in.
struct Colours {
    QRgb ink = 0;
    QRgb paper = 0;
    QImage::Format format = QImage::Format_Invalid;
    bool operator==(const Colours &o) const
    {
        return ink == o.ink && paper == o.paper && format == o.format;
    }
};

struct PaintedKey {
    GlyphKey glyph;
    Colours colours;
    bool operator==(const PaintedKey &o) const { return glyph == o.glyph && colours == o.colours; }
};

size_t qHash(const PaintedKey &k, size_t seed = 0) noexcept
{
    return qHashMulti(seed, k.glyph, k.colours.ink, k.colours.paper, int(k.colours.format));
}

// The pixels drawText leaves for one glyph in one pair of colours, kept
// run-length coded over its ink rectangle, row by row; each token is a byte:
// 00nnnnnn n+1 paper pixels, 01nnnnnn n+1 solid ones (the ink at full
// coverage), 1nnnnnnn n+1 of the literal pixels, which are kept apart.
struct Glyph {
    QRect ink; // painter coordinates; empty: nothing to draw
    std::vector<std::uint8_t> tokens;
    std::vector<quint32> literals;
    struct Row {
        std::uint32_t token = 0;
        std::uint32_t literal = 0;
    };
    std::vector<Row> rows; // where each row starts
    quint32 paper = 0;
    quint32 solid = 0;
    bool usable = false; // false: its line is left to Qt
    QRect clippedBy;     // where the line's rectangle or the label's sight cut the ink
    std::size_t bytes() const
    {
        return sizeof(Glyph) + tokens.capacity() + literals.capacity() * sizeof(quint32) +
               rows.capacity() * sizeof(Row) + 64;
    }
};

struct Line {
    QFont font;
    QRect rect;
    int alignment = 0;
    int hints = 0;
    QPoint offset; // of the painter in its device
    bool usable = false;
    bool clip = false; // drawText clips to the rectangle when the text overflows it
    int overlap = -1;  // unknown, 0 glyphs apart, 1 some touch
    std::vector<GlyphKey> glyphs;
    // Where each glyph's ink may reach, from the font's metrics and a margin.
    std::vector<QRect> around;
    // Every glyph of the line, its ink as the font's metrics tell it.
    std::vector<TextCell> cells;
    // The line as laid out, for Qt to draw from its own glyph cache; where
    // the runs start, in painter coordinates.
    bool oneLine = false;
    QList<QGlyphRun> runs;
    QPointF runsAt;
    // A line whose glyphs touch, kept whole in the colours last drawn in.
    std::optional<Glyph> whole;
    Colours wholeColours;
};

quint32 rawPixel(const QColor &colour, QImage::Format format)
{
    QImage one(1, 1, format);
    one.fill(colour);
    return reinterpret_cast<const quint32 *>(one.constScanLine(0))[0];
}

void encodeRow(const quint32 *pixel, int width, Glyph &glyph)
{
    glyph.rows.push_back(
        {std::uint32_t(glyph.tokens.size()), std::uint32_t(glyph.literals.size())});
    int x = 0;
    while (x < width) {
        const quint32 v = pixel[x];
        int n = 1;
        if (v == glyph.paper || v == glyph.solid) {
            while (x + n < width && n < 64 && pixel[x + n] == v)
                ++n;
            glyph.tokens.push_back(std::uint8_t((v == glyph.paper ? 0x00 : 0x40) | (n - 1)));
        } else {
            while (x + n < width && n < 128 && pixel[x + n] != glyph.paper &&
                   pixel[x + n] != glyph.solid)
                ++n;
            glyph.tokens.push_back(std::uint8_t(0x80 | (n - 1)));
            glyph.literals.insert(glyph.literals.end(), pixel + x, pixel + x + n);
        }
        x += n;
    }
}

// Writes the glyph's ink into the device where it lies, within `region`
// (painter coordinates; the painter sits at `offset` in the device). The
// paper around the ink is on the device already. Runs of the solid pixel are
// copied from `solids`, 64 of them.
void put(const Glyph &glyph, const QRegion &region, const QImage &device, const QPoint &offset,
         const quint32 *solids)
{
    const QRect &ink = glyph.ink;
    for (const QRect &r : region) {
        const QRect part = ink & r;
        if (part.isEmpty())
            continue;
        const int from = part.left() - ink.left(), to = part.right() + 1 - ink.left();
        for (int y = part.top(); y <= part.bottom(); ++y) {
            const Glyph::Row &start = glyph.rows[std::size_t(y - ink.top())];
            const std::uint8_t *token = glyph.tokens.data() + start.token;
            const quint32 *literal = glyph.literals.data() + start.literal;
            // The painter writes there too: the image is not shared while painted.
            quint32 *row = reinterpret_cast<quint32 *>(
                               const_cast<uchar *>(device.constScanLine(offset.y() + y))) +
                           offset.x() + ink.left();
            for (int x = 0; x < to;) {
                const std::uint8_t t = *token++;
                const int n = (t & (t >= 0x80 ? 0x7f : 0x3f)) + 1;
                const int begin = std::max(x, from), end = std::min(x + n, to);
                if (t >= 0x80) {
                    for (int i = begin; i < end; ++i)
                        row[i] = literal[i - x];
                    literal += n;
                } else if (t >= 0x40 && begin < end) {
                    std::memcpy(row + begin, solids, std::size_t(end - begin) * sizeof(quint32));
                }
                x += n;
            }
        }
    }
}

// Whether the painter draws straight into an image of a format whose pixels
// the cache can reproduce, with nothing between that would change them.
bool plainRaster(QPainter &painter, QImage::Format *format)
{
    QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster)
        return false;
    QPaintDevice *device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return false;
    *format = static_cast<QImage *>(device)->format();
    if (*format != QImage::Format_RGB32 && *format != QImage::Format_ARGB32_Premultiplied)
        return false;
    const QTransform t = painter.deviceTransform();
    return t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
           t.dy() == std::floor(t.dy()) && painter.opacity() == 1.0 &&
           painter.compositionMode() == QPainter::CompositionMode_SourceOver;
}

// Left or centred, at the top: the placements the layout below reproduces.
bool simpleAlignment(Qt::Alignment alignment)
{
    const Qt::Alignment horizontal = alignment & Qt::AlignHorizontal_Mask & ~Qt::AlignAbsolute;
    const Qt::Alignment vertical = alignment & Qt::AlignVertical_Mask;
    return (!horizontal || horizontal == Qt::AlignLeft || horizontal == Qt::AlignHCenter) &&
           (!vertical || vertical == Qt::AlignTop);
}

// Text the one-line left-to-right layout below reproduces.
bool simpleText(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSurrogate() || c.unicode() < 0x20 || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator || c.unicode() == 0x7f)
            return false;
    }
    return !text.isRightToLeft();
}

int hintBits(const QPainter &painter)
{
    return int(painter.renderHints() & (QPainter::Antialiasing | QPainter::TextAntialiasing));
}

// Where the painter may write, in its own coordinates: its device, the
// system clip Qt gives a paint event, and its own clip.
QRegion paintable(QPainter &painter, const QImage &device, const QPoint &offset)
{
    QRegion region(QRect(-offset, device.size()));
    const QRegion system = painter.paintEngine()->systemClip();
    if (!system.isEmpty())
        region &= system.translated(-offset);
    if (painter.hasClipping())
        region &= painter.clipRegion();
    return region;
}

// A margin around a glyph's metrics that its ink stays within: synthetic
// bold and hinting move the ink off the metrics a little.
int inkMargin(const QRawFont &font)
{
    return 4 + int(font.pixelSize()) / 16;
}

// A cell's glyph number: the glyph's index in its face, and which face.
std::uint32_t cellGlyph(const QRawFont &font, quint32 index)
{
    const auto face = std::uint32_t(qHash(font.familyName()) ^ qHash(font.styleName()));
    return (index & 0xffffu) | (face << 16);
}

} // namespace

struct GlyphCache::Impl {
    explicit Impl(std::size_t budget) : budget(budget) {}

    using Entry = std::pair<PaintedKey, Glyph>;
    std::size_t budget;
    std::size_t held = 0;
    std::list<Entry> glyphs; // most recently drawn first
    QHash<PaintedKey, std::list<Entry>::iterator> index;
    QHash<QString, Line> lines;
    Counters counters;
    // 64 solid pixels, the longest run, in the colour last copied.
    std::array<quint32, 64> solids{};
    // The painter of the last draw: where it sat in its device, its hints,
    // the format of its device.
    bool drawn = false;
    QPoint drawnOffset;
    int drawnHints = 0;
    QImage::Format drawnFormat = QImage::Format_Invalid;

    Line &line(const QFont &font, const QRect &rect, int alignment, const QString &text,
               const QPoint &offset, int hints);
    Glyph *find(const PaintedKey &key, const QRect &bound);
    Glyph &capture(QPainter &painter, const PaintedKey &key, const QRect &area,
                   const QImage &device, const QRect &bound);
    bool drawCached(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                    const QString &text, const QColor &ink, const QColor &paper, const QRect &area,
                    const QRect &visible);
    bool drawRuns(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                  const QString &text, const QColor &ink);
    bool drawWhole(QPainter &painter, Line &placed, const Colours &colours, const QRegion &free,
                   const QRect &bound, const QImage &device, const QPoint &offset);
    void evict();
};

// The layout QPainter::drawText(rect, flags, text) makes for one line
// without wrapping: the line at the top, centred on its advance, and each
// glyph's pen position truncated to 1/64 pixel in device space, for a
// painter at `offset` in its device with the render hints `hints`.
Line &GlyphCache::Impl::line(const QFont &font, const QRect &rect, int alignment,
                             const QString &text, const QPoint &offset, int hints)
{
    auto found = lines.find(text);
    if (found != lines.end() && found->rect == rect && found->offset == offset &&
        found->alignment == alignment && found->hints == hints && found->font == font)
        return *found;
    if (found != lines.end() && found->whole)
        held -= found->whole->bytes();
    if (lines.size() >= MaxLines) {
        for (const Line &old : std::as_const(lines))
            held -= old.whole ? old.whole->bytes() : 0;
        lines.clear();
    }
    ++counters.laidOut;

    Line made;
    made.font = font;
    made.rect = rect;
    made.alignment = alignment;
    made.hints = hints;
    made.offset = offset;

    QTextLayout layout(text, made.font);
    QTextOption option(Qt::AlignLeft);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    bool oneLine = textLine.isValid();
    if (oneLine) {
        textLine.setLineWidth(0x01000000);
        textLine.setPosition(QPointF(0, 0));
        oneLine = !layout.createLine().isValid();
    }
    layout.endLayout();

    made.oneLine = oneLine;
    if (oneLine) {
        const qreal width = textLine.naturalTextWidth();
        qreal left = 0;
        qreal xoff = 0;
        if (alignment & Qt::AlignHCenter) {
            left = (rect.width() - width) / 2;
            xoff = (rect.width() - textLine.horizontalAdvance()) / 2;
        }
        made.clip =
            !QRectF(rect).contains(QRectF(rect.x() + left, rect.y(), width, textLine.height()));
        const QPointF origin(offset.x() + rect.x() + xoff, offset.y() + rect.y());
        // Truncation toward zero is a floor only this side of the origin.
        made.usable = origin.x() >= 0 && origin.y() >= 0 && rect.x() + xoff >= 0 && rect.y() >= 0;
        made.runs = layout.glyphRuns();
        made.runsAt = QPointF(rect.x() + xoff, rect.y());
        for (const QGlyphRun &run : std::as_const(made.runs)) {
            const QRawFont runFont = run.rawFont();
            const int margin = inkMargin(runFont);
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype i = 0; i < indexes.size(); ++i) {
                // As the engine places them: in device space, truncated.
                const QPointF p = origin + positions.at(i);
                const QPoint pen =
                    QPoint(int(p.x() * Subpixels), int(p.y() * Subpixels)) - offset * Subpixels;
                const QRectF box = runFont.boundingRect(indexes.at(i));
                QRect around;
                if (!box.isEmpty()) {
                    const QPointF at = QPointF(pen) / Subpixels;
                    around = QRect(QPoint(int(std::floor(at.x() + box.left())) - margin,
                                          int(std::floor(at.y() + box.top())) - margin),
                                   QPoint(int(std::ceil(at.x() + box.right())) + margin,
                                          int(std::ceil(at.y() + box.bottom())) + margin));
                }
                TextCell cell;
                cell.glyph = cellGlyph(runFont, indexes.at(i));
                cell.pen = pen.x();
                if (!around.isEmpty()) {
                    cell.inkLeft = around.left();
                    cell.inkRight = around.right() + 1;
                }
                made.cells.push_back(cell);
                made.around.push_back(around);
                made.glyphs.push_back({runFont, indexes.at(i), pen, offset, hints});
            }
        }
        if (made.glyphs.size() > std::size_t(MaxGlyphs))
            made.usable = false;
    }
    return *lines.insert(text, std::move(made));
}

// The glyph held for these colours; one cut by another bound than `bound`
// (the line's rectangle, within what can be seen of the label) is dropped.
Glyph *GlyphCache::Impl::find(const PaintedKey &key, const QRect &bound)
{
    const auto found = index.find(key);
    if (found == index.end())
        return nullptr;
    const auto entry = found.value();
    if (entry->second.clippedBy.isValid() && entry->second.clippedBy != bound) {
        held -= entry->second.bytes();
        glyphs.erase(entry);
        index.erase(found);
        return nullptr;
    }
    glyphs.splice(glyphs.begin(), glyphs, entry);
    return &entry->second;
}

// Lets `draw` draw in the colours over the paper that fills `area` (painter
// coordinates, the painter `offset` in the device), keeps the pixels it left
// there and paints the area over with paper again. The area ends where
// `bound` does, the line's rectangle within what the user can see, which
// cuts the ink; ink that reaches another of its edges may go on past it, and
// the pixels are kept as unusable.
template <class Draw>
Glyph takePixels(QPainter &painter, const Colours &colours, const QRect &area, const QImage &device,
                 const QPoint &offset, const QRect &bound, Draw draw)
{
    Glyph made;
    made.paper = rawPixel(QColor::fromRgba(colours.paper), colours.format);
    made.solid = rawPixel(QColor::fromRgba(colours.ink), colours.format);
    if (area.isEmpty()) {
        made.usable = true; // a blank
        return made;
    }
    const QPen pen = painter.pen();
    painter.setPen(QColor::fromRgba(colours.ink));
    draw();
    painter.setPen(pen);

    const QPoint corner = area.topLeft() + offset; // in the device
    const auto row = [&](int y) {
        return reinterpret_cast<const quint32 *>(device.constScanLine(corner.y() + y)) + corner.x();
    };
    // The ink's box: a row of paper is passed over at once, a row with ink
    // is looked at from both ends.
    const std::vector<quint32> paperRow(std::size_t(area.width()), made.paper);
    const std::size_t rowBytes = paperRow.size() * sizeof(quint32);
    int left = area.width(), right = -1, top = area.height(), bottom = -1;
    for (int y = 0; y < area.height(); ++y) {
        const quint32 *pixels = row(y);
        if (std::memcmp(pixels, paperRow.data(), rowBytes) == 0)
            continue;
        int first = 0, last = area.width() - 1;
        while (pixels[first] == made.paper)
            ++first;
        while (pixels[last] == made.paper)
            --last;
        left = std::min(left, first);
        right = std::max(right, last);
        top = std::min(top, y);
        bottom = y;
    }
    const bool atLeft = left == 0, atTop = top == 0;
    const bool atRight = right == area.width() - 1, atBottom = bottom == area.height() - 1;
    if (right < 0) {
        made.usable = true;
    } else if ((!atLeft || area.left() == bound.left()) && (!atTop || area.top() == bound.top()) &&
               (!atRight || area.right() == bound.right()) &&
               (!atBottom || area.bottom() == bound.bottom())) {
        for (int y = top; y <= bottom; ++y)
            encodeRow(row(y) + left, right - left + 1, made);
        made.tokens.shrink_to_fit();
        made.literals.shrink_to_fit();
        made.ink = QRect(QPoint(left, top), QPoint(right, bottom)).translated(area.topLeft());
        made.usable = true;
        if (atLeft || atTop || atRight || atBottom)
            made.clippedBy = bound;
    }
    painter.fillRect(area, QColor::fromRgba(colours.paper));
    return made;
}

// Draws the glyph alone where it lies, as drawText draws it, and keeps the
// pixels it left; a glyph whose pixels cannot all be kept is kept as
// unusable, and lines holding it are left to Qt.
Glyph &GlyphCache::Impl::capture(QPainter &painter, const PaintedKey &key, const QRect &area,
                                 const QImage &device, const QRect &bound)
{
    ++counters.rendered;
    glyphs.emplace_front(
        key, takePixels(painter, key.colours, area, device, key.glyph.offset, bound, [&] {
            QGlyphRun run;
            run.setRawFont(key.glyph.font);
            run.setGlyphIndexes({key.glyph.glyph});
            run.setPositions({QPointF(0, 0)});
            painter.drawGlyphRun(QPointF(key.glyph.pen) / Subpixels, run);
        }));
    index.insert(key, glyphs.begin());
    held += glyphs.front().second.bytes();
    return glyphs.front().second;
}

// Drops the least recently drawn glyphs past the budget.
void GlyphCache::Impl::evict()
{
    while (held > budget && glyphs.size() > 1) {
        held -= glyphs.back().second.bytes();
        index.remove(glyphs.back().first);
        glyphs.pop_back();
    }
}

bool GlyphCache::Impl::drawCached(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                                  const QString &text, const QColor &ink, const QColor &paper,
                                  const QRect &area, const QRect &visible)
{
    QImage::Format format = QImage::Format_Invalid;
    if (ink.alpha() != 255 || paper.alpha() != 255 || !simpleAlignment(alignment) ||
        !simpleText(text) || !plainRaster(painter, &format))
        return false;
    const auto *device = static_cast<const QImage *>(painter.paintEngine()->paintDevice());
    const QTransform transform = painter.deviceTransform();
    const QPoint offset(int(transform.dx()), int(transform.dy()));
    // The line is kept by value in the hash, which the calls below leave alone.
    Line &placed = line(painter.font(), rect, int(alignment), text, offset, hintBits(painter));
    if (!placed.usable)
        return false;

    // Only the glyphs that reach into the area are drawn, where the painter
    // may write.
    QRect limit = placed.clip ? rect : QRect();
    if (!area.isNull())
        limit = limit.isNull() ? area : limit & area;
    const QRect *clip = limit.isNull() ? nullptr : &limit;
    QRegion free = paintable(painter, *device, offset);
    if (clip)
        free &= *clip;

    // A glyph first seen in these colours is drawn where it lies; it needs
    // all of its surroundings that can be seen painted over now. What lies
    // outside the rectangle or where the user cannot see is never shown.
    const QRect bound = visible.isNull() ? rect : rect & visible;
    const Colours colours{ink.rgba(), paper.rgba(), format};
    if (placed.overlap == 1)
        return drawWhole(painter, placed, colours, free, bound, *device, offset);
    std::vector<Glyph *> drawn(placed.glyphs.size(), nullptr);
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        const PaintedKey key{placed.glyphs[i], colours};
        drawn[i] = find(key, bound);
        const QRect around = placed.around[i] & bound;
        if (drawn[i] || !free.intersects(around))
            continue;
        if (!(QRegion(around) - free).isEmpty())
            return false;
        drawn[i] = &capture(painter, key, around, *device, bound);
    }
    // A pixel two glyphs reach is one drawText fills from both outlines at
    // once; copies of single glyphs would not add up to it.
    bool known = true;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (!drawn[i]) {
            known = false;
            continue;
        }
        if (!drawn[i]->usable)
            return false;
        for (std::size_t j = i + 1; j < drawn.size(); ++j) {
            if (drawn[j] && drawn[i]->ink.intersects(drawn[j]->ink)) {
                placed.overlap = 1;
                return drawWhole(painter, placed, colours, free, bound, *device, offset);
            }
        }
    }
    if (known)
        placed.overlap = 0;

    for (const Glyph *g : drawn) {
        if (!g || g->ink.isEmpty())
            continue;
        if (solids.front() != g->solid)
            solids.fill(g->solid);
        put(*g, free, *device, offset, solids.data());
    }
    return true;
}

// A line whose glyphs touch, drawn whole by Qt once in its colours, where it
// lies, with all of it to be painted; its pixels are kept with the line.
bool GlyphCache::Impl::drawWhole(QPainter &painter, Line &placed, const Colours &colours,
                                 const QRegion &free, const QRect &bound, const QImage &device,
                                 const QPoint &offset)
{
    const bool stale = !placed.whole || !(placed.wholeColours == colours) ||
                       (placed.whole->clippedBy.isValid() && placed.whole->clippedBy != bound);
    if (stale) {
        QRect area;
        for (const QRect &around : placed.around)
            area |= around;
        area &= bound;
        if (!(QRegion(area) - free).isEmpty())
            return false;
        if (placed.whole)
            held -= placed.whole->bytes();
        ++counters.rendered;
        placed.whole = takePixels(painter, colours, area, device, offset, bound, [&] {
            painter.save();
            if (placed.clip)
                painter.setClipRect(placed.rect, Qt::IntersectClip);
            for (const QGlyphRun &run : std::as_const(placed.runs))
                painter.drawGlyphRun(placed.runsAt, run);
            painter.restore();
        });
        placed.wholeColours = colours;
        held += placed.whole->bytes();
    }
    const Glyph &whole = *placed.whole;
    if (!whole.usable)
        return false;
    if (!whole.ink.isEmpty()) {
        if (solids.front() != whole.solid)
            solids.fill(whole.solid);
        put(whole, free, device, offset, solids.data());
    }
    return true;
}

// The line as drawText draws it, from the layout kept for its text: Qt's
// glyph cache holds the small glyphs, and the text is not shaped again.
bool GlyphCache::Impl::drawRuns(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                                const QString &text, const QColor &ink)
{
    QImage::Format format = QImage::Format_Invalid;
    if (!simpleAlignment(alignment) || !simpleText(text) || !plainRaster(painter, &format))
        return false;
    const QTransform device = painter.deviceTransform();
    const Line &placed = line(painter.font(), rect, int(alignment), text,
                              QPoint(int(device.dx()), int(device.dy())), hintBits(painter));
    if (!placed.oneLine)
        return false;
    painter.save();
    if (placed.clip)
        painter.setClipRect(rect, Qt::IntersectClip);
    painter.setPen(QPen(QBrush(ink), painter.pen().widthF()));
    for (const QGlyphRun &run : placed.runs)
        painter.drawGlyphRun(placed.runsAt, run);
    painter.restore();
    return true;
}

GlyphCache::GlyphCache(std::size_t budget) : d(std::make_unique<Impl>(budget)) {}

GlyphCache::~GlyphCache() = default;

void GlyphCache::draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                      const QString &text, const QColor &ink, const QColor &paper,
                      const QRect &area, const QRect &visible)
{
    const QTransform device = painter.deviceTransform();
    d->drawn = true;
    d->drawnOffset = QPoint(int(device.dx()), int(device.dy()));
    d->drawnHints = hintBits(painter);
    QImage::Format format = QImage::Format_Invalid;
    if (plainRaster(painter, &format))
        d->drawnFormat = format;
    if (text.isEmpty())
        return;
    const bool copied = d->drawCached(painter, rect, alignment, text, ink, paper, area, visible);
    d->evict();
    if (copied) {
        ++d->counters.copied;
        return;
    }
    if (d->drawRuns(painter, rect, alignment, text, ink)) {
        ++d->counters.runs;
        return;
    }
    ++d->counters.plain;
    // As QLabel hands it to QStyle::drawItemText.
    const bool rightToLeft = text.isRightToLeft();
    const int flags =
        int(QStyle::visualAlignment(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight, alignment)) |
        (rightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
    const QPen saved = painter.pen();
    painter.setPen(QPen(QBrush(ink), saved.widthF()));
    painter.drawText(rect, flags, text);
    painter.setPen(saved);
}

std::optional<std::vector<TextCell>> GlyphCache::cells(const QFont &font, const QRect &rect,
                                                       Qt::Alignment alignment, const QString &text,
                                                       const QColor &ink, const QColor &paper)
{
    if (text.isEmpty())
        return std::vector<TextCell>();
    if (!d->drawn || !simpleAlignment(alignment) || !simpleText(text))
        return std::nullopt;
    Line &placed = d->line(font, rect, int(alignment), text, d->drawnOffset, d->drawnHints);
    if (!placed.oneLine)
        return std::nullopt;
    // The glyphs the cache holds in these colours: their ink as drawn. A line
    // whose glyphs touch is painted whole until it is kept whole.
    const Colours colours{ink.rgba(), paper.rgba(), d->drawnFormat};
    if (placed.overlap == 1 && !(placed.whole && placed.wholeColours == colours))
        return std::nullopt;
    std::vector<TextCell> cells = placed.cells;
    for (std::size_t i = 0; i < placed.glyphs.size(); ++i) {
        const auto found = d->index.constFind({placed.glyphs[i], colours});
        if (found == d->index.constEnd() || !found.value()->second.usable ||
            (found.value()->second.clippedBy.isValid() && found.value()->second.clippedBy != rect))
            continue;
        const QRect &drawnInk = found.value()->second.ink;
        cells[i].inkLeft = drawnInk.isEmpty() ? 0 : drawnInk.left();
        cells[i].inkRight = drawnInk.isEmpty() ? 0 : drawnInk.right() + 1;
    }
    return cells;
}

GlyphCache::Counters GlyphCache::counters() const
{
    return d->counters;
}

} // namespace platform::qt
