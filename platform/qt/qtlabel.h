// SPDX-License-Identifier: MIT
#pragma once

#include "backend.h"
#include "glyphcache.h"
#include "textcells.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <vector>

namespace platform::qt
{

class LabelWidget;

// A label's peer: a widget of its own, a child of the window's widget. The
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

    LabelWidget *widget() const;

  private:
    void setRoleColour(QPalette::ColorRole role, ColourWord colour);

    QPointer<LabelWidget> m_widget;
};

// One plain line on an opaque background, drawn as QLabel draws a frameless
// one, the big digits from a glyph cache. A new caption repaints only the
// cells that changed, and nothing while the label cannot be seen.
class LabelWidget : public QWidget
{
    Q_OBJECT

  public:
    LabelWidget(QtLabel &peer, QWidget *parent);

    QString text() const { return m_text; }
    void setText(const QString &text);
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    // The width and height of one line of `text` in the label's font.
    QSizeF measure(const QString &text) const;
    const GlyphCache &glyphs() const { return m_glyphs; }

  protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

  private:
    bool seen() const;
    void forgetLayout();

    QtLabel &m_peer;
    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignTop;
    // The big digits, copied rather than filled as paths on every tick.
    GlyphCache m_glyphs;
    // The cells of the caption on screen, while they are known.
    std::vector<TextCell> m_cells;
    bool m_cellsKnown = false;
    // Lines measured in the current font: a self-sizing label measures every
    // caption it is given.
    mutable QHash<QString, QSizeF> m_extents;
};

} // namespace platform::qt
