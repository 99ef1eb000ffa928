// SPDX-License-Identifier: MIT
#include "glyphcache.h"

#include "textcells.h"

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
#include <iterator>
#include <list>
#include <memory>
#include <optional>
#include <string_view>
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
    QString text;
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

// Which face a cell's glyph is of, in the high bits of its number.
std::uint32_t cellFace(const QRawFont &font)
{
    return std::uint32_t(qHash(font.familyName()) ^ qHash(font.styleName())) << 16;
}

// Places a line laid out at (0, 0) as QPainter::drawText(rect, flags, text)
// places it without wrapping: at the top, centred on its advance, and each
// glyph's pen position truncated to 1/64 pixel in device space, for a painter
// at `offset` in its device. `width` and `advance` are the line's natural
// width and advance, `box(run, i)` the bounding rectangle of a run's glyph.
template <class Box>
void placeLine(Line &made, qreal width, qreal advance, qreal height, const Box &box)
{
    const QRect &rect = made.rect;
    const QPoint &offset = made.offset;
    qreal left = 0;
    qreal xoff = 0;
    if (made.alignment & Qt::AlignHCenter) {
        left = (rect.width() - width) / 2;
        xoff = (rect.width() - advance) / 2;
    }
    made.clip = !QRectF(rect).contains(QRectF(rect.x() + left, rect.y(), width, height));
    const QPointF origin(offset.x() + rect.x() + xoff, offset.y() + rect.y());
    // Truncation toward zero is a floor only this side of the origin.
    made.usable = origin.x() >= 0 && origin.y() >= 0 && rect.x() + xoff >= 0 && rect.y() >= 0;
    made.runsAt = QPointF(rect.x() + xoff, rect.y());
    for (const QGlyphRun &run : std::as_const(made.runs)) {
        const QRawFont runFont = run.rawFont();
        const int margin = inkMargin(runFont);
        const std::uint32_t face = cellFace(runFont);
        const QList<quint32> indexes = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < indexes.size(); ++i) {
            // As the engine places them: in device space, truncated.
            const QPointF p = origin + positions.at(i);
            const QPoint pen =
                QPoint(int(p.x() * Subpixels), int(p.y() * Subpixels)) - offset * Subpixels;
            const QRectF glyphBox = box(run, i);
            QRect around;
            if (!glyphBox.isEmpty()) {
                const QPointF at = QPointF(pen) / Subpixels;
                around = QRect(QPoint(int(std::floor(at.x() + glyphBox.left())) - margin,
                                      int(std::floor(at.y() + glyphBox.top())) - margin),
                               QPoint(int(std::ceil(at.x() + glyphBox.right())) + margin,
                                      int(std::ceil(at.y() + glyphBox.bottom())) + margin));
            }
            TextCell cell;
            cell.glyph = (indexes.at(i) & 0xffffu) | face;
            cell.pen = pen.x();
            if (!around.isEmpty()) {
                cell.inkLeft = around.left();
                cell.inkRight = around.right() + 1;
            }
            made.cells.push_back(cell);
            made.around.push_back(around);
            made.glyphs.push_back({runFont, indexes.at(i), pen, offset, made.hints});
        }
    }
    if (made.glyphs.size() > std::size_t(MaxGlyphs))
        made.usable = false;
}

// One line of `text` as QTextLayout lays it out, without wrapping.
struct LaidOut {
    bool oneLine = false;
    qreal width = 0;   // natural: the advance and the last glyph's overhang
    qreal advance = 0; // what centring goes by
    qreal height = 0;
    QList<QGlyphRun> runs;
};

LaidOut layOut(const QFont &font, const QString &text)
{
    LaidOut out;
    QTextLayout layout(text, font);
    QTextOption option(Qt::AlignLeft);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine textLine = layout.createLine();
    out.oneLine = textLine.isValid();
    if (out.oneLine) {
        textLine.setLineWidth(0x01000000);
        textLine.setPosition(QPointF(0, 0));
        out.oneLine = !layout.createLine().isValid();
    }
    layout.endLayout();
    if (out.oneLine) {
        out.width = textLine.naturalTextWidth();
        out.advance = textLine.horizontalAdvance();
        out.height = textLine.height();
        out.runs = layout.glyphRuns();
    }
    return out;
}

// The characters of the clock's captions (digits and the colon), each laid
// out alone once per font, so that a caption made of them needs no shaping:
// HarfBuzz costs tens of thousands of instructions a caption, and a counter
// shows a new one every second. Only where the font places them side by side
// by their advances alone (no kerning, no substitution between any two of
// them, checked on a line holding every pair) is a caption composed of them.
constexpr int ComposableCount = int(std::size(CaptionDigits)) - 1;

int composableIndex(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    return u == u':' ? 10 : -1;
}

struct Composer {
    QFont font;
    bool usable = false;
    QRawFont raw;
    QPointF first; // the first glyph's position in a line at (0, 0)
    qreal height = 0;
    struct Alone {
        quint32 glyph = 0;
        qreal advance = 0;
        qreal overhang = 0; // natural width beyond the advance when it ends a line
        QRectF box;
    };
    std::array<Alone, ComposableCount> alone{};

