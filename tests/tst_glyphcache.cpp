// SPDX-License-Identifier: MIT
// Captions drawn from the glyph cache, pixel for pixel against QLabel's own
// drawing of them: cold, warm, and again after another colour.
#include "glyphcache.h"
#include "testsupport.h"

#include <QLabel>
#include <QPainter>

#include <cmath>

using platform::qt::GlyphCache;

class TestGlyphCache : public QObject
{
    Q_OBJECT

  private slots:
    void sameAsLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<int>("extraWidth"); // beyond the text's advance
        QTest::addColumn<bool>("cached");    // false: drawn by drawText

        const QColor grey(170, 170, 170), orange(192, 64, 0), olive(128, 128, 0);
        const QString kai = QString::fromUtf8("楷体");
        QTest::newRow("seconds") << ":07" << kai << 160.0 << true << grey << false << 0 << true;
        QTest::newRow("seconds centred, odd width")
            << ":59" << kai << 160.0 << true << orange << true << 7 << true;
        QTest::newRow("hours and minutes")
            << "23:59" << kai << 320.0 << true << olive << false << 0 << true;
        QTest::newRow("hours and minutes centred on a half pixel")
            << "08:41" << kai << 320.0 << true << grey << true << 1 << true;
        // Advances of odd 1/64 pixels: the pen starts half a 1/64 off, which the
        // engine truncates.
        QTest::newRow("centred on half a 1/64 pixel")
            << "12:34"
            << "WenQuanYi Micro Hei" << 101.7 << false << orange << true << 5 << true;
        QTest::newRow("narrower than the text: clipped")
            << ":48" << kai << 160.0 << true << grey << false << -5 << true;
        QTest::newRow("blanks around")
            << " 1 " << kai << 160.0 << true << orange << true << 30 << true;
        QTest::newRow("kerned into each other")
            << "AV"
            << "Liberation Sans" << 160.0 << true << grey << false << 0 << false;
        QTest::newRow("date, which Qt caches itself")
            << QString::fromUtf8("2026年12月7日星期一") << kai << 38.0 << false << olive << false
            << 0 << false;
        QTest::newRow("right to left")
            << QString::fromUtf8("שלום") << kai << 160.0 << true << grey << false << 0 << false;
    }

    void sameAsLabel()
    {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(QColor, ink);
        QFETCH(bool, centred);
        QFETCH(int, extraWidth);
        QFETCH(bool, cached);

        // As the label peer sets up its QLabel.
        QLabel label;
        label.setTextFormat(Qt::PlainText);
        label.setAutoFillBackground(true);
        const Qt::Alignment alignment = (centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
        label.setAlignment(alignment);
        QFont font(family);
        font.setPointSizeF(points);
        font.setBold(bold);
        label.setFont(font);
        const QColor paper = QApplication::palette().color(QPalette::Button);
        QPalette palette = label.palette();
        palette.setColor(QPalette::Window, paper);
        palette.setColor(QPalette::WindowText, ink);
        label.setPalette(palette);
        label.setText(text);
        const QFontMetricsF metrics(label.font());
        label.resize(int(std::ceil(metrics.horizontalAdvance(text))) + extraWidth,
                     int(std::ceil(metrics.height())));
        const QImage expected = label.grab().toImage();

        GlyphCache cache;
        const auto draw = [&](const QColor &colour) {
            QImage image(expected.size(), expected.format());
            image.fill(paper);
            QPainter painter(&image);
            painter.setFont(label.font());
            cache.draw(painter, label.contentsRect(), alignment, text, colour, paper);
            painter.end();
            return image;
        };
        QCOMPARE(draw(ink), expected);
        QCOMPARE(draw(ink), expected);
        draw(QColor(Qt::black));
        QCOMPARE(draw(ink), expected);
        QCOMPARE(cache.counters().copied, cached ? 4 : 0);
        QCOMPARE(cache.counters().plain, cached ? 0 : 4);
    }
};

CLOCK_TEST_MAIN(TestGlyphCache)
#include "tst_glyphcache.moc"
