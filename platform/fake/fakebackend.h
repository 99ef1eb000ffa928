// SPDX-License-Identifier: MIT
#pragma once

// The tests' own back end: every function of backend.h in standard C++, so
// that the handlers' tests build and run wherever the core does (natively,
// under the sanitizers, and cross-built under Wine). The peers keep what the
// controls set and let a test raise the user's input; time runs on the test's
// EventLoop (fakeloop.h); message boxes and HTTP exchanges answer as the test
// scripts them. A message box or an exchange that no script expects aborts
// the test with a message rather than guessing an answer.

#include "backend.h"
#include "fakeloop.h"
#include "textcells.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::fake
{

// ---- Text measurement ------------------------------------------------------
// Deterministic and simple: an em is the point size at 96 dots per inch
// (points * 4 / 3 pixels). An ASCII character is half an em wide, any other
// character a whole em; bold makes a character a tenth wider. A line is 1.25
// em high. The size asked for is realised exactly, fractions included.
TextExtent measureText(const Text &text, const FontSpec &font);

// The face of a window's own font.
inline const Text WindowFontName = u"Fake Sans";
// The window's own font, which Print() writes in.
inline FontSpec windowFont()
{
    return {WindowFontName, 9, false, 0};
}

class FakeWindow;

// ---- Peers -----------------------------------------------------------------

class FakeLabel : public LabelPeer
{
  public:
    explicit FakeLabel(FakeWindow &window);
    ~FakeLabel() override;

    // Only the cells that differ need painting, as the real labels paint.
    void setText(const Text &value) override;
    void setGeometry(const PixelRect &rect) override { geometry = rect, markAll(); }
    double setFont(const FontSpec &value) override;
    TextExtent measure(const Text &value) const override;
    void setForeColor(ColourWord colour) override { foreColor = colour, markAll(); }
    void setAlignment(Alignment value) override { alignment = value, markAll(); }
    void setVisible(bool value) override { visible = value, markAll(); }
    void setPointer(Pointer value) override { pointer = value; }

    // The user's input.
    void click();
    void mouseMove(const MouseState &state, double x, double y);

    // What the controls set; the font's name as asked for, or the window's.
    Text text;
    PixelRect geometry{};
    FontSpec font;
    ColourWord foreColor = 0;
    Alignment alignment = Alignment::Left;
    bool visible = true;
    Pointer pointer = Pointer::Default;
    // The part changed since it was last painted and the part painted since
    // a test last cleared it, from the label's top-left corner (width 0:
    // none); how often it was painted.
    PixelRect dirty{};
    PixelRect painted{};
    int paints = 0;

  private:
    friend class FakeWindow;
    // Each character's cell by the measuring rule, placed as aligned.
    std::vector<TextCell> cells(const Text &line) const;
    // Whether the user could see anything of its caption.
    bool seen() const;
    void mark(const PixelRect &area);
    void markAll() { mark({0, 0, geometry.width, geometry.height}); }

    FakeWindow *m_window;
};

class FakeComboBox : public ComboBoxPeer
{
  public:
    explicit FakeComboBox(FakeWindow &window);
    ~FakeComboBox() override;

    Text text() const override { return editText; }
    void setText(const Text &value) override { editText = value; }
    void addItem(const Text &item) override { items.push_back(item); }
    void setGeometry(const PixelRect &rect) override { geometry = rect; }
    void setFocus() override;

    // The user picks entry `index` from the list: the edit field takes it,
    // then Click is raised.
    void pick(int index);
    // The user types a character; returns the code the edit field then sees
    // (0 when a handler swallowed it, or the key was held or lost).
    std::int16_t type(std::int16_t keyAscii);

    Text editText;
    std::vector<Text> items;
    PixelRect geometry{};

  private:
    friend class FakeWindow;
    FakeWindow *m_window;
};

class FakeWindow : public WindowPeer
{
  public:
    // twipsPerPixel from the screen metrics set for the test.
    FakeWindow();
    ~FakeWindow() override;

    std::unique_ptr<LabelPeer> createLabel() override;
    std::unique_ptr<ComboBoxPeer> createComboBox() override;
    double twipsPerPixel() const override { return m_twipsPerPixel; }
    Text fontName() const override { return WindowFontName; }
    void setTitle(const Text &value) override { title = value; }
    void setProgramIcon() override { hasProgramIcon = true; }
    void moveTo(int x, int y) override;
    void setClientSize(int width, int height) override;
    void setOuterSize(int width, int height) override;
    int outerWidth() const override { return clientWidthPx + 2 * frame; }
    int outerHeight() const override { return clientHeightPx + 2 * frame + caption; }
    int clientWidth() const override { return clientWidthPx; }
    double print(const Text &line, int x, int y, ColourWord colour) override;
    void show() override;
    void close() override;
    WindowState state() const override;
    void keepDisplayOn(bool on) override { displayKeptOn = on; }

    // A close by the user or the window manager; returns whether the window
    // is closed.
    bool requestClose();
    // The user or the window manager minimises the shown window, or restores it.
    void minimise();
    void restore();
    // What changed of the visible labels since they were last painted is
    // painted, once the window is shown.
    void paint();

    // The window's frame: `frame` pixels on each side and a caption bar of
    // `caption` pixels on top; none unless a test sets one.
    int frame = 0;
    int caption = 0;

    Text title;
    bool hasProgramIcon = false;
    int left = 0;
    int top = 0;
    int clientWidthPx = 0;
    int clientHeightPx = 0;
    // Shown (minimised or not) and not closed since.
    bool shown = false;
    bool closed = false;
    bool minimised = false;
    // What keepDisplayOn last asked for.
    bool displayKeptOn = false;
    struct PrintedLine {
        Text line;
        int x;
        int y;
        ColourWord colour;
    };
    std::vector<PrintedLine> printed;
    // The children, bottom first; the one with the keyboard focus.
    std::vector<const void *> stacking;
    const void *focus = nullptr;

    // Every window that exists, oldest first.
    static const std::vector<FakeWindow *> &all();

  private:
    friend class FakeLabel;
    friend class FakeComboBox;
    void forget(const void *child);
    void setState(bool isShown, bool isMinimised);

    double m_twipsPerPixel;
    bool m_closing = false;
    std::vector<FakeLabel *> m_labels;
    std::vector<FakeComboBox *> m_combos;
};

// Whether some window keeps the display on, as the system sees it.
bool displayKeptOn();

// ---- Screen ----------------------------------------------------------------

// The primary screen until the next call; 1024 x 768 pixels at 15 twips per
// pixel to begin with.
void setScreen(const ScreenMetrics &metrics);
// While set, the system refuses new windows: creating one raises the run-time
// error a back end raises when the system's call fails.
void setWindowsRefused(bool refused);

// ---- Program start and the event loop -------------------------------------

// backend::exec runs the current EventLoop until exit() is called or no
// window is shown, but for at most this long of simulated time (then it
// returns 0); a test that must not wait for ever lowers it. exit() outside
// exec ends nothing, as with a toolkit whose loop is not running.
void setExecLimit(std::int64_t ms);
// The status the last exit() asked for, -1 before any.
int lastExitStatus();

// The long date is written without any locale, always in one form:
// "2026年12月7日星期一".
Text longDate(const CivilDate &date);

// ---- Message boxes ---------------------------------------------------------

// While one exists, it answers every message box and records what each asked.
class MessageBoxes
{
  public:
    explicit MessageBoxes(MessageBoxAnswer answer = MessageBoxAnswer::Ok);
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes &) = delete;
    MessageBoxes &operator=(const MessageBoxes &) = delete;

    MessageBoxAnswer answer;
    // Runs while the box is open, before it is answered: ticks and other
    // events a real box lets through happen here.
    std::function<void()> onShow;
    std::vector<MessageBoxRequest> calls;
};

