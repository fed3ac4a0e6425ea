#pragma once

#include <QString>
#include <QUrl>

class ConnectionRecovery;
class QWebEngineView;
class QWidget;
class SplashPage;

// Reacts to every load the web view finishes: the first success takes the splash page away,
// a failure before it asks whether to try the link the user chose again. It refers to objects
// of the assembled window, which live until the process ends; emptying the chosen address after
// a success is what keeps every later failure from being asked about. What is not asked about
// goes to the connection recovery, which brings the page back by itself.
class LoadOutcomeHandler
{
public:
    LoadOutcomeHandler(QWebEngineView &view, const QUrl &startUrl, QString &chosenAddress,
                       QWidget &mainWindow, SplashPage &splash, ConnectionRecovery &recovery);

    void operator()(bool ok) const;

    // The "Connection Problem" text names the link to check, told apart by the address alone.
    static QString questionText(const QString &chosenAddress);

private:
    QWebEngineView &m_view;
    QUrl m_startUrl;
    QString &m_chosenAddress;
    QWidget &m_mainWindow;
    SplashPage &m_splash;
    ConnectionRecovery &m_recovery;
};
