// SPDX-License-Identifier: MIT
#include "form1.h"

#include "constants.h"
#include "msgbox.h"

using namespace platform;
using clockapp::LocalModeColour;

namespace
{

struct LabelDescription {
    const char16_t *caption;
    double left, top, width, height;
    const char16_t *fontName; // nullptr: the window's font
    int charset;
    ColourWord foreColor;
    bool autoSize;
    int tabIndex;
};

constexpr ColourWord Grey = 0x00808080;

void describe(Label &label, const LabelDescription &d)
{
    if (d.fontName) {
        label.setFontName(d.fontName);
        label.setFontSize(9);
        label.setFontCharset(d.charset);
    }
    label.setForeColor(d.foreColor);
    label.setSize(d.width, d.height);
    label.setAutoSize(d.autoSize);
    label.setLeft(d.left);
    label.setTop(d.top);
    label.setCaption(d.caption);
    label.setTabIndex(d.tabIndex);
}

void describe(Timer &timer, const char16_t *tag)
{
    timer.setTag(tag);
    timer.setEnabled(true);
}

} // namespace

Form1::Form1()
{
    setCaption(clockapp::CreditLine);
    setProgramIcon();
    setForeColor(0x00FFFFFF);
    setClientSize(17085, 10200);
    Move(0, 0);

    describe(Label1, {u"", 3120, 5400, 60, 225, u"Arial", 0, LocalModeColour, true, 0});
    describe(Label2, {u"", 2040, 2160, 45, 195, u"华文楷体", 134, LocalModeColour, true, 1});
    Label2.setAlignment(Alignment::Center);
    m_dateHome = Label2.Left();
    describe(Label3, {u"", 0, 0, 450, 180, nullptr, 0, SystemButtonText, false, 2});
    describe(Label4, {u"同步网络时间:", 6240, 9120, 1170, 180, u"楷体", 134, Grey, true, 3});
    describe(Label5, {u"", 360, 0, 2055, 375, u"楷体", 134, SystemButtonText, false, 4});
    describe(Label6, {u"点击这里同步本地时间", 6240, 8760, 1800, 180, u"楷体", 134,
                      SystemButtonText, true, 5});
    describe(Label7, {u"", 12120, 4560, 90, 180, nullptr, 0, SystemButtonText, true, 7});
    describe(Label8, {u"", 11040, 9120, 2250, 180, nullptr, 0, Grey, true, 8});
    Label8.setCaption(u"例：" + clockapp::DefaultTimeServer);

    Combo1.setSize(2655, 300);
    Combo1.setLeft(8160);
    Combo1.setTop(9120);
    Combo1.setTabIndex(6);
    for (const Text &server : clockapp::serverList())
        Combo1.AddItem(server);
    Combo1.setText(clockapp::ServerListPrompt);
    Combo1.SetFocus();

    describe(Timer1, u"本地时间");
    describe(Timer2, u"辅助秒钟");
    describe(Timer3, u"秒钟");
    describe(Timer4, u"更新日期");

    Combo1.Click = [this] { Combo1_Click(); };
    Combo1.KeyPress = [this](std::int16_t &keyAscii) { Combo1_KeyPress(keyAscii); };
    Label4.Click = [this] { Label4_click(); };
    Label4.MouseMove = [this](int, int, double, double) { Label4_MouseMove(); };
    Label6.Click = [this] { Label6_Click(); };
    Timer1.Tick = guarded([this] { Timer1_Timer(); });
    Timer2.Tick = guarded([this] { Timer2_Timer(); });
    Timer3.Tick = guarded([this] { Timer3_Timer(); });
    Timer4.Tick = guarded([this] { Timer4_Timer(); });
    // The date refresh writes only while the display shows midnight: in
    // between, its half-second ticks change nothing and wake nobody.
    Timer4.setIdleWhile([this] { return !showsMidnight(); });
    Resumed = [this] { m_resumed = true; };
}
