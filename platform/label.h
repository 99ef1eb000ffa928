#pragma once

#include "colour.h"

#include <QLabel>

namespace platform
{

// A label positioned in twips. Positions and sizes are kept unrounded; the
// widget itself sits on the nearest pixels.
class Label : public QLabel
{
    Q_OBJECT

  public:
    explicit Label(QWidget *parent);

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);

    ColourWord ForeColor() const { return m_foreColor; }
    void setForeColor(ColourWord colour);
    void setBackColor(ColourWord colour);

    double Left() const { return m_left; }
    void setLeft(double twips);
    double Top() const { return m_top; }
    void setTop(double twips);
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    // Ignored while AutoSize is on, as the caption then decides the size.
    void setSize(double widthTwips, double heightTwips);

    bool Visible() const { return !isHidden(); }

    QString FontName() const { return m_fontName; }
    void setFontName(const QString &name);
    double FontSize() const;
    void setFontSize(double points);
    bool FontBold() const { return font().bold(); }
    void setFontBold(bool bold);
    // Kept for the Windows font mapper; fontconfig picks by family alone.
    int FontCharset() const { return m_charset; }
    void setFontCharset(int charset) { m_charset = charset; }

    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    int MousePointer() const { return m_mousePointer; }
    void setMousePointer(int pointer);

    int TabIndex() const { return m_tabIndex; }
    void setTabIndex(int index) { m_tabIndex = index; }

  signals:
    void Click();
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, double x, double y);

  protected:
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

  private:
    void setRoleColour(QPalette::ColorRole role, ColourWord colour);
    void fitToCaption();
    void placeWidget();

    QString m_caption;
    QString m_fontName;
    // Labels start in the scheme's text colour.
    ColourWord m_foreColor = SystemButtonText;
    double m_left = 0;
    double m_top = 0;
    double m_width = 0;
    double m_height = 0;
    int m_charset = 0;
    int m_mousePointer = 0;
    int m_tabIndex = 0;
    bool m_autoSize = false;
};

} // namespace platform
