#pragma once

#include <QString>
#include <QUrl>

class ConnectionRecovery;
class MyStackedWidget;
class QLabel;
class QWebEngineView;
class WaitingSpinnerWidget;

// Reacts to every load the web view finishes: the first success takes the splash page away,
// a failure before it asks whether to try the link the user chose again. It refers to main()'s
// own objects, which live until the process ends; emptying the chosen address after a success
// is what keeps every later failure from being asked about. What is not asked about goes to the
// connection recovery, which brings the page back by itself.
class LoadOutcomeHandler
{
public:
    LoadOutcomeHandler(QWebEngineView &view, const QUrl &startUrl, QString &chosenAddress,
                       MyStackedWidget &mainWindow, QLabel &splashLabel,
                       WaitingSpinnerWidget &busyIndicator, ConnectionRecovery &recovery);

    void operator()(bool ok) const;

    // The "Connection Problem" text names the link to check, told apart by the address alone.
    static QString questionText(const QString &chosenAddress);

private:
    QWebEngineView &m_view;
    QUrl m_startUrl;
    QString &m_chosenAddress;
    MyStackedWidget &m_mainWindow;
    QLabel &m_splashLabel;
    WaitingSpinnerWidget &m_busyIndicator;
    ConnectionRecovery &m_recovery;
};
