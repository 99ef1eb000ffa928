// SPDX-License-Identifier: MIT
#include "fakebackend.h"

#include "datetime.h"
#include "runtimeerror.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace platform
{

namespace fake
{

namespace
{

struct State {
    ScreenMetrics screen{1024, 768, 15};
    std::vector<FakeWindow *> windows;
    MessageBoxes *boxes = nullptr;
    Exchanges *exchanges = nullptr;
    bool windowsRefused = false;
    std::int64_t execLimit = 60000;
    int execDepth = 0;
    int exitStatus = -1;
    int execStatus = 0;
    int boxesOpen = 0;
    int exchanging = 0;
    std::vector<std::function<void()>> heldInput;
};

State &state()
{
    static State instance;
    return instance;
}

[[noreturn]] void unexpected(const std::string &what)
{
    std::fprintf(stderr, "fake back end: %s\n", what.c_str());
    std::abort();
}

// The user's input: lost while a modal box is open, held during an exchange.
// Returns whether it was raised now.
bool raise(const std::function<void()> &input)
{
    State &s = state();
    if (s.boxesOpen > 0)
        return false;
    if (s.exchanging > 0) {
        s.heldInput.push_back(input);
        return false;
    }
    input();
    return true;
}

// Between events: the input held by an exchange that has returned, then
// painting.
void betweenEvents()
{
    State &s = state();
    if (s.exchanging == 0 && s.boxesOpen == 0) {
        const std::vector<std::function<void()>> held = std::move(s.heldInput);
        s.heldInput.clear();
        for (const auto &input : held)
            input();
    }
    for (FakeWindow *window : s.windows)
        window->paint();
}

const bool hooked = (EventLoop::betweenEvents = &betweenEvents, true);

} // namespace

TextExtent measureText(const Text &text, const FontSpec &font)
{
    const double em = font.points * 4.0 / 3.0;
    double width = 0;
    for (const char16_t c : text)
        width += c < 128 ? em / 2 : em;
    if (font.bold)
        width *= 1.1;
    return {width, em * 1.25};
}

Text longDate(const CivilDate &date)
{
    static const char16_t *const weekdays[] = {u"日", u"一", u"二", u"三", u"四", u"五", u"六"};
    return fromUtf8(std::to_string(date.year)) + u"年" + fromUtf8(std::to_string(date.month)) +
           u"月" + fromUtf8(std::to_string(date.day)) + u"日星期" + weekdays[date.weekday];
}

// ---- Peers -----------------------------------------------------------------

namespace
{
// The rectangle holding both; one of width 0 is none.
PixelRect united(const PixelRect &a, const PixelRect &b)
{
    if (a.width <= 0)
        return b;
    if (b.width <= 0)
        return a;
    const int left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    return {left, top, std::max(a.left + a.width, b.left + b.width) - left,
            std::max(a.top + a.height, b.top + b.height) - top};
}
} // namespace

FakeLabel::FakeLabel(FakeWindow &window) : m_window(&window)
{
    window.stacking.push_back(this);
    window.m_labels.push_back(this);
}

FakeLabel::~FakeLabel()
{
    if (m_window)
        m_window->forget(this);
}

double FakeLabel::setFont(const FontSpec &value)
{
    font = value;
    markAll();
    return font.points;
}

void FakeLabel::setText(const Text &value)
{
    const ColumnSpan span = changedColumns(cells(text), cells(value));
    text = value;
    if (seen() && !span.empty())
        mark({span.left, 0, span.right - span.left, geometry.height});
}

std::vector<TextCell> FakeLabel::cells(const Text &line) const
{
    double pen = alignment == Alignment::Center ? (geometry.width - measure(line).width) / 2 : 0;
    std::vector<TextCell> out;
    for (const char16_t c : line) {
        const double width = measure(Text(1, c)).width;
        out.push_back(
            {c, int(std::lround(pen * 64)), int(std::floor(pen)), int(std::ceil(pen + width))});
        pen += width;
    }
    return out;
}

bool FakeLabel::seen() const
{
    if (!visible || foreColor == SystemButtonFace || !m_window)
        return false;
    const PixelRect &g = geometry;
    return g.left < m_window->clientWidthPx && g.top < m_window->clientHeightPx &&
           g.left + g.width > 0 && g.top + g.height > 0;
}

void FakeLabel::mark(const PixelRect &area)
{
    const int left = std::max(0, area.left);
    const int top = std::max(0, area.top);
    const int right = std::min(geometry.width, area.left + area.width);
    const int bottom = std::min(geometry.height, area.top + area.height);
    if (right <= left || bottom <= top)
        return;
    dirty = united(dirty, {left, top, right - left, bottom - top});
}

TextExtent FakeLabel::measure(const Text &value) const
{
    FontSpec realised = font;
    if (realised.name.empty())
        realised.name = WindowFontName;
    return measureText(value, realised);
}

void FakeLabel::click()
{
    raise([this] {
        if (onClick)
            onClick();
    });
}

void FakeLabel::mouseMove(const MouseState &mouse, double x, double y)
{
    raise([this, mouse, x, y] {
        if (onMouseMove)
            onMouseMove(mouse, x, y);
    });
}

FakeComboBox::FakeComboBox(FakeWindow &window) : m_window(&window)
{
    window.stacking.push_back(this);
    window.m_combos.push_back(this);
}

FakeComboBox::~FakeComboBox()
{
    if (m_window)
        m_window->forget(this);
}

void FakeComboBox::setFocus()
{
    if (m_window)
        m_window->focus = this;
}

void FakeComboBox::pick(int index)
{
    raise([this, index] {
        editText = items.at(std::size_t(index));
        if (onClick)
            onClick();
    });
}

std::int16_t FakeComboBox::type(std::int16_t keyAscii)
{
    const auto seen = std::make_shared<std::int16_t>(0);
    raise([this, keyAscii, seen] {
        std::int16_t code = keyAscii;
        if (onKeyPress)
            onKeyPress(code);
        if (code >= 32)
            editText += char16_t(code);
        *seen = code;
    });
    return *seen;
}

FakeWindow::FakeWindow() : m_twipsPerPixel(fake::state().screen.twipsPerPixel)
{
    fake::state().windows.push_back(this);
}

FakeWindow::~FakeWindow()
{
    auto &windows = fake::state().windows;
    windows.erase(std::find(windows.begin(), windows.end(), this));
    // Children that outlive their window forget it.
    for (FakeLabel *label : m_labels)
        label->m_window = nullptr;
    for (FakeComboBox *combo : m_combos)
        combo->m_window = nullptr;
}

const std::vector<FakeWindow *> &FakeWindow::all()
{
    return fake::state().windows;
}

std::unique_ptr<LabelPeer> FakeWindow::createLabel()
{
    return std::make_unique<FakeLabel>(*this);
}

std::unique_ptr<ComboBoxPeer> FakeWindow::createComboBox()
{
    return std::make_unique<FakeComboBox>(*this);
}

void FakeWindow::forget(const void *child)
{
    stacking.erase(std::remove(stacking.begin(), stacking.end(), child), stacking.end());
    m_labels.erase(std::remove(m_labels.begin(), m_labels.end(), child), m_labels.end());
    m_combos.erase(std::remove(m_combos.begin(), m_combos.end(), child), m_combos.end());
    if (focus == child)
        focus = nullptr;
}

void FakeWindow::moveTo(int x, int y)
{
    left = x;
    top = y;
}

void FakeWindow::setClientSize(int width, int height)
{
    clientWidthPx = width;
    clientHeightPx = height;
}

void FakeWindow::setOuterSize(int width, int height)
{
    clientWidthPx = std::max(0, width - 2 * frame);
    clientHeightPx = std::max(0, height - 2 * frame - caption);
}

double FakeWindow::print(const Text &line, int x, int y, ColourWord colour)
{
    printed.push_back({line, x, y, colour});
    return measureText(line, windowFont()).height;
}

void FakeWindow::show()
{
    closed = false;
    for (FakeLabel *label : m_labels)
        label->markAll();
    setState(true, false);
}

WindowState FakeWindow::state() const
{
    if (!shown)
        return WindowState::Hidden;
    return minimised ? WindowState::Minimised : WindowState::Shown;
}

void FakeWindow::minimise()
{
    if (shown)
        setState(true, true);
}

void FakeWindow::restore()
{
    if (shown)
        setState(true, false);
}

// Reports a change only, as a window system does.
void FakeWindow::setState(bool isShown, bool isMinimised)
{
    const WindowState before = state();
    shown = isShown;
    minimised = isMinimised;
    if (state() != before && onStateChange)
        onStateChange(state());
}

void FakeWindow::close()
{
    // A close asked for while the question is open joins the one under way.
    if (closed || m_closing)
        return;
    m_closing = true;
    const bool agreed = !onCloseRequest || onCloseRequest();
    m_closing = false;
    if (agreed) {
        closed = true;
        setState(false, false);
    }
}

bool FakeWindow::requestClose()
{
    raise([this] { close(); });
    return closed;
}

void FakeWindow::paint()
{
    if (!shown)
        return;
    for (FakeLabel *label : m_labels) {
        if (label->dirty.width > 0 && label->visible) {
            ++label->paints;
            label->painted = united(label->painted, label->dirty);
        }
        label->dirty = {};
    }
}

bool displayKeptOn()
{
    const auto &windows = fake::state().windows;
    return std::any_of(windows.begin(), windows.end(),
                       [](const FakeWindow *w) { return w->displayKeptOn; });
}

void setScreen(const ScreenMetrics &metrics)
{
    state().screen = metrics;
}

void setWindowsRefused(bool refused)
{
    state().windowsRefused = refused;
}

void setExecLimit(std::int64_t ms)
{
    state().execLimit = ms;
}

int lastExitStatus()
{
    return state().exitStatus;
}

// ---- Scripts ---------------------------------------------------------------

MessageBoxes::MessageBoxes(MessageBoxAnswer answer) : answer(answer)
{
    if (state().boxes)
        unexpected("two message-box scripts at once");
    state().boxes = this;
}

MessageBoxes::~MessageBoxes()
{
    state().boxes = nullptr;
}

Exchanges::Exchanges(HttpResponse response) : response(std::move(response))
{
    if (state().exchanges)
        unexpected("two exchange scripts at once");
    state().exchanges = this;
}

Exchanges::~Exchanges()
{
    state().exchanges = nullptr;
}

HttpResponse Exchanges::reply(int status, const std::string &headerLines)
{
    return {HttpResponse::Failure::None, status,
            "HTTP/1.1 " + std::to_string(status) + " Reply\r\n" + headerLines + "\r\n"};
}

HttpResponse Exchanges::failure(HttpResponse::Failure kind)
{
    HttpResponse response{kind, 0, {}};
    response.nativeError = -1; // the script's failure, as a back end's own code would say
    return response;
}

std::string Exchanges::httpDate(std::int64_t ms)
{
    constexpr std::int64_t Epoch1970 = 25569; // days from the date type's day 0
    const Date date = fromMilliseconds(Epoch1970 * 86400000 + floorDiv(ms, 1000) * 1000);
    const CivilDateTime t = toCivil(date);
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[40];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                  days[civilDateOf(date).weekday], t.day, months[t.month - 1], t.year, t.hour,
                  t.minute, t.second);
    return text;
}

} // namespace fake