    explicit Composer(const QFont &f) : font(f)
    {
        for (int c = 0; c < ComposableCount; ++c) {
            const LaidOut one = layOut(font, QString(QChar(CaptionDigits[c])));
            if (!one.oneLine || one.runs.size() != 1 || one.runs[0].glyphIndexes().size() != 1)
                return;
            const QGlyphRun &run = one.runs[0];
            const QPointF at = run.positions().at(0);
            if (c == 0) {
                raw = run.rawFont();
                first = at;
                height = one.height;
            } else if (run.rawFont() != raw || at != first || one.height != height) {
                return;
            }
            const quint32 glyph = run.glyphIndexes().at(0);
            alone[std::size_t(c)] = {glyph, one.advance, one.width - one.advance,
                                     raw.boundingRect(glyph)};
        }
        // Every ordered pair side by side, as Qt lays the line out.
        QString pairs;
        for (const char16_t a : std::u16string_view(CaptionDigits))
            for (const char16_t b : std::u16string_view(CaptionDigits))
                pairs.append(QChar(a)).append(QChar(b));
        const LaidOut all = layOut(font, pairs);
        if (!all.oneLine || all.runs.size() != 1 || all.runs[0].rawFont() != raw ||
            all.height != height)
            return;
        const QList<quint32> glyphs = all.runs[0].glyphIndexes();
        const QList<QPointF> positions = all.runs[0].positions();
        if (glyphs.size() != pairs.size() || positions.size() != pairs.size())
            return;
        qreal x = first.x();
        for (qsizetype i = 0; i < pairs.size(); ++i) {
            const Alone &a = alone[std::size_t(composableIndex(pairs.at(i)))];
            if (glyphs.at(i) != a.glyph || positions.at(i) != QPointF(x, first.y()))
                return;
            x += a.advance;
        }
        const Alone &last = alone[std::size_t(composableIndex(pairs.back()))];
        usable = all.advance == x - first.x() && all.width == all.advance + last.overhang;
    }

    // The line of `text` as Qt would lay it out, if it is made of these
    // characters alone.
    bool compose(const QString &text, LaidOut &out) const
    {
        if (!usable || text.isEmpty())
            return false;
        QList<quint32> glyphs;
        QList<QPointF> positions;
        glyphs.reserve(text.size());
        positions.reserve(text.size());
        qreal x = first.x();
        const Alone *a = nullptr;
        for (const QChar c : text) {
            const int i = composableIndex(c);
            if (i < 0)
                return false;
            a = &alone[std::size_t(i)];
            glyphs.append(a->glyph);
            positions.append(QPointF(x, first.y()));
            x += a->advance;
        }
        out.oneLine = true;
        out.advance = x - first.x();
        out.width = out.advance + a->overhang;
        out.height = height;
        QGlyphRun run;
        run.setRawFont(raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        out.runs = {run};
        return true;
    }

    QRectF box(quint32 glyph) const
    {
        for (const Alone &a : alone)
            if (a.glyph == glyph)
                return a.box;
        return raw.boundingRect(glyph);
    }
};

} // namespace

struct GlyphCache::Impl {
    explicit Impl(std::size_t budget) : budget(budget) {}

