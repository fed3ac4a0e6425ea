#pragma once

#include <QWebEnginePage>

class DownloadItem;
class QNetworkAccessManager;
class QNetworkRequest;

// The page of the main view. It lets the web application navigate freely, except for a
// clicked download link: that file is fetched by the shell itself and handed to a DownloadItem.
class MyWebPage : public QWebEnginePage
{
public:
    MyWebPage(QWidget *mainWindow, QObject *parent);
    ~MyWebPage() override;

    // The web application marks every file for the user by "downloads" in a clicked link.
    static bool isDownloadRequest(const QUrl &url, NavigationType type);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    QWidget *m_mainWindow;
    QNetworkAccessManager *m_networkManager;
    QNetworkRequest *m_request;
    DownloadItem *m_downloadItem;
};