// How many message boxes are open, and exchanges under way, now.
int openMessageBoxes();
int openExchanges();

// ---- HTTP exchanges --------------------------------------------------------

// A host name typed beyond ASCII gets a made-up ASCII form (fakebackend.cpp),
// not IDNA's: the real conversions meet the hostile table in tests/http/.
//
// While one exists, it answers every exchange with `response`, as scripted
// (an oversized header block included, so that the request object's own
// bounds are tested), and records what each asked.
class Exchanges
{
  public:
    explicit Exchanges(HttpResponse response = {HttpResponse::Failure::Unreachable, 0, {}});
    ~Exchanges();
    Exchanges(const Exchanges &) = delete;
    Exchanges &operator=(const Exchanges &) = delete;

    // A response with `status` and these header lines (each ending in CRLF),
    // as a server sends it: status line first, an empty line last.
    static HttpResponse reply(int status, const std::string &headerLines);
    // An exchange that failed.
    static HttpResponse failure(HttpResponse::Failure kind);

    HttpResponse response;
    // Runs inside the exchange, before it returns: time passing while the
    // server answers (EventLoop::run), or the user acting meanwhile.
    std::function<void()> during;
    std::vector<HttpExchange> calls;

    // Every exchange takes this long after its send moment before the request
    // leaves (name lookup, connecting, TLS); the loop runs meanwhile.
    std::int64_t setup = 0;
    // A server with a clock of its own, in place of `response`: the request
    // leaves after its send moment and the set-up (the loop runs until then),
    // reaches the server `out` ms later, which answers 200 with the Date of
    // its clock then (ms since 1970 UTC, given the monotonic time), and the
    // headers are back `back` ms after that. The loop runs meanwhile.
    std::function<std::int64_t(std::int64_t mono)> serverClock;
    std::int64_t out = 0;
    std::int64_t back = 0;
    // The Date header of a time in ms since 1970 UTC: "Mon, 07 Dec 2026 14:04:45 GMT".
    static std::string httpDate(std::int64_t ms);
};

} // namespace platform::fake
