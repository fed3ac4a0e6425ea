#include "newwindowpage.h"

#include "web/mywebpage.h"
#include "web/newwindowhost.h"

NewWindowPage::NewWindowPage(NewWindowHost &host, MyWebPage &opener, QObject *parent)
    : QWebEnginePage(parent)
    , m_host(host)
    , m_opener(opener)
{}

bool NewWindowPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // Not as the opener's main frame: what the opener remembers of its own loads stays its own.
    const bool accepted = m_opener.acceptNavigationRequest(url, type, false);
    if (accepted && isMainFrame)
        m_host.pageAccepted(this, url);
    return accepted;
}

QWebEnginePage *NewWindowPage::createWindow(WebWindowType type)
{
    Q_UNUSED(type)
    return m_host.createPage();
}
