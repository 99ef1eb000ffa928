// SPDX-License-Identifier: MIT
#include "qtcombobox.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleHints>

namespace platform::qt
{

QtComboBox::QtComboBox(QWidget *parent) : m_widget(new ComboWidget(*this, parent)) {}

QtComboBox::~QtComboBox()
{
    delete m_widget.data();
}

QComboBox *QtComboBox::widget() const
{
    return m_widget.data();
}

Text QtComboBox::text() const
{
    return m_widget ? m_widget->currentText().toStdU16String() : Text();
}

void QtComboBox::setText(const Text &text)
{
    if (m_widget)
        m_widget->setEditText(QString::fromStdU16String(text));
}

void QtComboBox::addItem(const Text &item)
{
    if (!m_widget)
        return;
    const QString text = m_widget->currentText();
    m_widget->addItem(QString::fromStdU16String(item));
    // Adding the first entry would otherwise replace the typed text.
    m_widget->setEditText(text);
}

void QtComboBox::setGeometry(const PixelRect &rect)
{
    if (m_widget)
        m_widget->setGeometry(rect.left, rect.top, rect.width, rect.height);
}

void QtComboBox::setFocus()
{
    if (m_widget)
        m_widget->setFocus();
}

ComboWidget::ComboWidget(QtComboBox &peer, QWidget *parent)
    : QComboBox(parent), m_peer(peer), m_blinkStop(new QTimer(this)),
      m_flashTime(QGuiApplication::styleHints()->cursorFlashTime())
{
    setEditable(true);
    lineEdit()->installEventFilter(this);
    m_blinkStop->setSingleShot(true);
    m_blinkStop->setInterval(BlinkForMs);
    // A flash time of 0 makes Qt's line edits show the cursor steadily.
    connect(m_blinkStop, &QTimer::timeout, this,
            [] { QGuiApplication::styleHints()->setCursorFlashTime(0); });
    m_blinkStop->start();
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QComboBox::activated, this, [this] {
        if (!m_stepping && m_peer.onClick)
            m_peer.onClick();
    });
    if (parent && parent->isVisible())
        show();
}

void ComboWidget::keyPressEvent(QKeyEvent *event)
{
    const QString text = event->text();
    if (!text.isEmpty() && m_peer.onKeyPress) {
        std::int16_t keyAscii = std::int16_t(text.at(0).unicode());
        m_peer.onKeyPress(keyAscii);
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

bool ComboWidget::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
    case QEvent::FocusIn:
        blinkAgain();
        break;
    default:
        break;
    }
    return QComboBox::eventFilter(watched, event);
}

void ComboWidget::blinkAgain()
{
    if (QGuiApplication::styleHints()->cursorFlashTime() != m_flashTime)
        QGuiApplication::styleHints()->setCursorFlashTime(m_flashTime);
    m_blinkStop->start();
}

void ComboWidget::wheelEvent(QWheelEvent *event)
{
    m_stepping = true;
    QComboBox::wheelEvent(event);
    m_stepping = false;
}

} // namespace platform::qt
