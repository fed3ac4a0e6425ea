#pragma once

#include <QWebEnginePage>

class DownloadItem;
class NewWindowHost;
class QNetworkAccessManager;
class QNetworkRequest;

// The page of the main view. It lets the web application navigate freely, except for a
// clicked download link: that file is fetched by the shell itself and handed to a DownloadItem.
class MyWebPage : public QWebEnginePage
{
public:
    // A navigation of the main frame as the web engine asked about it. The engine ends a
    // navigation that the page refused, a download link, as a failed load, and says no more of
    // any failure than that it failed: this is what a failed load is judged by.
    struct Navigation
    {
        QUrl url;
        NavigationType type = NavigationTypeTyped;
        bool refusedAsDownload = false;
    };

    MyWebPage(QWidget *mainWindow, QObject *parent);
    ~MyWebPage() override;

    const Navigation &lastMainFrameNavigation() const { return m_lastMainFrameNavigation; }
    // Where a request for a new window shows; without one, the request opens nothing.
    void setNewWindowHost(NewWindowHost *host) { m_newWindowHost = host; }

    // The web application marks every file for the user by "downloads" in a clicked link.
    static bool isDownloadRequest(const QUrl &url, NavigationType type);

    // Public: a page opened in a new window has its navigations judged here too.
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;

private:
    QWidget *m_mainWindow;
    QNetworkAccessManager *m_networkManager;
    QNetworkRequest *m_request;
    DownloadItem *m_downloadItem;
    Navigation m_lastMainFrameNavigation;
    NewWindowHost *m_newWindowHost = nullptr;
};
