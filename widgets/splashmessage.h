#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

// A message on the splash page, under its indicator: a line or two that say what the program is
// doing and, where the user can do something about it, one touch-sized button. It is a child of
// the window, not of the splash page, because the turning indicator disables its page and with
// it every widget inside.
class SplashMessage : public QWidget
{
    Q_OBJECT

public:
    explicit SplashMessage(QWidget *window);

    // Shows the text over the window's pages, with the button under it unless buttonText is
    // empty.
    void showMessage(const QString &text, const QString &buttonText);
    QString text() const { return m_text; }
    QPushButton *button() const { return m_button; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void placeUnderIndicator();
    int textHeight(int panelWidth) const;

    QString m_text;
    QPushButton *m_button;
};
