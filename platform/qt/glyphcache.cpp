// SPDX-License-Identifier: MIT
#include "glyphcache.h"

#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QRawFont>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include <sys/mman.h>

namespace platform::qt
{

namespace
{

// Qt's raster engine keeps glyphs up to this many pixels in its own cache;
// those cost little already.
constexpr int QtCachedGlyphSize = 64;
// Glyphs per line beyond which the overlap check is not worth it.
constexpr int MaxGlyphs = 64;
constexpr int MaxLines = 128;
constexpr int MaxPalettes = 8;
// Bytes of the decoded pixels handed to drawImage at a time.
constexpr int BandBytes = 32 * 1024;

// Sub-pixel positions are 1/64 pixel, as the text engine keeps them.
constexpr int Subpixels = 64;

// A glyph is kept for one pen position and one device offset: the path
// filler rounds in floating point, so the same outline drawn one pixel
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

// Coverage of one glyph, as the level a white pen leaves on black: 0 none,
// 255 full. Kept run-length coded over the glyph's ink rectangle, row by
// row; each token is a byte: 00nnnnnn n+1 empty pixels, 01nnnnnn n+1 full
// ones, 1nnnnnnn n+1 levels that follow.
struct Glyph {
    QRect ink; // painter coordinates; empty: nothing to draw
    std::vector<std::uint8_t> runs;
    std::bitset<256> levels; // levels 1..255 that occur
    bool usable = false;
    // The ink decoded in one palette, while there is room for it.
    QImage pixels;
    quint64 pixelsIn = 0;
    std::size_t bytes() const { return sizeof(Glyph) + runs.capacity() + 64; }
};

// What the raster engine leaves for each coverage level, for one pen colour
// over one background in one pixel format. Learnt from real renders of the
// glyphs, never computed, so a copied pixel is the one Qt would have drawn.
struct Palette {
    QRgb ink = 0;
    QRgb paper = 0;
    QImage::Format format = QImage::Format_Invalid;
    quint64 serial = 0;
    std::array<quint32, 256> pixel{}; // [0] the background
    std::bitset<256> known;
    bool broken = false;
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
};

quint32 rawPixel(const QColor &colour, QImage::Format format)
{
    QImage one(1, 1, format);
    one.fill(colour);
    return reinterpret_cast<const quint32 *>(one.constScanLine(0))[0];
}

// Anonymous pages: only those written become resident, and all of them go
// back to the system with the canvas (the heap would keep them).
struct Unmap {
    std::size_t length = 0;
    void operator()(void *p) const { munmap(p, length); }
};
using Pages = std::unique_ptr<void, Unmap>;

// One glyph rendered as drawText renders it into a device where the painter
// sits at the key's offset. The path filler rounds in device coordinates, so
// the canvas reaches from the device's origin to put every coordinate where
// it is on screen; only the pages under `area` are touched.
class Canvas
{
  public:
    Canvas(const GlyphKey &key, const QRect &area, QImage::Format format, const QColor &pen,
           const QColor &fill)
        : m_corner(area.topLeft() + key.offset)
    {
        const QRect device = area.translated(key.offset);
        m_stride = qsizetype(device.right() + 1) * 4;
        const std::size_t length = std::size_t(m_stride) * std::size_t(device.bottom() + 1);
        void *mapped =
            mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            return;
        m_pages = Pages(mapped, Unmap{length});
        QImage image(static_cast<uchar *>(mapped), device.right() + 1, device.bottom() + 1,
                     m_stride, format);
        QPainter p(&image);
        p.translate(key.offset);
        p.setClipRect(area);
        p.fillRect(area, fill);
        p.setRenderHints(QPainter::RenderHints(key.hints));
        p.setPen(pen);
        QGlyphRun run;
        run.setRawFont(key.font);
        run.setGlyphIndexes({key.glyph});
        run.setPositions({QPointF(0, 0)});
        p.drawGlyphRun(QPointF(key.pen) / Subpixels, run);
    }
    bool isNull() const { return !m_pages; }
    // Row `y` of the area, from its left edge.
    const quint32 *row(int y) const
    {
        return static_cast<const quint32 *>(m_pages.get()) + (m_corner.y() + y) * (m_stride / 4) +
               m_corner.x();
    }

