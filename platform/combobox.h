#pragma once

#include <QComboBox>

namespace platform
{

// A drop-down combo box with an editable text field, positioned in twips.
// Click is raised once for each entry picked from the list; KeyPress is raised
// for every character key before the control sees it.
class ComboBox : public QComboBox
{
    Q_OBJECT

  public:
    explicit ComboBox(QWidget *parent);

    QString Text() const;
    void setText(const QString &text);

    void AddItem(const QString &item);
    int ListCount() const { return count(); }
    QString List(int index) const { return itemText(index); }

    double Left() const { return m_left; }
    void setLeft(double twips);
    double Top() const { return m_top; }
    void setTop(double twips);
    double Width() const { return m_width; }
    double Height() const { return m_height; }
    void setSize(double widthTwips, double heightTwips);

    int TabIndex() const { return m_tabIndex; }
    void setTabIndex(int index) { m_tabIndex = index; }

  signals:
    void Click();
    // KeyAscii is the 16-bit character code; a handler that sets it to 0
    // swallows the key.
    void KeyPress(qint16 &KeyAscii);

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

  private:
    void placeWidget();

    // Set while the closed box handles a key or wheel step, which Qt reports
    // as an activation but is not a pick from the list.
    bool m_stepping = false;

    double m_left = 0;
    double m_top = 0;
    double m_width = 0;
    double m_height = 0;
    int m_tabIndex = 0;
};

} // namespace platform
