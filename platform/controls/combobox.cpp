// SPDX-License-Identifier: MIT
#include "combobox.h"

#include "msgbox.h"
#include "runtimeerror.h"
#include "window.h"

namespace platform
{

ComboBox::ComboBox(Window &parent) : m_window(parent), m_peer(parent.peer().createComboBox())
{
    m_peer->onClick = [this] { dispatch(Click); };
    m_peer->onKeyPress = [this](std::int16_t &keyAscii) { dispatch(KeyPress, keyAscii); };
}

ComboBox::~ComboBox() = default;

Text ComboBox::Text() const
{
    return m_peer->text();
}

void ComboBox::setText(const platform::Text &text)
{
    m_peer->setText(text);
}

void ComboBox::AddItem(const platform::Text &item)
{
    m_items.push_back(item);
    m_peer->addItem(item);
}

Text ComboBox::List(int index) const
{
    if (index < 0 || index >= ListCount())
        throw RuntimeError(InvalidProcedureCall);
    return m_items[std::size_t(index)];
}

void ComboBox::setLeft(double twips)
{
    m_left = twips;
    place();
}

void ComboBox::setTop(double twips)
{
    m_top = twips;
    place();
}

void ComboBox::setSize(double widthTwips, double heightTwips)
{
    m_width = widthTwips;
    m_height = heightTwips;
    place();
}

void ComboBox::SetFocus()
{
    m_peer->setFocus();
}

void ComboBox::place()
{
    m_peer->setGeometry(pixelRect(m_left, m_top, m_width, m_height, m_window.twipsPerPixel()));
}

} // namespace platform
