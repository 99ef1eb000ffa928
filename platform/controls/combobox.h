// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform
{

class Window;

// A drop-down combo box with an editable text field, positioned in twips.
// Click is raised once for each entry picked from the list; KeyPress for every
// character key before the field sees it.
class ComboBox
{
  public:
    explicit ComboBox(Window &parent);
    ~ComboBox();
    ComboBox(const ComboBox &) = delete;
    ComboBox &operator=(const ComboBox &) = delete;

    platform::Text Text() const;
    void setText(const platform::Text &text);

    void AddItem(const platform::Text &item);
    int ListCount() const { return int(m_items.size()); }
    platform::Text List(int index) const;

    double Left() const { return m_left; }
    void setLeft(double twips);
    double Top() const { return m_top; }
    void setTop(double twips);
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    void setSize(double widthTwips, double heightTwips);

    int TabIndex() const { return m_tabIndex; }
    void setTabIndex(int index) { m_tabIndex = index; }

    void SetFocus();

    // Events; a run-time error a handler raises is reported, not passed on.
    std::function<void()> Click;
    // KeyAscii is the 16-bit character code; a handler that sets it to 0
    // swallows the key.
    std::function<void(std::int16_t &KeyAscii)> KeyPress;

    ComboBoxPeer &peer() { return *m_peer; }

  private:
    void place();

    Window &m_window;
    std::unique_ptr<ComboBoxPeer> m_peer;
    std::vector<platform::Text> m_items;
    double m_left = 0;
    double m_top = 0;
    double m_width = 0;
    double m_height = 0;
    int m_tabIndex = 0;
};

} // namespace platform
