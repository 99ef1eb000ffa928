// SPDX-License-Identifier: MIT
// What only the Qt back end shows, beyond the contract's conformance suite:
// the list's pick, Qt's own readings of Enter and editing keys, the label's
// pointer and mouse moves, what the widgets show of a label, the colours, the
// long date of the user's locale, the message box and the glyph cache.
#include "application.h"
#include "combobox.h"
#include "datetime.h"
#include "glyphcache.h"
#include "label.h"
#include "msgbox.h"
#include "qtcolour.h"
#include "qtcombobox.h"
#include "qtlabel.h"
#include "qtwindow.h"
#include "window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <utility>

using namespace platform;

namespace
{

// The program's UTF-16 text as QString, for QCOMPARE's messages.
QString toQString(const Text &text)
{
    return QString::fromStdU16String(text);
}

qt::LabelWidget *widgetOf(Label &label)
{
    return static_cast<qt::QtLabel &>(label.peer()).widget();
}

QComboBox *widgetOf(ComboBox &combo)
{
    return static_cast<qt::QtComboBox &>(combo.peer()).widget();
}

QWidget *widgetOf(Window &window)
{
    return static_cast<qt::QtWindow &>(window.peer()).widget();
}

// A window with one combo box holding three entries, shown and focused.
struct ComboFixture {
    Window window;
    ComboBox combo{window};
    ComboFixture()
    {
        for (const char16_t *entry :
             {u"http://a.example/", u"http://b.example/", u"http://c.example"})
            combo.AddItem(entry);
        combo.setText(u"prompt");
        combo.setSize(2655, 300);
        window.setClientSize(6000, 3000);
        window.Show();
        combo.SetFocus();
    }
};

// Reports the area of each paint event of a widget.
class PaintWatch : public QObject
{
  public:
    PaintWatch(QWidget *widget, std::function<void(const QRect &)> onPaint)
        : m_onPaint(std::move(onPaint))
    {
        widget->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            m_onPaint(static_cast<QPaintEvent *>(event)->rect());
        return false;
    }

  private:
    std::function<void(const QRect &)> m_onPaint;
};

// One frameless, auto-filled QLabel's plain line as the label peer sets it
// up, and the same drawn from a glyph cache.
struct LabelPicture {
    QFont font;
    Qt::Alignment alignment;
    QColor paper = QApplication::palette().color(QPalette::Button);
    QImage::Format format = QImage::Format_Invalid; // of a grabbed widget

    LabelPicture(const QString &family, double points, bool bold, bool centred)
        : font(family), alignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop)
    {
        font.setPointSizeF(points);
        font.setBold(bold);
        QLabel one;
        one.resize(1, 1);
        format = one.grab().toImage().format();
    }

    QImage expected(const QString &text, const QColor &ink, const QSize &size) const
    {
        QLabel label;
        label.setTextFormat(Qt::PlainText);
        label.setAutoFillBackground(true);
        label.setAlignment(alignment);
        label.setFont(font);
        QPalette palette = label.palette();
        palette.setColor(QPalette::Window, paper);
        palette.setColor(QPalette::WindowText, ink);
        label.setPalette(palette);
        label.setText(text);
        label.resize(size);
        return label.grab().toImage();
    }

    // Qt clips a paint event's painter to the area it repaints.
    QImage drawn(qt::GlyphCache &cache, const QString &text, const QColor &ink, const QSize &size,
                 const QRect &area = QRect()) const
    {
        QImage image(size, format);
        image.fill(paper);
        QPainter painter(&image);
        painter.setFont(font);
        if (!area.isNull())
            painter.setClipRect(area);
        cache.draw(painter, QRect(QPoint(0, 0), size), alignment, text, ink, paper, area);
        painter.end();
        return image;
    }
};

} // namespace

class TestControls : public QObject
{
    Q_OBJECT

