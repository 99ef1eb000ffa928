// SPDX-License-Identifier: MIT
// The program icon: the ICO directory read byte by byte, the images as Qt
// decodes them, and the hicolor PNGs installed for the desktop. That the
// committed files are what resources/make-icon.py draws is icon_up_to_date's.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QtEndian>
#include <QtTest>

namespace
{

const QList<QRgb> classicPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};

QString hex(QRgb p)
{
    return QStringLiteral("#%1").arg(p, 8, 16, QLatin1Char('0'));
}

} // namespace

class TestIcon : public QObject
{
    Q_OBJECT

  private:
    QByteArray ico;

    quint8 u8(qsizetype at) const { return quint8(ico.at(at)); }
    quint16 u16(qsizetype at) const { return qFromLittleEndian<quint16>(ico.constData() + at); }
    quint32 u32(qsizetype at) const { return qFromLittleEndian<quint32>(ico.constData() + at); }

    QImage decoded(int index) const
    {
        QImageReader reader(QStringLiteral(CLOCK_ICON_FILE));
        if (!reader.jumpToImage(index))
            return {};
        return reader.read().convertToFormat(QImage::Format_ARGB32);
    }

  private slots:
    void initTestCase()
    {
        QFile file(QStringLiteral(CLOCK_ICON_FILE));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
        ico = file.readAll();
        QVERIFY(ico.size() >= 6);
        // Reserved, 1 for an icon (2 a cursor), and the count of images.
        QCOMPARE((QList<quint16>{u16(0), u16(2), u16(4)}), (QList<quint16>{0, 1, 12}));
        QVERIFY(ico.size() >= 6 + 16 * u16(4));
    }

    void image_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("bpp");
        // The order in which the directory lists them.
        const int rows[][2] = {{48, 4},   {32, 4},  {16, 4},  {48, 8},  {32, 8},  {16, 8},
                               {128, 32}, {64, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};
        int index = 0;
        for (const auto &row : rows)
            QTest::addRow("%dpx-%dbpp", row[0], row[1]) << index++ << row[0] << row[1];
    }

    // Each image: its directory entry, a bitmap that fills exactly the bytes
    // the entry claims (header, palette, colour bits and the one-bit AND mask),
    // a round face as Qt decodes it, the classic colours at 4 bpp, and at 32
    // bpp the same artwork as the desktop's hicolor PNG.
    void image()
    {
        QFETCH(int, index);
        QFETCH(int, size);
        QFETCH(int, bpp);
        // The directory entry: width and height (0 for 256), colours, planes,
        // bits per pixel, then the image's size and offset.
        const qsizetype entry = 6 + 16 * index;
        QCOMPARE(
            (QList<int>{u8(entry), u8(entry + 1), u8(entry + 2), u16(entry + 4), u16(entry + 6)}),
            (QList<int>{size % 256, size % 256, bpp == 4 ? 16 : 0, 1, bpp}));
        const quint32 bytes = u32(entry + 8);
        QVERIFY2(qint64(u32(entry + 12)) + bytes <= ico.size(),
                 "image runs past the end of the file");

        // BITMAPINFOHEADER: its size, width, the colour bits and the mask
        // stacked, one plane, bits per pixel, uncompressed.
        const qsizetype at = u32(entry + 12);
        QCOMPARE((QList<quint32>{u32(at), u32(at + 4), u32(at + 8), u16(at + 12), u16(at + 14),
                                 u32(at + 16)}),
                 (QList<quint32>{40, quint32(size), quint32(2 * size), 1, quint32(bpp), 0}));
        const quint32 used = u32(at + 32);
        const quint32 paletteEntries = bpp > 8 ? 0 : (used ? used : 1u << bpp);
        QCOMPARE(paletteEntries, bpp > 8 ? 0u : 1u << bpp);
        auto stride = [](int bits) { return quint32((bits + 31) / 32 * 4); };
        QCOMPARE(bytes, 40 + 4 * paletteEntries + size * stride(size * bpp) + size * stride(size));

        // The face is round: corners see through, the middle is solid.
        const QImage image = decoded(index);
        QCOMPARE(image.size(), QSize(size, size));
        const int last = size - 1;
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
            QCOMPARE(qAlpha(image.pixel(corner)), 0);
        const int inRim = qMax(1, size * 6 / 100);
        for (const QPoint solid :
             {QPoint(size / 2, size / 2), QPoint(size / 2, inRim), QPoint(inRim, size / 2)})
            QCOMPARE(qAlpha(image.pixel(solid)), 255);
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (qAlpha(image.pixel(x, y)) == 255)
                    colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() >= 3, "rim, face and hands need at least three colours");
        for (const QRgb p : std::as_const(colours))
            QVERIFY2(bpp != 4 || classicPalette.contains(p), qPrintable(hex(p)));
        if (bpp != 32)
            return;

        const QString path =
            QStringLiteral(CLOCK_HICOLOR_DIR "/%1x%1/apps/fullscreenclock.png").arg(size);
        const QImage png = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(png.size(), QSize(size, size));
        // Qt's icon reader goes through premultiplied alpha, which blurs the colour of
        // faint edge pixels; compare premultiplied, allowing that rounding.
        auto near = [](QRgb a, QRgb b) {
            a = qPremultiply(a);
            b = qPremultiply(b);
            return qAlpha(a) == qAlpha(b) && qAbs(qRed(a) - qRed(b)) <= 1 &&
                   qAbs(qGreen(a) - qGreen(b)) <= 1 && qAbs(qBlue(a) - qBlue(b)) <= 1;
        };
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (!near(png.pixel(x, y), image.pixel(x, y)))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2: PNG %3, icon %4")
                                         .arg(QString::number(x), QString::number(y),
                                              hex(png.pixel(x, y)), hex(image.pixel(x, y)))));
    }
};

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"
