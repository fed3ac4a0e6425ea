#include "connectionrecovery.h"

#include "widgets/splashpage.h"

#include <QDebug>
#include <QWebEngineView>

#include <algorithm>

namespace {

quint16 portOf(const QUrl &url)
{
    return quint16(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
}

QString hostAndPort(const QUrl &url)
{
    const QString host = url.host();
    const QString shownHost
        = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shownHost + QLatin1Char(':') + QString::number(portOf(url));
}

// Only http and https addresses with a host name an instrument that can be waited for.
bool isNetworkAddress(const QUrl &url)
{
    const QString scheme = url.scheme();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
           && !url.host().isEmpty();
}

// What is loaded once the host answers: the failed address, or the start page for a form
// submission, which loading its address would turn into a plain request without the form.
QUrl reloadUrl(const MyWebPage::Navigation &failed, const QUrl &startUrl)
{
    return failed.type == QWebEnginePage::NavigationTypeFormSubmitted ? startUrl : failed.url;
}

QString waitingText(const QUrl &url)
{
    return QString::fromUtf8("Waiting for the instrument at %1 …").arg(hostAndPort(url));
}

QString lostText(const QUrl &url)
{
    return QString::fromUtf8("Connection to the instrument at %1 lost — reconnecting …")
        .arg(hostAndPort(url));
}

QString nothingToWaitForText(const QUrl &startUrl)
{
    const QString page = startUrl.toString(QUrl::RemoveQuery);
    if (startUrl.scheme() == QLatin1String("qrc"))
        return QString::fromUtf8("The start page %1 is not part of this program.\nName the "
                                 "instrument's page with --url=, for example "
                                 "--url=http://192.168.7.1/Quorin/")
            .arg(page);
    return QString::fromUtf8("The start page “%1” names no instrument to connect to.\nName the "
                             "instrument's page with --url=, or start the program again and "
                             "choose the connection.")
        .arg(page);
}

} // namespace

ConnectionRecovery::ConnectionRecovery(QWebEngineView &view, MyWebPage &page, const QUrl &startUrl,
                                       SplashPage &splash)
    : m_view(view)
    , m_page(page)
    , m_startUrl(startUrl)
    , m_splash(splash)
{
    connect(&m_probe, &ConnectionProbe::finished, this, &ConnectionRecovery::probeFinished);
    connect(&splash, &SplashPage::startPageRequested, this, &ConnectionRecovery::loadStartPage);
    m_loadTimeLimit.setSingleShot(true);
    connect(&m_loadTimeLimit, &QTimer::timeout, this, &ConnectionRecovery::loadTimedOut);
    m_retryDelay.setSingleShot(true);
    connect(&m_retryDelay, &QTimer::timeout, this, &ConnectionRecovery::retry);
    connect(&view, &QWebEngineView::loadStarted, this, &ConnectionRecovery::loadStarted);
    // Whatever the outcome, it came in time; the load-outcome handler reports it.
    connect(&view, &QWebEngineView::loadFinished, &m_loadTimeLimit, &QTimer::stop);
    // The first load is under way already.
    m_loading = startUrl;
    m_loadTimeLimit.start(m_timing.loadTimeLimitMs);
}

void ConnectionRecovery::setTiming(const Timing &timing)
{
    m_timing = timing;
    if (m_loadTimeLimit.isActive())
        m_loadTimeLimit.start(m_timing.loadTimeLimitMs);
}

int ConnectionRecovery::retryDelayMs(const Timing &timing, int retry)
{
    qint64 delay = timing.firstRetryDelayMs;
    for (int i = 0; i < retry && delay < timing.longestRetryDelayMs; ++i)
        delay *= 2;
    return int(std::min<qint64>(delay, timing.longestRetryDelayMs));
}

void ConnectionRecovery::loadStarted()
{
    switch (m_state) {
    case State::Starting:
    case State::Reloading:
    case State::Retrying:
        m_loadTimeLimit.start(m_timing.loadTimeLimitMs);
        return;
    case State::KeepingOutcome:
    case State::OtherHostFailed:
        // The program loads nothing in these states: the user or the page went elsewhere, and
        // the error is no longer on the screen.
        endTries();
        m_state = State::Shown;
        m_splash.pageShown();
        return;
    case State::WaitingAtStart:
    case State::NothingToWaitFor:
    case State::Shown:
    case State::Checking:
    case State::Lost:
        return;
    }
}

void ConnectionRecovery::limitLoad(const QUrl &url)
{
    m_loading = url;
    m_loadTimeLimit.start(m_timing.loadTimeLimitMs);
}

void ConnectionRecovery::loadTimedOut()
{
    qDebug() << "ConnectionRecovery::loadTimedOut url=" << m_loading;
    // The web engine ends the stopped load as failed, which goes on as any failure.
    m_view.stop();
}

void ConnectionRecovery::load(const QUrl &url)
{
    m_loading = url;
    m_view.load(url);
}

bool ConnectionRecovery::isInstrumentHost(const QUrl &url) const
{
    return url.host().compare(m_startUrl.host(), Qt::CaseInsensitive) == 0;
}

void ConnectionRecovery::loadSucceeded()
{
    if (m_state != State::Shown)
        pageShown();
}

void ConnectionRecovery::loadFailed()
{
    const MyWebPage::Navigation &navigation = m_page.lastMainFrameNavigation();
    switch (m_state) {
    case State::Starting:
        // Taken as given: the web engine turns an address without a host into another one.
        m_failed = {m_startUrl, QWebEnginePage::NavigationTypeTyped, false};
        if (isNetworkAddress(m_startUrl))
            waitAtStart();
        else
            showNothingToWaitFor();
        return;
    case State::Shown:
    case State::KeepingOutcome:
    case State::OtherHostFailed:
        // A download link that the page fetched itself ends as a failed load; and an address off
        // the network has no host to ask.
        if (navigation.refusedAsDownload || !isNetworkAddress(navigation.url))
            return;
        if (!isInstrumentHost(navigation.url)) {
            otherHostFailed();
            return;
        }
        m_failed = navigation;
        checkConnection();
        return;
    case State::Retrying:
        remember(navigation);
        checkConnection();
        return;
    case State::Checking:
    case State::WaitingAtStart:
    case State::Lost:
        // The latest failure is the address the user or the page wanted last.
        remember(navigation);
        return;
    case State::Reloading:
        remember(navigation);
        resumeWaiting();
        return;
    case State::NothingToWaitFor:
        return;
    }
}

void ConnectionRecovery::probeFinished(bool connected)
{
    switch (m_state) {
    case State::Checking:
        if (connected)
            keepOutcome();
        else
            connectionLost();
        return;
    case State::WaitingAtStart:
    case State::Lost:
        if (connected)
            instrumentBack();
        else
            probeFailedHost();
        return;
    case State::Starting:
    case State::NothingToWaitFor:
    case State::Shown:
    case State::Reloading:
    case State::KeepingOutcome:
    case State::Retrying:
    case State::OtherHostFailed:
        return;
    }
}

void ConnectionRecovery::remember(const MyWebPage::Navigation &failed)
{
    if (!failed.refusedAsDownload && isNetworkAddress(failed.url) && isInstrumentHost(failed.url))
        m_failed = failed;
}

void ConnectionRecovery::probeFailedHost()
{
    m_probe.probe(m_failed.url.host(), portOf(m_failed.url));
}

void ConnectionRecovery::showWaitingPage()
{
    if (m_waitingState == State::Lost)
        m_splash.instrumentLost(lostText(m_failed.url));
    else
        m_splash.waitAtStart(waitingText(m_failed.url));
    probeFailedHost();
}

void ConnectionRecovery::waitAtStart()
{
    qDebug() << "ConnectionRecovery::waitAtStart url=" << m_failed.url;
    m_state = m_waitingState = State::WaitingAtStart;
    showWaitingPage();
}

void ConnectionRecovery::showNothingToWaitFor()
{
    qDebug() << "ConnectionRecovery::showNothingToWaitFor url=" << m_failed.url;
    m_state = State::NothingToWaitFor;
    m_splash.nothingToWaitFor(nothingToWaitForText(m_startUrl));
}

void ConnectionRecovery::checkConnection()
{
    qDebug() << "ConnectionRecovery::checkConnection url=" << m_failed.url;
    m_state = State::Checking;
    probeFailedHost();
}

void ConnectionRecovery::keepOutcome()
{
    // The host answers, so the web engine's page tells the user best what went wrong; what went
    // wrong may pass (a server that restarts its application), so the address is tried again.
    qDebug() << "ConnectionRecovery::keepOutcome url=" << m_failed.url;
    m_state = State::KeepingOutcome;
    if (m_retries >= m_timing.retryLimit) {
        qDebug() << "ConnectionRecovery::retriesEnded url=" << m_failed.url;
        return;
    }
    const int delayMs = retryDelayMs(m_timing, m_retries);
    qDebug() << "ConnectionRecovery::retryAfter seconds=" << delayMs / 1000.0
             << "url=" << reloadUrl(m_failed, m_startUrl);
    m_retryDelay.start(delayMs);
}

void ConnectionRecovery::retry()
{
    ++m_retries;
    m_state = State::Retrying;
    load(reloadUrl(m_failed, m_startUrl));
}

void ConnectionRecovery::endTries()
{
    m_retryDelay.stop();
    m_retries = 0;
}

void ConnectionRecovery::otherHostFailed()
{
    // Not the instrument: its host is not waited for, and an offline PC would knock at it
    // for ever.
    qDebug() << "ConnectionRecovery::otherHostFailed url=" << m_page.lastMainFrameNavigation().url;
    m_retryDelay.stop();
    m_state = State::OtherHostFailed;
    m_splash.otherHostFailed();
}

void ConnectionRecovery::connectionLost()
{
    qDebug() << "ConnectionRecovery::connectionLost url=" << m_failed.url;
    m_state = m_waitingState = State::Lost;
    showWaitingPage();
}

void ConnectionRecovery::instrumentBack()
{
    const QUrl url = reloadUrl(m_failed, m_startUrl);
    qDebug() << "ConnectionRecovery::instrumentBack url=" << url;
    m_state = State::Reloading;
    load(url);
}

void ConnectionRecovery::resumeWaiting()
{
    qDebug() << "ConnectionRecovery::resumeWaiting url=" << m_failed.url;
    m_state = m_waitingState;
    showWaitingPage();
}

void ConnectionRecovery::loadStartPage()
{
    if (m_state == State::OtherHostFailed) {
        // Should the start page fail too, it is the instrument that is waited for.
        m_failed = {m_startUrl, QWebEnginePage::NavigationTypeTyped, false};
        m_waitingState = State::Lost;
    } else if (m_state != State::Lost && m_state != State::Reloading) {
        return;
    }
    qDebug() << "ConnectionRecovery::loadStartPage url=" << m_startUrl;
    m_probe.cancel();
    m_state = State::Reloading;
    load(m_startUrl);
}

void ConnectionRecovery::pageShown()
{
    if (m_state != State::Starting)
        qDebug() << "ConnectionRecovery::pageShown url=" << m_page.url();
    m_state = State::Shown;
    endTries();
    // No probe while the page shows: nothing is to be found out then.
    m_probe.cancel();
}
