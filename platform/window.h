#pragma once

#include "colour.h"

#include <QWidget>

class QSessionManager;

namespace platform
{

// The top-level window. Outer sizes, the inner width and the drawing position
// are in twips.
class Window : public QWidget
{
    Q_OBJECT

  public:
    explicit Window(QWidget *parent = nullptr);

    QString Caption() const { return windowTitle(); }
    void setCaption(const QString &caption) { setWindowTitle(caption); }

    void setForeColor(ColourWord colour) { m_foreColor = colour; }
    ColourWord ForeColor() const { return m_foreColor; }

    // Outer size, frame included.
    double Width() const;
    void setWidth(double twips);
    double Height() const;
    void setHeight(double twips);
    // Inner (client) size.
    double ScaleWidth() const;
    double ScaleHeight() const;
    void setClientSize(double widthTwips, double heightTwips);

    double CurrentX() const { return m_currentX; }
    void setCurrentX(double twips) { m_currentX = twips; }
    double CurrentY() const { return m_currentY; }
    void setCurrentY(double twips) { m_currentY = twips; }
    // Draws one line at the drawing position and moves it to the next line.
    // Nothing keeps the drawing: the next repaint of that area erases it.
    void Print(const QString &line);

    // Closes the window, asking Form_Unload first. Called from inside
    // Form_Unload it joins the close under way.
    void Unload();

  protected:
    // Set Cancel to -1 to call the close off.
    virtual void Form_Unload(qint16 &Cancel) { Q_UNUSED(Cancel) }

    void closeEvent(QCloseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

  private:
    void commitData(QSessionManager &manager);
    void applyOuterSize();

    ColourWord m_foreColor = 0x00FFFFFF;
    double m_currentX = 0;
    double m_currentY = 0;
    double m_outerWidth = -1;
    double m_outerHeight = -1;
    QString m_pendingLine;
    QPointF m_pendingAt;
    bool m_unloading = false;
};

} // namespace platform
