// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "colour.h"

#include <functional>
#include <memory>
#include <optional>

namespace platform
{

class Window;

// A label positioned in twips. Positions and sizes are kept unrounded; the
// toolkit's control sits on the nearest pixels. A self-sizing label takes the
// size of its caption on one line whenever its caption or font changes; with
// an empty caption it is one space wide and one line high.
class Label
{
  public:
    explicit Label(Window &parent);
    ~Label();
    Label(const Label &) = delete;
    Label &operator=(const Label &) = delete;

    Text Caption() const { return m_caption; }
    void setCaption(const Text &caption);

    ColourWord ForeColor() const { return m_foreColor; }
    void setForeColor(ColourWord colour);

    double Left() const { return m_left; }
    void setLeft(double twips);
    double Top() const { return m_top; }
    void setTop(double twips);
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    // Ignored while AutoSize is on, as the caption then decides the size.
    void setSize(double widthTwips, double heightTwips);

    bool Visible() const { return m_visible; }
    void setVisible(bool visible);

    Alignment alignment() const { return m_alignment; }
    void setAlignment(Alignment alignment);

    Text FontName() const;
    void setFontName(const Text &name);
    // What the toolkit realised of the size asked for.
    double FontSize() const { return m_realisedPoints; }
    // Raises InvalidPropertyValue for a size that is not finite and positive.
    void setFontSize(double points);
    bool FontBold() const { return m_font.bold; }
    void setFontBold(bool bold);
    int FontCharset() const { return m_font.charset; }
    void setFontCharset(int charset);

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    // 0 the default pointer, 14 the arrow with a question mark; any other
    // number shows the default pointer.
    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int pointer);

    int TabIndex() const { return m_tabIndex; }
    void setTabIndex(int index) { m_tabIndex = index; }

    // Events; a run-time error a handler raises is reported, not passed on.
    std::function<void()> Click;
    // Button mask (1 left, 2 right, 4 middle), shift mask (1 Shift, 2 Ctrl,
    // 4 Alt), position in twips.
    std::function<void(int button, int shift, double x, double y)> MouseMove;

    LabelPeer &peer() { return *m_peer; }

  private:
    void applyFont();
    void fitToCaption();
    void place();

    Window &m_window;
    std::unique_ptr<LabelPeer> m_peer;
    Text m_caption;
    FontSpec m_font;
    double m_realisedPoints = 9;
    // Labels start in the scheme's text colour; the peer paints the face colour.
    ColourWord m_foreColor = SystemButtonText;
    double m_left = 0;
    double m_top = 0;
    double m_width = 0;
    double m_height = 0;
    std::optional<PixelRect> m_placed; // what the peer was last given
    Alignment m_alignment = Alignment::Left;
    int m_mousePointer = 0;
    int m_tabIndex = 0;
    bool m_autoSize = false;
    bool m_visible = true;
};

} // namespace platform
