#pragma once

#include "app/connectionprobe.h"
#include "web/mywebpage.h"

#include <QObject>
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
    };
    Q_ENUM(State)

    ConnectionRecovery(QWebEngineView &view, MyWebPage &page, const QUrl &startUrl,
                       SplashPage &splash);

    // The load-outcome handler tells every outcome that it does not ask the user about.
    void loadSucceeded();
    void loadFailed();

    State state() const { return m_state; }

private:
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
};
