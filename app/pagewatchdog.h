#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWebEnginePage;
class QWidget;

// Brings back a page whose script no longer answers (an endless loop). Its render process lives
// on, so the renderer recovery never hears of it, and the window looks alive while it takes no
// touch; nobody may be at the PC to end it by hand. Every checkIntervalMs the page is asked for a
// trivial result; when one has not come for hangTimeoutMs, Chromium's own figure for a hung page,
// the render process is ended, and the renderer recovery loads the start page and counts it.
// Whatever holds the page or the program by design is not held against the page: no check is
// made while a dialog is open (a JavaScript alert holds the page), while the window is disabled
// for a download, or before the first page has shown, and a check under way is dropped then, when
// the GUI thread was held (a tool of a download) or when a navigation commits.
class PageWatchdog : public QObject
{
    Q_OBJECT

public:
    static constexpr int checkIntervalMs = 1000;
    static constexpr int hangTimeoutMs = 15000;
    // A tick this late means that the GUI thread was held, and the page was not at fault.
    static constexpr int heldAfterMs = checkIntervalMs + 2000;

    enum class State : quint8 {
        // No page has shown yet.
        BeforeFirstPage,
        // The page answered, or nothing was asked: the next tick asks.
        Answered,
        // A check is under way.
        Asking,
    };
    Q_ENUM(State)

    enum class Step : quint8 { Drop, Ask, Wait, EndPage };
    Q_ENUM(Step)

    PageWatchdog(QWebEnginePage &page, QWidget &mainWindow);

    State state() const { return m_state; }

    // What a tick does, from what it finds: whether the GUI thread was held or something holds
    // the page by design, whether a check is under way and since when.
    static Step nextStep(bool held, bool pageHeld, bool asking, qint64 askedForMs);

private:
    void firstLoadFinished(bool ok);
    void tick();
    void ask();
    void answered(int check);
    void dropCheck();
    void endHungPage(qint64 askedForMs);

    QWebEnginePage &m_page;
    QWidget &m_mainWindow;
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    QElapsedTimer m_sinceAsked;
    State m_state = State::BeforeFirstPage;
    // Numbers the checks, so that the answer to a dropped one is not taken for the current one.
    int m_check = 0;
};