  private slots:
    void pickingFromTheListClicksOnce_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("first entry") << 0;
        QTest::newRow("entry without a path") << 2;
    }

    void pickingFromTheListClicksOnce()
    {
        QFETCH(int, row);
        ComboFixture f;
        QVERIFY(QTest::qWaitForWindowExposed(widgetOf(f.window)));
        int clicks = 0;
        f.combo.Click = [&] { ++clicks; };
        QComboBox *box = widgetOf(f.combo);
        box->showPopup();
        QAbstractItemView *view = box->view();
        QTRY_VERIFY(view->isVisible());
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_COMPARE(clicks, 1);
        QCOMPARE(toQString(f.combo.Text()), toQString(f.combo.List(row)));
        QCoreApplication::processEvents();
        QCOMPARE(clicks, 1);
    }

    void keysRaiseKeyPressOnly_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("keyAscii");
        QTest::addColumn<QString>("textAfter");
        // Qt would report this as an activation; it must stay a key press.
        QTest::newRow("Enter with an entry's text")
            << "http://b.example/" << int(Qt::Key_Return) << 13 << "http://b.example/";
        QTest::newRow("keypad Enter") << "abc" << int(Qt::Key_Enter) << 13 << "abc";
        QTest::newRow("backspace is passed on") << "ab" << int(Qt::Key_Backspace) << 8 << "a";
    }

    void keysRaiseKeyPressOnly()
    {
        QFETCH(QString, typed);
        QFETCH(int, key);
        QFETCH(int, keyAscii);
        QFETCH(QString, textAfter);
        ComboFixture f;
        QVERIFY(QTest::qWaitForWindowActive(widgetOf(f.window)));
        f.combo.setText(typed.toStdU16String());
        widgetOf(f.combo)->lineEdit()->end(false);
        int clicks = 0;
        f.combo.Click = [&] { ++clicks; };
        QList<int> codes;
        f.combo.KeyPress = [&](std::int16_t &code) { codes.append(code); };
        QTest::keyClick(widgetOf(f.combo), Qt::Key(key));
        QCOMPARE(codes, QList<int>{keyAscii});
        QCOMPARE(clicks, 0);
        QCOMPARE(toQString(f.combo.Text()), textAfter);
    }

    void labelPointerAndMove()
    {
        Window window;
        Label label(window);
        label.setAutoSize(true);
        label.setCaption(u"同步网络时间:");
        window.setClientSize(4500, 1500);
        window.Show();
        QVERIFY(QTest::qWaitForWindowExposed(widgetOf(window)));
        int moves = 0;
        label.MouseMove = [&](int, int, double, double) { ++moves; };
        QTest::mouseMove(widgetOf(label), QPoint(2, 2));
        QTRY_VERIFY(moves > 0);
        label.setMousePointer(14);
        QCOMPARE(widgetOf(label)->cursor().shape(), Qt::WhatsThisCursor);
    }

    // What the tests' own back end cannot show: real font metrics, the focus
    // policy, the alignment and the colour on the QLabel.
    void labelOnItsWidget()
    {
        Window window;
        Label plain(window);
        Label kai(window);
        Label centred(window);
        kai.setFontName(u"楷体");
        kai.setFontCharset(134);
        centred.setAlignment(Alignment::Center);
        const double tpp = window.twipsPerPixel();
        for (Label *label : {&plain, &kai}) {
            label->setAutoSize(true);
            // Empty, a self-sizing label is one space of its real font wide.
            const QFontMetricsF metrics(widgetOf(*label)->font());
            QCOMPARE(label->Width(), std::ceil(metrics.horizontalAdvance(QLatin1Char(' '))) * tpp);
            QCOMPARE(label->Height(), std::ceil(metrics.height()) * tpp);
            QVERIFY(label->Width() > 0);
        }
        // Without a face of its own a label takes the window's.
        QCOMPARE(toQString(plain.FontName()), widgetOf(window)->font().family());
        QCOMPARE(toQString(kai.FontName()), QStringLiteral("楷体"));

        QCOMPARE(widgetOf(plain)->focusPolicy(), Qt::NoFocus);
        QCOMPARE(widgetOf(plain)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(widgetOf(centred)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        plain.setForeColor(Rgb(192, 64, 0));
        QCOMPARE(widgetOf(plain)->palette().color(QPalette::WindowText), QColor(192, 64, 0));
        plain.setLeft(6240);
        QCOMPARE(widgetOf(plain)->geometry().left(), int(std::lround(6240.0 / tpp)));
    }

    // The seconds display as the clock sets it up, through two minutes of
    // captions: each glyph is drawn by Qt once in its place, then only copied,
    // and only the cells that changed are painted.
    void secondsRepaintFromTheCache()
    {
        Window window;
        Label seconds(window);
        window.setClientSize(28800, 16200);
        seconds.setFontName(u"楷体");
        seconds.setFontSize(160);
        seconds.setFontBold(true);
        seconds.setAutoSize(true);
        seconds.setLeft(19840);
        seconds.setTop(6000);
        seconds.setForeColor(Rgb(170, 170, 170));
        seconds.setCaption(u":59");
        window.Show();
        QVERIFY(QTest::qWaitForWindowExposed(widgetOf(window)));
        qt::LabelWidget *widget = widgetOf(seconds);
        int paints = 0;
        QRect painted;
        PaintWatch watch(widget, [&](const QRect &area) { ++paints, painted |= area; });

        const auto minute = [&] {
            for (int second = 0; second < 60; ++second) {
                painted = QRect();
                seconds.setCaption(u":" + Format(second, u"00"));
                QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
                // The colon stays as it is.
                QVERIFY2(painted.left() > widget->width() / 4,
                         qPrintable(toQString(seconds.Caption())));
            }
        };
        minute();
        const qt::GlyphCache::Counters first = widget->glyphs().counters();
        minute();
        const qt::GlyphCache::Counters second = widget->glyphs().counters();
        QCOMPARE(second.copied - first.copied, 60);
        QCOMPARE(second.runs + second.plain, 0);
        QCOMPARE(second.rendered, first.rendered);
        QCOMPARE(paints, 120);
    }

    void colourToQColor_data()
    {
        QTest::addColumn<uint>("word");
        QTest::addColumn<QColor>("colour");
        const QPalette palette = QApplication::palette();
        QTest::newRow("local-mode colour") << 16576u << QColor(192, 64, 0);
        QTest::newRow("high byte ignored") << 0x80563412u << QColor(0x12, 0x34, 0x56);
        QTest::newRow("button face from the scheme")
            << uint(SystemButtonFace) << palette.color(QPalette::Button);
        QTest::newRow("button text from the scheme")
            << uint(SystemButtonText) << palette.color(QPalette::ButtonText);
    }

    void colourToQColor()
    {
        QFETCH(uint, word);
        QFETCH(QColor, colour);
        QCOMPARE(qt::toQColor(word), colour);
        QCOMPARE(qt::toQColor(word).alpha(), 255);
    }

    void longDateIsSystemLocaleLongFormat_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QDate>("date");
        // Which day a serial is, the core's tables check; here the ends of the range.
        QTest::newRow("2026-12-07 afternoon") << 46363.586 << QDate(2026, 12, 7);
        QTest::newRow("first day of range") << -657434.0 << QDate(100, 1, 1);
        QTest::newRow("last day of range") << 2958465.5 << QDate(9999, 12, 31);
    }

    void longDateIsSystemLocaleLongFormat()
    {
        QFETCH(double, serial);
        QFETCH(QDate, date);
        const QString expected = QLocale::system().toString(date, QLocale::LongFormat);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(toQString(Format(Date{serial}, u"dddddd")), expected);

        // The default QLocale plays no part: only the user's (system) locale.
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
        const Text withOtherDefault = Format(Date{serial}, u"dddddd");
        QLocale::setDefault(previous);
        QCOMPARE(toQString(withOtherDefault), expected);
    }

    void longDateInChinese_data()
    {
        QTest::addColumn<double>("serial");
        QTest::addColumn<QString>("text");
        QTest::newRow("2026-12-07 Monday, 22:04")
            << 46363.92 << QStringLiteral("2026年12月7日星期一");
        QTest::newRow("2027-01-01 Friday, 07:59")
            << 46388.333 << QStringLiteral("2027年1月1日星期五");
    }

    void longDateInChinese()
    {
        QFETCH(double, serial);
        QFETCH(QString, text);
        if (QLocale::system().name() != QLatin1String("zh_CN"))
            QSKIP("not under zh_CN: the CTest entry tst_qtcontrols_zh_CN runs this");
        QCOMPARE(toQString(Format(Date{serial}, u"dddddd")), text);
    }

    // The message box as the program asks for it, answered as a user would.
    void realDialogAnswers_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("buttons");
        const QStringList okCancel = {QStringLiteral("取消"), QStringLiteral("确定")};
        const QStringList okOnly = {QStringLiteral("确定")};
        QTest::newRow("question: Enter takes the default, Cancel")
            << 289 << "enter" << 2 << okCancel;
        QTest::newRow("question: Escape cancels") << 289 << "escape" << 2 << okCancel;
        QTest::newRow("question: closing the box cancels") << 289 << "close" << 2 << okCancel;
        QTest::newRow("question: OK clicked") << 289 << "ok" << 1 << okCancel;
        QTest::newRow("notice: Enter is OK") << 0 << "enter" << 1 << okOnly;
        QTest::newRow("notice: Escape is OK") << 0 << "escape" << 1 << okOnly;
        QTest::newRow("notice: closing is OK") << 0 << "close" << 1 << okOnly;
    }

    void realDialogAnswers()
    {
        QFETCH(int, flags);
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(QStringList, buttons);
        QStringList seenButtons;
        QString seenTitle;
        QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
        // Acts on the dialog once it is up; gives up after a few seconds.
        QTimer poll;
        int attempts = 0;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box && ++attempts > 300)
                poll.stop();
            if (!box)
                return;
            poll.stop();
            seenTitle = box->windowTitle();
            seenIcon = box->icon();
            for (QAbstractButton *b : box->buttons())
                seenButtons.append(b->text());
            if (action == QLatin1String("enter"))
                QTest::keyClick(box, Qt::Key_Return);
            else if (action == QLatin1String("escape"))
                QTest::keyClick(box, Qt::Key_Escape);
            else if (action == QLatin1String("close"))
                box->close();
            else
                for (QAbstractButton *b : box->buttons())
                    if (b->text() == QStringLiteral("确定"))
                        b->click();
        });
        poll.start(10);

        QCOMPARE(MsgBox(u"确定要退出吗？", flags, u"提示"), answer);
        QCOMPARE(seenTitle, QStringLiteral("提示"));
        seenButtons.sort();
        QCOMPARE(seenButtons, buttons);
        QCOMPARE(seenIcon, flags & vbQuestion ? QMessageBox::Question : QMessageBox::NoIcon);
    }

    // Captions drawn from the glyph cache, pixel for pixel against QLabel's
    // own drawing of them: cold, warm, again after another colour, and a part
    // of the label alone, as a repaint of the cells that changed draws it.
    void glyphCacheSameAsLabel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QColor>("ink");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<int>("extraWidth"); // beyond the text's advance
        QTest::addColumn<QString>("way");    // copied, runs (Qt's glyph cache) or plain
        // The clock's characters alone are composed from each laid out alone.
        QTest::addColumn<bool>("composed");
        QTest::addColumn<int>("spacing"); // letters' spacing in pixels

        const QColor grey(170, 170, 170), orange(192, 64, 0), olive(128, 128, 0);
        const QString kai = QString::fromUtf8("楷体");
        const QString copied = QStringLiteral("copied"), runs = QStringLiteral("runs");
        QTest::newRow("seconds") << ":07" << kai << 160.0 << true << grey << false << 0 << copied
                                 << true << 0;
        QTest::newRow("seconds centred, odd width")
            << ":59" << kai << 160.0 << true << orange << true << 7 << copied << true << 0;
        QTest::newRow("hours and minutes centred on a half pixel")
            << "08:41" << kai << 320.0 << true << grey << true << 1 << copied << true << 0;
        // The face's six is narrower than its other digits: what follows it
        // moves off the whole half pixel.
        QTest::newRow("a narrower six before the minutes")
            << "16:46" << kai << 320.0 << true << orange << false << 0 << copied << true << 0;
        QTest::newRow("a narrower six, centred")
            << "06:36" << kai << 320.0 << true << grey << true << 3 << copied << true << 0;
        // Advances of odd 1/64 pixels: the pen starts half a 1/64 off, which the
        // engine truncates.
        QTest::newRow("centred on half a 1/64 pixel") << "12:34"
                                                      << "WenQuanYi Micro Hei" << 101.7 << false
                                                      << orange << true << 5 << copied << true << 0;
        QTest::newRow("narrower than the text: clipped")
            << ":48" << kai << 160.0 << true << grey << false << -5 << copied << true << 0;
        QTest::newRow("blanks around")
            << " 1 " << kai << 160.0 << true << orange << true << 30 << copied << false << 0;
        // Glyphs that touch are kept as the whole line.
        QTest::newRow("kerned into each other")
            << "AV"
            << "Liberation Sans" << 160.0 << true << grey << false << 0 << copied << false << 0;
        // Digits spaced into each other: composed, then kept whole as a line.
        QTest::newRow("digits that touch")
            << "10:11" << kai << 160.0 << true << grey << false << 0 << copied << true << -60;
        QTest::newRow("the date") << QString::fromUtf8("2026年12月7日星期一") << kai << 38.0
                                  << false << olive << false << 0 << copied << false << 0;
        QTest::newRow("resync counter in a small font")
            << "137"
            << "WenQuanYi Micro Hei" << 9.0 << false << QColor(Qt::black) << false << 20 << copied
            << true << 0;
        QTest::newRow("resync counter, one digit")
            << "7"
            << "WenQuanYi Micro Hei" << 9.0 << false << QColor(Qt::black) << false << 20 << copied
            << true << 0;
        QTest::newRow("small and clipped")
            << "179"
            << "WenQuanYi Micro Hei" << 9.0 << false << QColor(Qt::black) << false << -4 << copied
            << true << 0;
        // The face kerns some pairs of digits: Qt lays such captions out.
        QTest::newRow("digits of a face that kerns them")
            << "10:11"
            << "Liberation Serif" << 100.0 << false << orange << true << 0 << copied << false << 0;
        QTest::newRow("right to left") << QString::fromUtf8("שלום") << kai << 160.0 << true << grey
                                       << false << 0 << QStringLiteral("plain") << false << 0;
    }

    void glyphCacheSameAsLabel()
    {
        QFETCH(QString, text);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, bold);
        QFETCH(QColor, ink);
        QFETCH(bool, centred);
        QFETCH(int, extraWidth);
        QFETCH(QString, way);
        QFETCH(bool, composed);
        QFETCH(int, spacing);

        LabelPicture label(family, points, bold, centred);
        label.font.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
        const QFontMetricsF metrics(label.font);
        const QSize size(int(std::ceil(metrics.horizontalAdvance(text))) + extraWidth,
                         int(std::ceil(metrics.height())));
        const QImage expected = label.expected(text, ink, size);

        qt::GlyphCache cache;
        QCOMPARE(label.drawn(cache, text, ink, size), expected);
        // Warm, nothing is drawn by Qt again.
        const int rendered = cache.counters().rendered;
        QCOMPARE(label.drawn(cache, text, ink, size), expected);
        QCOMPARE(cache.counters().rendered, rendered);
        label.drawn(cache, text, QColor(Qt::blue), size);
        QCOMPARE(label.drawn(cache, text, ink, size), expected);
        const QRect right(size.width() / 2, 0, size.width() - size.width() / 2, size.height());
        QImage partly(expected.size(), expected.format());
        partly.fill(label.paper);
        QPainter(&partly).drawImage(right.topLeft(), expected, right);
        QCOMPARE(label.drawn(cache, text, ink, size, right), partly);
        // A part first: what cannot be kept from it is drawn by Qt.
        qt::GlyphCache cold;
        QCOMPARE(label.drawn(cold, text, ink, size, right), partly);
        // Shown again after other captions came and went, nothing is drawn
        // by Qt again either.
        qt::GlyphCache cycled;
        label.drawn(cycled, text, ink, size);
        for (const char *other : {"0", "1", "2", "3", "4", "5"})
            label.drawn(cycled, QString::fromLatin1(other), ink, size, QRect(0, 0, 1, 1));
        const int renderedBefore = cycled.counters().rendered;
        QCOMPARE(label.drawn(cycled, text, ink, size), expected);
        QCOMPARE(cycled.counters().rendered, renderedBefore);

        const qt::GlyphCache::Counters counters = cache.counters();
        const QMap<QString, int> ways{{QStringLiteral("copied"), counters.copied},
                                      {QStringLiteral("runs"), counters.runs},
                                      {QStringLiteral("plain"), counters.plain}};
        for (auto it = ways.begin(); it != ways.end(); ++it)
            QCOMPARE(it.value(), it.key() == way ? 5 : 0);
        // Each text is laid out or composed once, whatever the colour or the area.
        const bool laidOut = !composed && way != QLatin1String("plain");
        QCOMPARE(counters.laidOut, laidOut ? 1 : 0);
        QCOMPARE(counters.composed, composed ? 1 : 0);
    }

    // The other digits at the place of a caption's last one are drawn while
    // the whole label is painted; the next caption is copied from them alone,
    // the same as QLabel draws it.
    void glyphCacheDrawsAhead_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("family");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("centred");
        QTest::addColumn<int>("ahead"); // glyphs drawn ahead

        const QString kai = QString::fromUtf8("楷体"),
                      small = QStringLiteral("WenQuanYi Micro Hei");
        QTest::newRow("the minute turns") << "08:41"
                                          << "08:42" << kai << 320.0 << false << 9;
        QTest::newRow("to the narrower six") << "12:35"
                                             << "12:36" << kai << 320.0 << false << 9;
        QTest::newRow("centred") << "08:41"
                                 << "08:49" << kai << 320.0 << true << 9;
        QTest::newRow("the seconds' last digit") << ":30"
                                                 << ":39" << kai << 160.0 << false << 9;
        QTest::newRow("the resync counter") << "17"
                                            << "18" << small << 9.0 << false << 9;
        // Only the last place is drawn ahead.
        QTest::newRow("the tens turn") << "09"
                                       << "10" << small << 9.0 << false << 9;
        QTest::newRow("not ending in a digit") << "12:"
                                               << "12:0" << kai << 160.0 << false << 0;
    }

    void glyphCacheDrawsAhead()
    {
        QFETCH(QString, first);
        QFETCH(QString, next);
        QFETCH(QString, family);
        QFETCH(double, points);
        QFETCH(bool, centred);
        QFETCH(int, ahead);

        const LabelPicture label(family, points, true, centred);
        const QFontMetricsF metrics(label.font);
        const QSize size(int(std::ceil(std::max(metrics.horizontalAdvance(first),
                                                metrics.horizontalAdvance(next)))) +
                             2,
                         int(std::ceil(metrics.height())));
        const QColor ink(192, 64, 0);
        qt::GlyphCache cache;
        QCOMPARE(label.drawn(cache, first, ink, size), label.expected(first, ink, size));
        QCOMPARE(cache.counters().ahead, ahead);
        // A place is filled once.
        label.drawn(cache, first, ink, size);
        QCOMPARE(cache.counters().ahead, ahead);
        const int rendered = cache.counters().rendered;
        const bool keptAhead =
            ahead > 0 && next.size() == first.size() && next.chopped(1) == first.chopped(1);
        QCOMPARE(label.drawn(cache, next, ink, size), label.expected(next, ink, size));
        if (keptAhead)
            QCOMPARE(cache.counters().rendered, rendered);
        else
            QVERIFY(cache.counters().rendered > rendered);
    }
};

// The program's own Application: the fonts and the long date come with it.
int main(int argc, char *argv[])
{
    Application app(argc, argv, u"全屏时钟");
    QApplication::setAttribute(Qt::AA_Use96Dpi, true);
    TestControls test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qtcontrols.moc"