  private:
    QPoint m_corner; // of the area in the device
    qsizetype m_stride = 0;
    Pages m_pages;
};

void encodeRow(const std::uint8_t *level, int width, std::vector<std::uint8_t> &out)
{
    int x = 0;
    while (x < width) {
        const std::uint8_t v = level[x];
        int n = 1;
        if (v == 0 || v == 255) {
            while (x + n < width && n < 64 && level[x + n] == v)
                ++n;
            out.push_back(std::uint8_t((v == 0 ? 0x00 : 0x40) | (n - 1)));
        } else {
            while (x + n < width && n < 128 && level[x + n] != 0 && level[x + n] != 255)
                ++n;
            out.push_back(std::uint8_t(0x80 | (n - 1)));
            out.insert(out.end(), level + x, level + x + n);
        }
        x += n;
    }
}

// Decodes `rows` rows from `in` into `out` (one row of `width` pixels each,
// `stride` apart), mapping levels through `pixel`. Returns where it stopped.
const std::uint8_t *decodeRows(const std::uint8_t *in, int width, int rows, quint32 *out,
                               qsizetype stride, const std::array<quint32, 256> &pixel)
{
    for (int y = 0; y < rows; ++y, out += stride) {
        int x = 0;
        while (x < width) {
            const std::uint8_t t = *in++;
            if (t < 0x80) {
                const int n = (t & 0x3f) + 1;
                std::fill_n(out + x, n, t < 0x40 ? pixel[0] : pixel[255]);
                x += n;
            } else {
                const int n = (t & 0x7f) + 1;
                for (int i = 0; i < n; ++i)
                    out[x + i] = pixel[*in++];
                x += n;
            }
        }
    }
    return in;
}

} // namespace

struct GlyphCache::Impl {
    Impl(std::size_t budget, std::size_t readyBudget) : budget(budget), readyBudget(readyBudget) {}

    using Entry = std::pair<GlyphKey, Glyph>;
    std::size_t budget;
    std::size_t readyBudget;
    std::size_t held = 0;  // coverage
    std::size_t ready = 0; // decoded pixels
    quint64 serials = 0;
    std::list<Entry> glyphs; // most recently drawn first
    QHash<GlyphKey, std::list<Entry>::iterator> index;
    QHash<QString, Line> lines;
    std::list<Palette> palettes;
    QImage band;
    Counters counters;

