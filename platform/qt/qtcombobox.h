// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"

#include <QComboBox>
#include <QPointer>
#include <QTimer>

namespace platform::qt
{

class ComboWidget;

// A combo box's peer: an editable QComboBox, a child of the window's widget.
class QtComboBox final : public ComboBoxPeer
{
  public:
    explicit QtComboBox(QWidget *parent);
    ~QtComboBox() override;
    QtComboBox(const QtComboBox &) = delete;
    QtComboBox &operator=(const QtComboBox &) = delete;

    Text text() const override;
    void setText(const Text &text) override;
    void addItem(const Text &item) override;
    void setGeometry(const PixelRect &rect) override;
    void setFocus() override;

    QComboBox *widget() const;

  private:
    QPointer<ComboWidget> m_widget;
};

class ComboWidget : public QComboBox
{
    Q_OBJECT

  public:
    ComboWidget(QtComboBox &peer, QWidget *parent);

    // Like desktop toolkits, the text cursor blinks for this long after the
    // last input in the box and then shows steadily, so that an idle clock
    // does not wake twice a second to blink it.
    static constexpr int BlinkForMs = 10000;

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    void blinkAgain();

    QtComboBox &m_peer;
    QTimer *m_blinkStop;
    int m_flashTime;
    // Set while the closed box handles a key or wheel step, which Qt reports
    // as an activation but is not a pick from the list.
    bool m_stepping = false;
};

} // namespace platform::qt