// ---- The contract ----------------------------------------------------------

namespace backend
{

void start(int &, char **, const Text &)
{
    fake::state().exitStatus = -1;
}

void finish() {}

int exec()
{
    fake::State &s = fake::state();
    fake::EventLoop &loop = fake::EventLoop::current();
    const auto shown = [&] {
        return std::any_of(s.windows.begin(), s.windows.end(),
                           [](const fake::FakeWindow *w) { return w->shown; });
    };
    s.execStatus = 0;
    ++s.execDepth;
    const std::int64_t end = loop.mono() + s.execLimit;
    // In steps of a millisecond, so that the loop ends when the last window
    // closes, not at the limit.
    while (!loop.quitRequested() && shown() && loop.mono() < end)
        loop.run(1);
    --s.execDepth;
    loop.clearQuit();
    return s.execStatus;
}

void exit(int status)
{
    fake::State &s = fake::state();
    s.exitStatus = status;
    if (s.execDepth > 0) {
        s.execStatus = status;
        fake::EventLoop::current().quit();
    }
}

void processEvents()
{
    fake::EventLoop::current().processEvents();
}

Text formatLongDate(const CivilDate &date)
{
    return fake::longDate(date);
}

std::unique_ptr<WindowPeer> createWindow()
{
    if (fake::state().windowsRefused)
        throw RuntimeError(InvalidProcedureCall);
    return std::make_unique<fake::FakeWindow>();
}

std::unique_ptr<WakeSource> createWakeSource()
{
    return fake::EventLoop::current().createWakeSource();
}

MessageBoxAnswer showMessageBox(const MessageBoxRequest &request)
{
    fake::MessageBoxes *boxes = fake::state().boxes;
    if (!boxes)
        fake::unexpected("a message box no test expected: " + toUtf8(request.prompt));
    boxes->calls.push_back(request);
    ++fake::state().boxesOpen;
    if (boxes->onShow)
        boxes->onShow();
    --fake::state().boxesOpen;
    return boxes->answer;
}

ScreenMetrics primaryScreen()
{
    return fake::state().screen;
}

// The simulated clocks of the loop under way.
std::int64_t wallClockMs()
{
    return fake::EventLoop::current().wall();
}

std::int64_t monotonicMs()
{
    return fake::EventLoop::current().mono();
}

} // namespace backend

