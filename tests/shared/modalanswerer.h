#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Answers the next modal dialog from the event loop: a timer polls for
// QApplication::activeModalWidget() and hands it to the given action, which accepts, rejects or
// fills it. Arm it before the call that runs the dialog's nested event loop.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    using Action = std::function<void(QWidget *dialog)>;

    explicit ModalAnswerer(Action action, QObject *parent = nullptr);

    bool answered() const { return m_answered; }
    QString seenTitle() const { return m_seenTitle; }
    QString seenText() const { return m_seenText; }

    // Clicks the message box button with this standard button value.
    static Action clickButton(int standardButton);

private:
    void poll();

    Action m_action;
    bool m_answered = false;
    QString m_seenTitle;
    QString m_seenText;
};
