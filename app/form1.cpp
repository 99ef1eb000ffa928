#include "form1.h"

#include "combobox.h"
#include "constants.h"
#include "label.h"
#include "runtimeerror.h"
#include "timer.h"

using namespace platform;

namespace
{

struct LabelDescription {
    const char *caption;
    double left, top, width, height;
    const char *fontName; // nullptr: the window's font
    int charset;
    ColourWord foreColor;
    bool autoSize;
    int tabIndex;
};

constexpr ColourWord LocalModeColour = 0x000040C0;
constexpr ColourWord Grey = 0x00808080;

void describe(Label *label, const LabelDescription &d)
{
    if (d.fontName) {
        label->setFontName(QString::fromUtf8(d.fontName));
        label->setFontSize(9);
        label->setFontCharset(d.charset);
    }
    label->setForeColor(d.foreColor);
    label->setSize(d.width, d.height);
    label->setAutoSize(d.autoSize);
    label->setLeft(d.left);
    label->setTop(d.top);
    label->setCaption(QString::fromUtf8(d.caption));
    label->setTabIndex(d.tabIndex);
}

Timer *makeTimer(int intervalMs, const char *tag, QObject *parent)
{
    auto *timer = new Timer(intervalMs, parent);
    timer->setTag(QString::fromUtf8(tag));
    timer->setEnabled(true);
    return timer;
}

} // namespace

// Created in stacking order, bottom first: Label1 lies lowest, Combo1 on top.
Form1::Form1(QWidget *parent)
    : Window(parent), Label1(new Label(this)), Label2(new Label(this)), Label3(new Label(this)),
      Label4(new Label(this)), Label5(new Label(this)), Label6(new Label(this)),
      Label7(new Label(this)), Label8(new Label(this)), Combo1(new ComboBox(this)),
      Timer1(makeTimer(1000, "本地时间", this)), Timer2(makeTimer(1000, "辅助秒钟", this)),
      Timer3(makeTimer(1000, "秒钟", this)), Timer4(makeTimer(500, "更新日期", this))
{
    setCaption(clockapp::CreditLine);
    setWindowIcon(QIcon(QStringLiteral(":/icons/clock.ico")));
    setForeColor(0x00FFFFFF);
    setClientSize(17085, 10200);
    move(0, 0);

    describe(Label1, {"", 3120, 5400, 60, 225, "Arial", 0, LocalModeColour, true, 0});
    describe(Label2, {"", 2040, 2160, 45, 195, "华文楷体", 134, LocalModeColour, true, 1});
    Label2->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    describe(Label3, {"", 0, 0, 450, 180, nullptr, 0, SystemButtonText, false, 2});
    describe(Label4, {"同步网络时间:", 6240, 9120, 1170, 180, "楷体", 134, Grey, true, 3});
    describe(Label5, {"", 360, 0, 2055, 375, "楷体", 134, SystemButtonText, false, 4});
    describe(Label6, {"点击这里同步本地时间", 6240, 8760, 1800, 180, "楷体", 134, SystemButtonText,
                      true, 5});
    describe(Label7, {"", 12120, 4560, 90, 180, nullptr, 0, SystemButtonText, true, 7});
    describe(Label8, {"", 11040, 9120, 2250, 180, nullptr, 0, Grey, true, 8});
    Label8->setCaption(QStringLiteral("例：") + clockapp::DefaultTimeServer);

    Combo1->setSize(2655, 300);
    Combo1->setLeft(8160);
    Combo1->setTop(9120);
    Combo1->setTabIndex(6);
    for (const QString &server : clockapp::serverList())
        Combo1->AddItem(server);
    Combo1->setText(QStringLiteral("请选择需要同步的服务器"));
    Combo1->setFocus();

    connect(Combo1, &ComboBox::Click, this, guarded(this, &Form1::Combo1_Click));
    connect(Combo1, &ComboBox::KeyPress, this, [this](qint16 &keyAscii) {
        try {
            Combo1_KeyPress(keyAscii);
        } catch (const RuntimeError &error) {
            reportRuntimeError(error);
        }
    });
    connect(Label4, &Label::Click, this, guarded(this, &Form1::Label4_click));
    connect(Label4, &Label::MouseMove, this, guarded(this, &Form1::Label4_MouseMove));
    connect(Label6, &Label::Click, this, guarded(this, &Form1::Label6_Click));
    connect(Timer1, &Timer::tick, this, guarded(this, &Form1::Timer1_Timer));
    connect(Timer2, &Timer::tick, this, guarded(this, &Form1::Timer2_Timer));
    connect(Timer3, &Timer::tick, this, guarded(this, &Form1::Timer3_Timer));
    connect(Timer4, &Timer::tick, this, guarded(this, &Form1::Timer4_Timer));
}
