// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "glyphcache.h"

#include <QLabel>
#include <QPointer>

namespace platform::qt
{

class LabelWidget;

// A label's peer: a plain-text QLabel, a child of the window's widget. The
// window owns the widget as Qt does; the peer deletes it when it goes first.
class QtLabel final : public LabelPeer
{
  public:
    explicit QtLabel(QWidget *parent);
    ~QtLabel() override;
    QtLabel(const QtLabel &) = delete;
    QtLabel &operator=(const QtLabel &) = delete;

    void setText(const Text &text) override;
    void setGeometry(const PixelRect &rect) override;
    double setFont(const FontSpec &font) override;
    TextExtent measure(const Text &text) const override;
    void setForeColor(ColourWord colour) override;
    void setAlignment(Alignment alignment) override;
    void setVisible(bool visible) override;
    void setPointer(Pointer pointer) override;

    QLabel *widget() const;

  private:
    void setRoleColour(QPalette::ColorRole role, ColourWord colour);

    QPointer<LabelWidget> m_widget;
};

class LabelWidget : public QLabel
{
    Q_OBJECT

  public:
    LabelWidget(QtLabel &peer, QWidget *parent);

  protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

  private:
    QtLabel &m_peer;
    // The big digits, copied rather than filled as paths on every tick.
    GlyphCache m_glyphs;
};

} // namespace platform::qt