    bool drawCached(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                    const QString &text, const QColor &ink, const QColor &paper);
    Line &line(const QPainter &painter, const QRect &rect, int alignment, const QString &text);
    Glyph &glyph(const GlyphKey &key);
    Palette &palette(QRgb ink, QRgb paper, QImage::Format format);
    void learn(Palette &palette, const GlyphKey &key, const Glyph &glyph);
    void blit(QPainter &painter, Glyph &glyph, const Palette &palette, const QRect *clip);
    void evict();
};

namespace
{

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

// The font's size in pixels as near as the painter tells without a lookup.
qreal pixelSize(QPainter &painter)
{
    const QFont &font = painter.font();
    if (font.pixelSize() > 0)
        return font.pixelSize();
    const QPaintDevice *device = painter.device();
    return font.pointSizeF() * (device ? device->logicalDpiY() : 96) / 72;
}

int hintBits(const QPainter &painter)
{
    return int(painter.renderHints() & (QPainter::Antialiasing | QPainter::TextAntialiasing));
}

} // namespace

// The layout QPainter::drawText(rect, flags, text) makes for one line
// without wrapping: the line at the top, centred on its advance, and each
// glyph's pen position truncated to 1/64 pixel in device space.
Line &GlyphCache::Impl::line(const QPainter &painter, const QRect &rect, int alignment,
                             const QString &text)
{
    const int hints = hintBits(painter);
    const QTransform device = painter.deviceTransform();
    const QPoint offset(int(device.dx()), int(device.dy()));
    auto found = lines.find(text);
    if (found != lines.end() && found->rect == rect && found->offset == offset &&
        found->alignment == alignment && found->hints == hints && found->font == painter.font())
        return *found;
    if (lines.size() >= MaxLines)
        lines.clear();

    Line made;
    made.font = painter.font();
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
        const QPointF origin(device.dx() + rect.x() + xoff, device.dy() + rect.y());
        // Truncation toward zero is a floor only this side of the origin.
        made.usable = origin.x() >= 0 && origin.y() >= 0 && rect.x() + xoff >= 0 && rect.y() >= 0;
        const auto runs = layout.glyphRuns();
        for (const QGlyphRun &run : runs) {
            const QRawFont font = run.rawFont();
            if (font.pixelSize() <= QtCachedGlyphSize)
                made.usable = false;
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> positions = run.positions();
            for (qsizetype i = 0; i < indexes.size(); ++i) {
                // As the engine places them: in device space, truncated.
                const QPointF p = origin + positions.at(i);
                const int x = int(p.x() * Subpixels);
                const int y = int(p.y() * Subpixels);
                made.glyphs.push_back(
                    {font, indexes.at(i), QPoint(x, y) - offset * Subpixels, offset, hints});
            }
        }
        if (made.glyphs.size() > std::size_t(MaxGlyphs))
            made.usable = false;
        if (!made.usable)
            made.glyphs.clear();
    }
    return *lines.insert(text, std::move(made));
}

