#include "connectionrecovery.h"

#include "widgets/splashpage.h"

#include <QDebug>
#include <QWebEngineView>

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
        // A download link that the page fetched itself ends as a failed load; and an address off
        // the network has no host to ask.
        if (navigation.refusedAsDownload || !isNetworkAddress(navigation.url))
            return;
        m_failed = navigation;
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
        return;
    }
}

void ConnectionRecovery::remember(const MyWebPage::Navigation &failed)
{
    if (!failed.refusedAsDownload && isNetworkAddress(failed.url))
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
    // The host answers, so the web engine's page tells the user best what went wrong.
    qDebug() << "ConnectionRecovery::keepOutcome url=" << m_failed.url;
    m_state = State::Shown;
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
    m_view.load(url);
}

void ConnectionRecovery::resumeWaiting()
{
    qDebug() << "ConnectionRecovery::resumeWaiting url=" << m_failed.url;
    m_state = m_waitingState;
    showWaitingPage();
}

void ConnectionRecovery::loadStartPage()
{
    if (m_state != State::Lost && m_state != State::Reloading)
        return;
    qDebug() << "ConnectionRecovery::loadStartPage url=" << m_startUrl;
    m_probe.cancel();
    m_state = State::Reloading;
    m_view.load(m_startUrl);
}

void ConnectionRecovery::pageShown()
{
    if (m_state != State::Starting)
        qDebug() << "ConnectionRecovery::pageShown url=" << m_page.url();
    m_state = State::Shown;
    // No probe while the page shows: nothing is to be found out then.
    m_probe.cancel();
}
