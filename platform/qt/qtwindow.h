// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"

#include <QMargins>
#include <QPoint>
#include <QSize>
#include <QWidget>

#include <memory>
#include <optional>

class QSessionManager;

namespace platform::qt
{

class WindowWidget;

// The window's peer: a top-level QWidget, parent of the controls' widgets.
class DisplayKeeper;

class QtWindow final : public WindowPeer
{
  public:
    QtWindow();
    ~QtWindow() override;
    QtWindow(const QtWindow &) = delete;
    QtWindow &operator=(const QtWindow &) = delete;

    std::unique_ptr<LabelPeer> createLabel() override;
    std::unique_ptr<ComboBoxPeer> createComboBox() override;

    double twipsPerPixel() const override;
    Text fontName() const override;
    void setTitle(const Text &title) override;
    void setProgramIcon() override;
    void moveTo(int x, int y) override;
    void setClientSize(int width, int height) override;
    void setOuterSize(int width, int height) override;
    int outerWidth() const override;
    int outerHeight() const override;
    int clientWidth() const override;
    double print(const Text &line, int x, int y, ColourWord colour) override;
    void show() override;
    void close() override;
    WindowState state() const override { return m_state; }
    void keepDisplayOn(bool on) override;

    QWidget *widget() const;
    // What the widget's events tell: reported once for each change.
    void setState(WindowState state);

  private:
    std::unique_ptr<WindowWidget> m_widget;
    std::unique_ptr<DisplayKeeper> m_displayKeeper;
    WindowState m_state = WindowState::Hidden;
};

class WindowWidget : public QWidget
{
    Q_OBJECT

  public:
    explicit WindowWidget(QtWindow &peer);

    void moveOuter(const QPoint &topLeft);
    void setClientSize(const QSize &size);
    void setOuterSize(const QSize &size);
    void printLine(const QString &line, const QPoint &at, const QColor &colour);

  protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private slots:
    void prepareForSleep(bool starting);

  private:
    void commitData(QSessionManager &manager);
    QMargins frame() const;
    void applyOuterSize();
    void reapplyOnceFramed();

    QtWindow &m_peer;
    // What the program asked for, frame included; applied again whenever the
    // window manager's frame turns out other than it was applied with.
    std::optional<QSize> m_outerSize;
    std::optional<QPoint> m_outerTopLeft;
    QMargins m_appliedFrame;
    QString m_pendingLine;
    QPoint m_pendingAt;
    QColor m_pendingColour;
};

} // namespace platform::qt