    using Entry = std::pair<PaintedKey, Glyph>;
    std::size_t budget;
    std::size_t held = 0;
    std::list<Entry> glyphs; // most recently drawn first
    QHash<PaintedKey, std::list<Entry>::iterator> index;
    QHash<QString, Line> lines;
    // Captions of the clock's characters: composed, the last few kept.
    std::unique_ptr<Composer> composer;
    std::array<Line, 4> composedLines;
    std::size_t nextComposed = 0;
    // Places whose other digits were drawn ahead: the caption but for its
    // last digit, and where and how it was drawn.
    struct Ahead {
        QString prefix;
        QFont font;
        QRect rect;
        QRect bound;
        int alignment = 0;
        int hints = 0;
        QPoint offset;
        Colours colours;
        bool operator==(const Ahead &o) const
        {
            return prefix == o.prefix && rect == o.rect && bound == o.bound &&
                   alignment == o.alignment && hints == o.hints && offset == o.offset &&
                   colours == o.colours && font == o.font;
        }
    };
    std::vector<Ahead> ahead; // the most recent last
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
    Line &keep(Line made);
    static bool composableText(const QString &text);
    bool compose(Line &made);
    void drawAhead(QPainter &painter, const Line &placed, const Colours &colours,
                   const QRegion &free, const QRect &bound, const QImage &device);
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

namespace
{
// A line's key and place, before it is laid out or composed.
Line keyed(const QFont &font, const QRect &rect, int alignment, const QString &text,
           const QPoint &offset, int hints)
{
    Line made;
    made.font = font;
    made.rect = rect;
    made.alignment = alignment;
    made.hints = hints;
    made.offset = offset;
    made.text = text;
    return made;
}
} // namespace

// The line of `text` as drawText lays it out and places it into `rect`,
// for a painter at `offset` in its device with the render hints `hints`:
// composed from its characters laid out alone where it is made of them (the
// last few kept), else laid out by Qt and kept with its text.
Line &GlyphCache::Impl::line(const QFont &font, const QRect &rect, int alignment,
                             const QString &text, const QPoint &offset, int hints)
{
    const auto same = [&](const Line &l) {
        return l.rect == rect && l.offset == offset && l.alignment == alignment &&
               l.hints == hints && l.font == font;
    };
    auto found = lines.find(text);
    if (found != lines.end() && same(*found))
        return *found;
    Line made = keyed(font, rect, alignment, text, offset, hints);
    if (composableText(text)) {
        for (Line &kept : composedLines)
            if (kept.oneLine && kept.text == text && same(kept))
                return kept;
        if (compose(made)) {
            ++counters.composed;
            Line &slot = composedLines[nextComposed];
            nextComposed = (nextComposed + 1) % composedLines.size();
            if (slot.whole)
                held -= slot.whole->bytes();
            slot = std::move(made);
            return slot;
        }
    }
    ++counters.laidOut;
    LaidOut laid = layOut(made.font, text);
    made.oneLine = laid.oneLine;
    if (laid.oneLine) {
        made.runs = std::move(laid.runs);
        placeLine(made, laid.width, laid.advance, laid.height,
                  [](const QGlyphRun &run, qsizetype i) {
                      return run.rawFont().boundingRect(run.glyphIndexes().at(i));
                  });
    }
    return keep(std::move(made));
}

// Keeps a line with its text, in place of one kept for it before.
Line &GlyphCache::Impl::keep(Line made)
{
    const auto found = lines.find(made.text);
    if (found != lines.end() && found->whole)
        held -= found->whole->bytes();
    if (lines.size() >= MaxLines) {
        for (const Line &old : std::as_const(lines))
            held -= old.whole ? old.whole->bytes() : 0;
        lines.clear();
    }
    return *lines.insert(made.text, std::move(made));
}

// Whether every character of `text` is one a caption may be composed of.
bool GlyphCache::Impl::composableText(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (composableIndex(c) < 0)
            return false;
    return true;
}

// Composes `made`, keyed and placed already, from its characters laid out
// alone, when the font places them by their advances alone.
bool GlyphCache::Impl::compose(Line &made)
{
    if (!composer || !(composer->font == made.font))
        composer = std::make_unique<Composer>(made.font);
    LaidOut laid;
    if (!composer->compose(made.text, laid))
        return false;
    made.oneLine = true;
    made.runs = std::move(laid.runs);
    const Composer &c = *composer;
    placeLine(made, laid.width, laid.advance, laid.height,
              [&c](const QGlyphRun &run, qsizetype i) { return c.box(run.glyphIndexes().at(i)); });
    return true;
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
                // Kept with its text, as a laid-out line is, for its pixels
                // kept whole: the composed lines come and go.
                const bool composed = &placed >= composedLines.data() &&
                                      &placed < composedLines.data() + composedLines.size();
                Line &kept = composed ? keep(std::exchange(placed, Line())) : placed;
                return drawWhole(painter, kept, colours, free, bound, *device, offset);
            }
        }
    }
    if (known)
        placed.overlap = 0;
    if (placed.overlap == 0)
        drawAhead(painter, placed, colours, free, bound, *device);

    for (const Glyph *g : drawn) {
        if (!g || g->ink.isEmpty())
            continue;
        if (solids.front() != g->solid)
            solids.fill(g->solid);
        put(*g, free, *device, offset, solids.data());
    }
    return true;
}

// A caption ending in a digit is soon followed by the same caption ending in
// another: while the whole label is painted anyway (the first paint after
// start-up, an expose), the other nine digits are drawn by Qt where the last
// one lies and kept, so that a clock's turning minute finds its digit drawn
// and needs no fresh memory. Each place is filled once.
void GlyphCache::Impl::drawAhead(QPainter &painter, const Line &placed, const Colours &colours,
                                 const QRegion &free, const QRect &bound, const QImage &device)
{
    const QString &text = placed.text;
    const int last = text.isEmpty() ? -1 : composableIndex(text.back());
    if (last < 0 || last > 9 || !composableText(text) || !(QRegion(bound) - free).isEmpty())
        return;
    Ahead place{text.chopped(1),  placed.font,  placed.rect,   bound,
                placed.alignment, placed.hints, placed.offset, colours};
    if (std::find(ahead.begin(), ahead.end(), place) != ahead.end())
        return;
    QString other = text;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        other.back() = QChar(digit);
        Line alternative =
            keyed(placed.font, placed.rect, placed.alignment, other, placed.offset, placed.hints);
        if (other == text || !compose(alternative) || !alternative.usable)
            continue;
        const PaintedKey key{alternative.glyphs.back(), colours};
        const QRect around = alternative.around.back() & bound;
        if (index.contains(key) || !free.intersects(around) || !(QRegion(around) - free).isEmpty())
            continue;
        capture(painter, key, around, device, bound);
        ++counters.ahead;
    }
    if (ahead.size() >= 16)
        ahead.erase(ahead.begin());
    ahead.push_back(std::move(place));
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
