#pragma once

#include <QWebEnginePage>

class MyWebPage;
class NewWindowHost;

// The page of a window that the instrument's page asked for. Each of its navigations is judged
// by the page that opened it, so that a download link there is taken over with the same rules
// and log lines as on the main page; it is shown once it has accepted a page, so that a request
// that turns out to be a download opens nothing.
class NewWindowPage : public QWebEnginePage
{
public:
    NewWindowPage(NewWindowHost &host, MyWebPage &opener, QObject *parent);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    NewWindowHost &m_host;
    MyWebPage &m_opener;
};