namespace fake
{

int openMessageBoxes()
{
    return state().boxesOpen;
}

int openExchanges()
{
    return state().exchanging;
}

} // namespace fake

namespace backend
{

// The loop's simulated zone, else the C run-time's, which a test sets with TZ.
CivilDateTime localTime(std::int64_t msSinceEpoch)
{
    const fake::EventLoop *loop = fake::EventLoop::existing();
    if (!loop || !loop->zoneOffset)
        return localTimeOf(msSinceEpoch);
    // Date serials count from 1899-12-30.
    constexpr std::int64_t FromUnixEpochMs = 25569 * std::int64_t(86400000);
    return toCivil(
        fromMilliseconds(msSinceEpoch + loop->zoneOffset(msSinceEpoch) + FromUnixEpochMs));
}

std::optional<std::string> asciiHostName(const std::string &utf8Name)
{
    // Not IDNA, but as telling: each label beyond ASCII becomes "xn--" and the
    // hexadecimal of its bytes; a name with U+FFFD in it has no ASCII form.
    if (utf8Name.find("\xEF\xBF\xBD") != std::string::npos)
        return std::nullopt;
    static constexpr char Hex[] = "0123456789abcdef";
    std::string ascii;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = std::min(utf8Name.find('.', start), utf8Name.size());
        const std::string label = utf8Name.substr(start, dot - start);
        if (std::any_of(label.begin(), label.end(), [](char c) { return c & 0x80; })) {
            ascii += "xn--";
            for (const char c : label) {
                ascii += Hex[static_cast<unsigned char>(c) >> 4];
                ascii += Hex[c & 15];
            }
        } else {
            ascii += label;
        }
        if (dot == utf8Name.size())
            return ascii;
        ascii += '.';
        start = dot + 1;
    }
}

