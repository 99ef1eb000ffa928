// SPDX-License-Identifier: MIT
#pragma once

// What a back end supplies to the program, in one place. The program's rules
// (which URLs are requested, how headers are read, which failures the user
// is told about) stay above this line; a back end only carries them out.
//
// A back end (platform/qt, platform/win32, the tests' platform/fake)
// implements the peers below and the functions of the backend namespace, and
// the program links exactly one. The controls (platform/controls) keep every
// property in twips and points and decide what the program sees; the peers
// realise them on screen in whole pixels and report the user's input through
// their callbacks. Everything is called on the user-interface thread, the
// clocks excepted. A callback never throws: the controls report a run-time
// error raised by a handler before it returns.
//
// A new back end's checklist is the conformance suite (tests/conformance):
// one case per promise made here, run against every back end through a small
// driver of its own.

#include "colour.h"
#include "datetime.h"
#include "text.h"
#include "twips.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform
{

// ---- Controls --------------------------------------------------------------

struct FontSpec {
    Text name;         // face as the program asks for it ("楷体"); empty: the window's font
    double points = 9; // may be fractional
    bool bold = false;
    int charset = 0; // 0 Western, 134 GB2312
};

// Size of one line of text in pixels, unrounded.
struct TextExtent {
    double width = 0;
    double height = 0;
};

enum class Alignment { Left, Center };

// The mouse pointer over a label: the arrow, or the arrow with a question mark.
enum class Pointer { Default, Help };

// The buttons held and the modifier keys down while the mouse moves.
struct MouseState {
    bool left = false;
    bool right = false;
    bool middle = false;
    bool shift = false;
    bool control = false;
    bool alt = false;
};

// A label: one line of text on the face colour, painted by the peer.
class LabelPeer
{
  public:
    virtual ~LabelPeer() = default;
    // Repaints only the cells that differ from the caption shown
    // (changedColumns() of textcells.h), and nothing while the user cannot
    // see the label: hidden, outside its window or in ink of its paper.
    virtual void setText(const Text &text) = 0;
    virtual void setGeometry(const PixelRect &rect) = 0;
    // Returns the size in points that the toolkit realised.
    virtual double setFont(const FontSpec &font) = 0;
    // One line of `text` in the current font.
    virtual TextExtent measure(const Text &text) const = 0;
    // A colour word; a system colour (high bit set) is resolved by the peer.
    virtual void setForeColor(ColourWord colour) = 0;
    virtual void setAlignment(Alignment alignment) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setPointer(Pointer pointer) = 0;

    // A left-button press and release inside the label.
    std::function<void()> onClick;
    // x, y in pixels from the label's top-left corner.
    std::function<void(const MouseState &state, double x, double y)> onMouseMove;
};

// An editable drop-down combo box.
class ComboBoxPeer
{
  public:
    virtual ~ComboBoxPeer() = default;
    virtual Text text() const = 0;
    virtual void setText(const Text &text) = 0;
    // Appends an entry; the edit field's text stays as it was.
    virtual void addItem(const Text &item) = 0;
    virtual void setGeometry(const PixelRect &rect) = 0;
    virtual void setFocus() = 0;

    // Once for each entry the user picks from the list.
    std::function<void()> onClick;
    // Every character key while the box has the focus, before the edit field
    // sees it; a code set to 0 swallows the key.
    std::function<void(std::int16_t &keyAscii)> onKeyPress;
};

// How the top-level window stands: not on the screen (before show(), once
// closed or hidden), minimised, or shown.
enum class WindowState { Hidden, Minimised, Shown };

// The top-level window with a normal frame, the face colour as background.
class WindowPeer
{
  public:
    virtual ~WindowPeer() = default;

    // Children; each one created lies above those created before it.
    virtual std::unique_ptr<LabelPeer> createLabel() = 0;
    virtual std::unique_ptr<ComboBoxPeer> createComboBox() = 0;

    virtual double twipsPerPixel() const = 0;
    // The face of the window's own font, which labels without a face use.
    virtual Text fontName() const = 0;
    virtual void setTitle(const Text &title) = 0;
    // The program's own icon from its resources.
    virtual void setProgramIcon() = 0;
    // Outer top-left corner on the screen, frame included.
    virtual void moveTo(int x, int y) = 0;
    virtual void setClientSize(int width, int height) = 0;
    // The outer size, frame included. A back end that learns the frame only
    // once the window is shown applies it again then.
    virtual void setOuterSize(int width, int height) = 0;
    virtual int outerWidth() const = 0;
    virtual int outerHeight() const = 0;
    virtual int clientWidth() const = 0;
    // Draws one line at (x, y) of the client area in the window's font and
    // `colour`; nothing keeps it. Returns the height of a line of that font.
    virtual double print(const Text &line, int x, int y, ColourWord colour) = 0;
    virtual void show() = 0;
    // Asks onCloseRequest and closes only if it agrees.
    virtual void close() = 0;
    virtual WindowState state() const = 0;
    // On: asks the system to keep the display on and the screen saver off
    // for this window; off, or the peer's end, gives that back. A system that
    // refuses or offers no way to ask is no error: nothing is said and the
    // window goes on. Locking the session or putting the PC to sleep stays
    // the user's to do.
    virtual void keepDisplayOn(bool on) = 0;

    // Every close, by the user, the window manager or the session ending;
    // return false to refuse it.
    std::function<bool()> onCloseRequest;
    // The PC woke from sleep, as the system tells (Windows' power broadcast,
    // logind's PrepareForSleep on Linux); where it tells nothing, a sleep
    // shows only as the monotonic clock having moved on.
    std::function<void()> onResume;
    // Every change of state(): show(), a close, the user or the window
    // manager minimising or restoring the window.
    std::function<void(WindowState state)> onStateChange;
};

// ---- Timers' wake-ups --------------------------------------------------------

// Wakes the user-interface thread once: after wakeAfter(ms) it calls onWake
// on that thread (unless cancelled or re-armed first). A later wakeAfter
// replaces the earlier one. The timers (timer.h) run on it.
class WakeSource
{
  public:
    virtual ~WakeSource() = default;
    virtual void wakeAfter(int milliseconds) = 0;
    virtual void cancel() = 0;

    std::function<void()> onWake;
};

// ---- Message box and screen -------------------------------------------------

// A modal message box with an OK button, and a Cancel button if asked for.
struct MessageBoxRequest {
    Text prompt;
    Text title;
    bool withCancel = false;
    bool question = false;        // the question-mark icon
    bool cancelIsDefault = false; // with Cancel only
};

// Escape or closing the box answers Cancel where there is one, else OK.
enum class MessageBoxAnswer { Ok, Cancel };

// The primary screen's size in pixels and its twips per pixel.
struct ScreenMetrics {
    int width = 0;
    int height = 0;
    double twipsPerPixel = 15;
};

namespace backend
{
// Program start, before any window: the toolkit itself, its fonts and locale
// services. `title` names the program. finish() undoes start().
void start(int &argc, char **argv, const Text &title);
void finish();
// Runs the event loop until the last window has closed or exit() is called;
// returns the exit status.
int exec();
void exit(int status);
// Dispatches the pending events from inside a handler, then returns.
void processEvents();

// The user's long date in the user's locale ("2026年12月7日星期一" in zh_CN);
// raises InvalidProcedureCall when the locale cannot write it.
Text formatLongDate(const CivilDate &date);

std::unique_ptr<WindowPeer> createWindow();
// Wakes the user-interface thread for the timers, in every event loop of the
// thread, a message box's included.
std::unique_ptr<WakeSource> createWakeSource();
// The toolkit's own dialog; timer ticks go on meanwhile.
MessageBoxAnswer showMessageBox(const MessageBoxRequest &request);
ScreenMetrics primaryScreen();

// The PC's clocks, in milliseconds. The wall clock counts from 1970-01-01
// 00:00 UTC and may be set by the user or a time service at any moment; the
// monotonic clock only runs forward and counts the time the PC sleeps
// (CLOCK_BOOTTIME, the performance counter), so that a server's clock
// estimated on it holds across a sleep; the wake sources and the HTTP
// exchanges wait on it. Either may be read from any thread.
std::int64_t wallClockMs();
std::int64_t monotonicMs();
// A wall-clock time as the civil time of the PC's time zone as the system
// has it at this call, milliseconds kept: a change of zone or of its
// daylight-saving rules shows at the next reading.
CivilDateTime localTime(std::int64_t msSinceEpoch);
} // namespace backend

// ---- HTTP ------------------------------------------------------------------

// One HTTP exchange as the request object hands it to the back end: the
// method and URL have passed the request's checks already.
struct HttpExchange {
    std::string method;                          // an HTTP token, "POST" for the time query
    std::string url;                             // an absolute http:// or https:// URL
    std::chrono::milliseconds connectTimeout{0}; // name lookup, TCP and TLS
    std::chrono::milliseconds totalTimeout{0};   // the whole exchange
    // The final response's header block may be this long; a longer one fails
    // the exchange (Other) as soon as it is seen to be longer.
    std::size_t maxHeaderBytes = 0;
    // Monotonic time (backend::monotonicMs) before which the request is
    // not sent; the back end waits for it as it waits for the exchange.
    std::int64_t sendAt = 0;
};

// What came back: the final response's status and raw header block, or why
// there is none.
// A back end maps each of its native errors to one of these kinds by one
// table; the user is told only of Unreachable.
struct HttpResponse {
    enum class Failure {
        None,
        // Never connected: the host or proxy did not resolve, the connection
        // was refused, or connecting (name lookup, TCP and TLS together)
        // outlasted the connect time-out.
        Unreachable,
        // Connected, but the exchange outlasted the whole-exchange time-out.
        Timeout,
        // Anything else: TLS rejected, the connection reset, a malformed or
        // oversized response, the program ending meanwhile...
        Other,
    };
    Failure failure = Failure::None;
    int status = 0;
    // As received, status line first, each line ending in CRLF, folded
    // continuation lines left as they are; the body is never read.
    std::string rawHeaders;
    // The back end's own code for a failure (a CURLcode, a Win32 or WinHTTP
    // error), 0 where it has none: for tests and debuggers, never for rules.
    long nativeError = 0;
    // Monotonic times: the exchange began once its send moment had come
    // (name lookup, connecting and TLS follow), the request itself began to
    // be sent, and the final response's headers were complete. The server
    // wrote its Date between the last two.
    std::int64_t startedAt = 0;
    std::int64_t sentAt = 0;
    std::int64_t headersAt = 0;
};

namespace backend
{
// Sends the request and returns once the final response's headers have
// arrived or the exchange has failed. Meanwhile the window keeps painting and
// its timers keep ticking, while the user's input waits until it returns.
// Nothing of it outlives the call: no thread, handle or connection.
HttpResponse exchange(const HttpExchange &request);

// The ASCII form (IDNA, "xn--" labels) of a host name typed in Unicode, UTF-8
// in; nothing when the name has none.
std::optional<std::string> asciiHostName(const std::string &utf8Name);
} // namespace backend

} // namespace platform
