#include "mywebpage.h"

#include "platform/heapretention.h"
#include "web/downloaditem.h"
#include "web/newwindowhost.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

MyWebPage::MyWebPage(QWidget *mainWindow, QObject *parent)
    : QWebEnginePage(parent)
    , m_mainWindow(mainWindow)
    , m_networkManager(new QNetworkAccessManager)
    , m_request(new QNetworkRequest(QUrl()))
    , m_downloadItem(nullptr)
{
    // Qt 6 follows redirects by itself and Qt 5 does not; a download link that is sent on must
    // reach the same file with either, and never from https to plain http.
    m_networkManager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

MyWebPage::~MyWebPage()
{
    // The item may be waiting in one of its file dialogs, inside its reply's signal: it goes by
    // itself once its download has ended, which the manager's going ends, and the manager goes
    // with its replies once no signal of theirs is on the way any more.
    if (m_downloadItem)
        m_downloadItem->release();
    delete m_request;
    m_networkManager->deleteLater();
}

bool MyWebPage::isDownloadRequest(const QUrl &url, NavigationType type)
{
    return type == NavigationTypeLinkClicked
           && url.toString().contains(QLatin1String("downloads"), Qt::CaseSensitive);
}

bool MyWebPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    qDebug() << "acceptNavigationRequest() url=" << url.toString();
    const bool download = isDownloadRequest(url, type);
    if (isMainFrame)
        m_lastMainFrameNavigation = {url, type, download};
    if (!download)
        return true;

    qDebug() << "acceptNavigationRequest() download detected";
    m_request->setUrl(url);
    QNetworkReply *reply = m_networkManager->get(*m_request);
    // The reply goes once its download has ended; what the transfer and its screens freed
    // goes back to the system then, instead of staying with the heap for good.
    connect(reply, &QObject::destroyed, this, &releaseFreedMemory);
    if (m_downloadItem)
        m_downloadItem->release();
    m_downloadItem = new DownloadItem(reply, m_mainWindow);
    return false;
}

QWebEnginePage *MyWebPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type)
    return m_newWindowHost ? m_newWindowHost->createPage() : nullptr;
}
