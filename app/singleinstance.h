#pragma once

#include <QLocalServer>
#include <QObject>
#include <QPointer>

#include <memory>

class QLockFile;
class QWidget;

// Keeps to one shell per user and display. A second start (a double click on the menu entry, an
// autostart entry and a click) would remove the first's web engine folders while they are open
// and put a second window, on the same profile, ip.txt and printer queue, over the first: it asks
// the first to come forward instead and ends before it touches anything. A lock file in the
// user's runtime folder decides who is first, atomically and past a first that crashed; a local
// socket beside it carries the request to come forward.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    // The first may be unable to answer for a while (its GUI thread waits for a print dialog's
    // tool): the second does not wait longer than this for it.
    static constexpr int answerTimeoutMs = 5000;

    SingleInstance();
    ~SingleInstance() override;

    // True when this is the one shell of the user on this display, which from now on answers
    // later starts. False when another one runs: it was asked to come forward, and this one is
    // to end at once.
    bool claim();
    // What a later start brings to the front, once it is on the screen.
    void setWindow(QWidget *window);

    // The name of the lock and the socket of one display, the same for every spelling of it:
    // ":0" and ":0.0" name one X server.
    static QString instanceName(const QString &platform, const QString &display);

private:
    static QString currentDisplay();
    bool askToComeForward(const QString &socketPath);
    void listen(const QString &socketPath);
    void answer();
    void bringToFront();

    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
    QPointer<QWidget> m_window;
};