HttpResponse exchange(const HttpExchange &request)
{
    fake::Exchanges *exchanges = fake::state().exchanges;
    if (!exchanges)
        fake::unexpected("an HTTP exchange no test expected: " + request.method + " " +
                         request.url);
    exchanges->calls.push_back(request);
    // Time passes on the test's loop, input held meanwhile; a test without a
    // loop waits for nothing.
    ++fake::state().exchanging;
    const auto wait = [](std::int64_t ms) {
        if (ms > 0)
            fake::EventLoop::current().run(ms);
    };
    wait(request.sendAt - backend::monotonicMs());
    const std::int64_t startedAt = backend::monotonicMs();
    wait(exchanges->setup);
    const std::int64_t sentAt = backend::monotonicMs();
    HttpResponse response = exchanges->response;
    if (exchanges->serverClock) {
        wait(exchanges->out);
        const std::int64_t stamp = exchanges->serverClock(backend::monotonicMs());
        response =
            fake::Exchanges::reply(200, "Date: " + fake::Exchanges::httpDate(stamp) + "\r\n");
        wait(exchanges->back);
    }
    if (exchanges->during)
        exchanges->during();
    --fake::state().exchanging;
    response.startedAt = startedAt;
    response.sentAt = sentAt;
    response.headersAt = backend::monotonicMs();
    return response;
}

} // namespace backend

} // namespace platform
