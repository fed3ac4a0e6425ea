#pragma once

#include "app/connectionprobe.h"
#include "web/mywebpage.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

class QWebEngineView;
class SplashPage;

// Brings the instrument's page back by itself when the instrument cannot be reached: at start,
// since a PC that starts by itself is often up before its instrument, and later, when the
// instrument reboots or its cable is plugged anew. The web engine says of a failed load only
// that it failed, so a probe of the failed address's host decides whether the instrument is
// away. While it is, the splash page says so, the probe knocks, and once the host answers the
// failed address is loaded again. Nothing is asked: there may be nobody at the PC. What the
// splash page shows is the splash page's business: this tells it which state was entered.
// No wait has no end: a load of the program's own that neither finishes nor fails in time (a
// web server that takes connections while it boots, and answers nothing) is stopped and counts
// as failed, and a failure while the host takes connections is tried again after a growing
// delay, for as long as its error shows. Only the start page's host is the instrument: a failed
// page of another host (a help page on the internet, on an offline PC) keeps the web engine's
// page, with a way back to the start page, and nothing is probed or said of an instrument.
class ConnectionRecovery : public QObject
{
    Q_OBJECT

public:
    enum class State : quint8 {
        // The first load is under way behind the splash page.
        Starting,
        // The first load failed; the splash page waits for the instrument.
        WaitingAtStart,
        // The start page is no address on a network: the splash page says so and stays.
        NothingToWaitFor,
        // A page has shown; nothing is watched.
        Shown,
        // A load after that failed; one probe decides whether the instrument is away.
        Checking,
        // The instrument is away: the waiting page shows, with a way to the start page.
        Lost,
        // The host answered again, or the user asked for the start page: that page loads.
        Reloading,
        // A load failed while its host takes connections: the web engine's page shows, and the
        // failed address is loaded again after a delay.
        KeepingOutcome,
        // That address loads again.
        Retrying,
        // A page of another host failed: the web engine's page shows, with a way back.
        OtherHostFailed,
    };
    Q_ENUM(State)

    struct Timing
    {
        // For a load of the program's own.
        int loadTimeLimitMs = 30000;
        // Doubled after every try, up to the longest.
        int firstRetryDelayMs = 2000;
        int longestRetryDelayMs = 60000;
        // Tries of one failed address while its error shows.
        int retryLimit = 10;
    };

    ConnectionRecovery(QWebEngineView &view, MyWebPage &page, const QUrl &startUrl,
                       SplashPage &splash);

    // The load-outcome handler tells every outcome that it does not ask the user about.
    void loadSucceeded();
    void loadFailed();
    // A load that the program started elsewhere (the start page after the page's process ended)
    // has the same time limit as one of its own.
    void limitLoad(const QUrl &url);

    State state() const { return m_state; }
    void setTiming(const Timing &timing);
    // The delay before the given try (0 for the first) of an address whose error shows.
    static int retryDelayMs(const Timing &timing, int retry);

private:
    void loadStarted();
    void loadTimedOut();
    void load(const QUrl &url);
    bool isInstrumentHost(const QUrl &url) const;
    void probeFinished(bool connected);
    void remember(const MyWebPage::Navigation &failed);
    void probeFailedHost();
    // The splash page again, with the line for m_waitingState; the probe knocks meanwhile.
    void showWaitingPage();

    // The transitions, each named after what it does.
    void waitAtStart();
    void showNothingToWaitFor();
    void checkConnection();
    void keepOutcome();
    void connectionLost();
    void instrumentBack();
    void resumeWaiting();
    void retry();
    // The error no longer shows: the next one has all its tries again.
    void endTries();
    void otherHostFailed();
    void loadStartPage();
    void pageShown();

    QWebEngineView &m_view;
    MyWebPage &m_page;
    QUrl m_startUrl;
    SplashPage &m_splash;
    ConnectionProbe m_probe;
    State m_state = State::Starting;
    // WaitingAtStart or Lost: where a failed reload returns to.
    State m_waitingState = State::WaitingAtStart;
    // The navigation waited for: set by the first failure, before anything is waited for.
    MyWebPage::Navigation m_failed;
    Timing m_timing;
    QTimer m_loadTimeLimit;
    // What the program itself loads last.
    QUrl m_loading;
    QTimer m_retryDelay;
    // Tries of the failed address since a page last showed.
    int m_retries = 0;
};