// Renders the glyph's coverage once, white on black, and keeps the ink
// rectangle of it.
Glyph &GlyphCache::Impl::glyph(const GlyphKey &key)
{
    const auto found = index.constFind(key);
    if (found != index.constEnd()) {
        glyphs.splice(glyphs.begin(), glyphs, found.value());
        return found.value()->second;
    }
    ++counters.rendered;
    Glyph made;
    const QPoint pen(key.pen.x() / Subpixels, key.pen.y() / Subpixels);
    const QRect box = key.font.boundingRect(key.glyph).toAlignedRect().translated(pen);
    // Synthetic bold and hinting move the ink off the metrics a little.
    int margin = 4 + int(key.font.pixelSize()) / 16;
    for (int attempt = 0; attempt < 3 && !made.usable; ++attempt, margin *= 2) {
        // Not past the device's origin, where the device clips as well.
        const QRect area = box.adjusted(-margin, -margin, margin, margin) &
                           QRect(-key.offset, QSize(1 << 16, 1 << 16));
        const Canvas canvas(key, area, QImage::Format_ARGB32_Premultiplied, Qt::white, Qt::black);
        if (canvas.isNull())
            break;
        int left = area.width(), right = -1, top = area.height(), bottom = -1;
        for (int y = 0; y < area.height(); ++y) {
            const quint32 *row = canvas.row(y);
            for (int x = 0; x < area.width(); ++x) {
                if (qRed(row[x]) != 0) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        if (right < 0) { // a blank
            made.usable = true;
            break;
        }
        const QPoint corner = area.topLeft() + key.offset;
        if ((left == 0 && corner.x() > 0) || (top == 0 && corner.y() > 0) ||
            right == area.width() - 1 || bottom == area.height() - 1)
            continue; // the ink may go on past the canvas
        const QRect ink(QPoint(left, top), QPoint(right, bottom));
        std::vector<std::uint8_t> level(static_cast<std::size_t>(ink.width()));
        for (int y = ink.top(); y <= ink.bottom(); ++y) {
            const quint32 *row = canvas.row(y) + ink.left();
            for (int x = 0; x < ink.width(); ++x) {
                level[std::size_t(x)] = std::uint8_t(qRed(row[x]));
                made.levels.set(level[std::size_t(x)]);
            }
            encodeRow(level.data(), ink.width(), made.runs);
        }
        made.levels.reset(0);
        made.runs.shrink_to_fit();
        made.ink = ink.translated(area.topLeft());
        made.usable = true;
    }
    glyphs.emplace_front(key, std::move(made));
    index.insert(key, glyphs.begin());
    held += glyphs.front().second.bytes();
    return glyphs.front().second;
}

Palette &GlyphCache::Impl::palette(QRgb ink, QRgb paper, QImage::Format format)
{
    for (auto it = palettes.begin(); it != palettes.end(); ++it) {
        if (it->ink == ink && it->paper == paper && it->format == format) {
            palettes.splice(palettes.begin(), palettes, it);
            return palettes.front();
        }
    }
    if (palettes.size() >= std::size_t(MaxPalettes))
        palettes.pop_back();
    Palette made;
    made.ink = ink;
    made.paper = paper;
    made.format = format;
    made.serial = ++serials;
    made.pixel[0] = rawPixel(QColor::fromRgba(paper), format);
    palettes.push_front(made);
    return palettes.front();
}

// Renders the glyph in the palette's colours once and notes the pixel each
// coverage level became; a level that came out two ways breaks the palette.
void GlyphCache::Impl::learn(Palette &palette, const GlyphKey &key, const Glyph &glyph)
{
    ++counters.rendered;
    const Canvas canvas(key, glyph.ink, palette.format, QColor::fromRgba(palette.ink),
                        QColor::fromRgba(palette.paper));
    if (canvas.isNull()) {
        palette.broken = true;
        return;
    }
    static const std::array<quint32, 256> identity = [] {
        std::array<quint32, 256> levels{};
        for (quint32 i = 0; i < 256; ++i)
            levels[i] = i;
        return levels;
    }();
    const int w = glyph.ink.width();
    std::vector<quint32> level(static_cast<std::size_t>(w));
    const std::uint8_t *in = glyph.runs.data();
    for (int y = 0; y < glyph.ink.height() && !palette.broken; ++y) {
        in = decodeRows(in, w, 1, level.data(), w, identity);
        const quint32 *row = canvas.row(y);
        for (int x = 0; x < w; ++x) {
            const quint32 v = level[std::size_t(x)];
            const quint32 pixel = row[x];
            if (v == 0) {
                if (pixel != palette.pixel[0])
                    palette.broken = true;
            } else if (qAlpha(pixel) != 255 ||
                       (palette.known.test(v) && palette.pixel[v] != pixel)) {
                palette.broken = true;
            } else {
                palette.pixel[v] = pixel;
                palette.known.set(v);
            }
        }
    }
}

// Copies the glyph's ink rectangle, background and all, as the opaque
// pixels drawText would leave there: decoded once while there is room for
// them, else a band of rows at a time.
void GlyphCache::Impl::blit(QPainter &painter, Glyph &glyph, const Palette &palette,
                            const QRect *clip)
{
    const QRect &ink = glyph.ink;
    const QRect shown = clip ? ink & *clip : ink;
    if (shown.isEmpty())
        return;
    const int w = ink.width();
    if (glyph.pixelsIn != palette.serial) {
        glyph.pixels = QImage();
        glyph.pixelsIn = 0;
        if (std::size_t(w) * std::size_t(ink.height()) * 4 <= readyBudget / 2) {
            glyph.pixels = QImage(ink.size(), palette.format);
            if (!glyph.pixels.isNull()) {
                decodeRows(glyph.runs.data(), w, ink.height(),
                           reinterpret_cast<quint32 *>(glyph.pixels.bits()),
                           glyph.pixels.bytesPerLine() / 4, palette.pixel);
                glyph.pixelsIn = palette.serial;
            }
        }
    }
    if (glyph.pixelsIn) {
        painter.drawImage(shown.topLeft(), glyph.pixels, shown.translated(-ink.topLeft()));
        return;
    }
    if (band.width() < w || band.format() != palette.format)
        band = QImage(std::max(w, band.width()), std::max(1, BandBytes / (4 * w)), palette.format);
    if (band.isNull())
        return;
    const int bandRows = std::min(ink.height(), band.height());
    auto *bits = reinterpret_cast<quint32 *>(band.bits());
    const qsizetype stride = band.bytesPerLine() / 4;
    const std::uint8_t *in = glyph.runs.data();
    for (int y = ink.top(); y <= shown.bottom(); y += bandRows) {
        const int rows = std::min(bandRows, ink.bottom() + 1 - y);
        in = decodeRows(in, w, rows, bits, stride, palette.pixel);
        const QRect part = QRect(ink.left(), y, w, rows) & shown;
        if (!part.isEmpty())
            painter.drawImage(part.topLeft(), band, part.translated(-ink.left(), -y));
    }
}

// Drops the least recently drawn glyphs past the budgets.
void GlyphCache::Impl::evict()
{
    while (held > budget && glyphs.size() > 1) {
        held -= glyphs.back().second.bytes();
        index.remove(glyphs.back().first);
        glyphs.pop_back();
    }
    ready = 0;
    for (Entry &entry : glyphs) {
        Glyph &g = entry.second;
        if (!g.pixelsIn)
            continue;
        const auto size = std::size_t(g.pixels.sizeInBytes());
        if (ready + size > readyBudget) {
            g.pixels = QImage();
            g.pixelsIn = 0;
        } else {
            ready += size;
        }
    }
}

bool GlyphCache::Impl::drawCached(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                                  const QString &text, const QColor &ink, const QColor &paper)
{
    QImage::Format format = QImage::Format_Invalid;
    if (ink.alpha() != 255 || paper.alpha() != 255 || pixelSize(painter) < QtCachedGlyphSize ||
        !simpleAlignment(alignment) || !simpleText(text) || !plainRaster(painter, &format))
        return false;
    // The line is kept by value in the hash, which the calls below leave alone.
    Line &placed = line(painter, rect, int(alignment), text);
    if (!placed.usable || placed.overlap == 1)
        return false;

    std::vector<Glyph *> drawn;
    drawn.reserve(placed.glyphs.size());
    for (const GlyphKey &key : placed.glyphs) {
        Glyph &g = glyph(key);
        if (!g.usable)
            return false;
        drawn.push_back(&g);
    }
    // A pixel two glyphs reach is one drawText fills from both outlines at
    // once; copies of single glyphs would not add up to it.
    if (placed.overlap < 0) {
        int overlap = 0;
        for (std::size_t i = 0; i < drawn.size() && !overlap; ++i) {
            for (std::size_t j = i + 1; j < drawn.size() && !overlap; ++j) {
                if (drawn[i]->ink.intersects(drawn[j]->ink))
                    overlap = 1;
            }
        }
        placed.overlap = overlap;
        if (overlap)
            return false;
    }

    Palette &colours = palette(ink.rgba(), paper.rgba(), format);
    for (std::size_t i = 0; i < drawn.size() && !colours.broken; ++i) {
        if ((drawn[i]->levels & ~colours.known).any())
            learn(colours, placed.glyphs[i], *drawn[i]);
    }
    if (colours.broken)
        return false;
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (std::size_t i = 0; i < drawn.size(); ++i) {
        if (!drawn[i]->ink.isEmpty())
            blit(painter, *drawn[i], colours, placed.clip ? &rect : nullptr);
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    return true;
}

GlyphCache::GlyphCache(std::size_t budget, std::size_t readyBudget)
    : d(std::make_unique<Impl>(budget, readyBudget))
{
}

GlyphCache::~GlyphCache() = default;

void GlyphCache::draw(QPainter &painter, const QRect &rect, Qt::Alignment alignment,
                      const QString &text, const QColor &ink, const QColor &paper)
{
    if (text.isEmpty())
        return;
    const bool copied = d->drawCached(painter, rect, alignment, text, ink, paper);
    d->evict();
    if (copied) {
        ++d->counters.copied;
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

std::size_t GlyphCache::bytes() const
{
    return d->held + d->ready + std::size_t(d->band.sizeInBytes());
}

GlyphCache::Counters GlyphCache::counters() const
{
    return d->counters;
}

} // namespace platform::qt
