// SPDX-License-Identifier: MIT
#pragma once

// The one small interface between the program's controls and a toolkit. The
// controls (label.h, combobox.h, window.h) keep every property in twips and
// points and decide what the program sees; a back end (platform/qt or
// platform/win32) realises them on screen in whole pixels through these
// peers, and reports the user's input back through the callbacks. Everything
// is called on the user-interface thread.

#include "colour.h"
#include "text.h"
#include "timer.h"
#include "twips.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace platform
{

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

class LabelPeer
{
  public:
    virtual ~LabelPeer() = default;
    virtual void setText(const Text &text) = 0;
    virtual void setGeometry(const PixelRect &rect) = 0;
    // Returns the size in points that the toolkit realised.
    virtual double setFont(const FontSpec &font) = 0;
    // One line of `text` in the current font.
    virtual TextExtent measure(const Text &text) const = 0;
    // Colour words; system colours (high bit set) are resolved by the peer.
    virtual void setForeColor(ColourWord colour) = 0;
    virtual void setBackColor(ColourWord colour) = 0;
    virtual void setAlignment(Alignment alignment) = 0;
    virtual void setVisible(bool visible) = 0;
    // 0 default, 14 the arrow with a question mark (help pointer).
    virtual void setMousePointer(int pointer) = 0;

    // A left-button press and release inside the label.
    std::function<void()> onClick;
    // Button and shift masks as the toolkit reports them; x, y in pixels.
    std::function<void(int button, int shift, double x, double y)> onMouseMove;
};

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

class WindowPeer
{
  public:
    virtual ~WindowPeer() = default;

    // Children; each one created lies above those created before it.
    virtual std::unique_ptr<LabelPeer> createLabel() = 0;
    virtual std::unique_ptr<ComboBoxPeer> createComboBox() = 0;
    virtual std::unique_ptr<WakeSource> createWakeSource() = 0;

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
    virtual int clientHeight() const = 0;
    // Draws one line at (x, y) of the client area in the window's font and
    // `colour`; nothing keeps it. Returns the height of a line of that font.
    virtual double print(const Text &line, int x, int y, ColourWord colour) = 0;
    virtual void show() = 0;
    // Asks to close: the peer calls onCloseRequest and closes only if it
    // agrees. Called again from within onCloseRequest, it does nothing.
    virtual void close() = 0;

    // Every close, by the user, the window manager or the session ending;
    // return false to refuse it.
    std::function<bool()> onCloseRequest;
};

namespace backend
{
// Implemented by the back end that is built.
std::unique_ptr<WindowPeer> createWindow();
} // namespace backend

} // namespace platform
