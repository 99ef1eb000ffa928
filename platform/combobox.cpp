#include "combobox.h"

#include "twips.h"

#include <QKeyEvent>
#include <QLineEdit>

namespace platform
{

ComboBox::ComboBox(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, [this] {
        if (!m_stepping)
            emit Click();
    });
}

QString ComboBox::Text() const
{
    return currentText();
}

void ComboBox::setText(const QString &text)
{
    setEditText(text);
}

void ComboBox::AddItem(const QString &item)
{
    const QString text = Text();
    addItem(item);
    // Adding the first entry would otherwise replace the typed text.
    setEditText(text);
}

void ComboBox::setLeft(double twips)
{
    m_left = twips;
    placeWidget();
}

void ComboBox::setTop(double twips)
{
    m_top = twips;
    placeWidget();
}

void ComboBox::setSize(double widthTwips, double heightTwips)
{
    m_width = widthTwips;
    m_height = heightTwips;
    placeWidget();
}

void ComboBox::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (!text.isEmpty()) {
        qint16 keyAscii = qint16(text.at(0).unicode());
        emit KeyPress(keyAscii);
        if (keyAscii == 0) {
            event->accept();
            return;
        }
    }
    // Enter belongs to KeyPress alone; Qt would also report it as an
    // activation when the text matches an entry, running the query twice.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    m_stepping = true;
    QComboBox::keyPressEvent(event);
    m_stepping = false;
}

void ComboBox::wheelEvent(QWheelEvent *event)
{
    m_stepping = true;
    QComboBox::wheelEvent(event);
    m_stepping = false;
}

void ComboBox::placeWidget()
{
    setGeometry(pixelRect(m_left, m_top, m_width, m_height));
}

} // namespace platform
