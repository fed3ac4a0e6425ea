#include "loadoutcomehandler.h"

#include "app/connectionrecovery.h"
#include "platform/processexit.h"
#include "widgets/splashpage.h"

#include <QDebug>
#include <QMessageBox>
#include <QWebEngineView>

LoadOutcomeHandler::LoadOutcomeHandler(QWebEngineView &view, const QUrl &startUrl,
                                       QString &chosenAddress, QWidget &mainWindow,
                                       SplashPage &splash, ConnectionRecovery &recovery)
    : m_view(view)
    , m_startUrl(startUrl)
    , m_chosenAddress(chosenAddress)
    , m_mainWindow(mainWindow)
    , m_splash(splash)
    , m_recovery(recovery)
{}

QString LoadOutcomeHandler::questionText(const QString &chosenAddress)
{
    QString text = QStringLiteral("Please check entered IP address and connection");
    if (chosenAddress == QLatin1String("192.168.7.1"))
        text = QStringLiteral("Please check USB connection");
    else if (chosenAddress == QLatin1String("192.168.8.1"))
        text = QStringLiteral("Please check WiFi connection");
    return text + QString::fromUtf8(" to your Kestrion®.\nTry again?");
}

void LoadOutcomeHandler::operator()(bool ok) const
{
    qDebug() << "main() QWebEngineView::loadFinished ok=" << ok;
    if (ok) {
        m_splash.pageShown();
        m_chosenAddress = QString();
        m_recovery.loadSucceeded();
        return;
    }
    // With a host from the command line, or after a success, there is no chosen link to name
    // and perhaps nobody to ask: the program tries again by itself.
    if (m_chosenAddress.isEmpty()) {
        m_recovery.loadFailed();
        return;
    }

    const QMessageBox::StandardButton button = QMessageBox::question(
        &m_mainWindow, QStringLiteral("Connection Problem"), questionText(m_chosenAddress),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    qDebug() << "main() QWebEngineView::loadFinished button=" << static_cast<int>(button);
    if (button != QMessageBox::Yes)
        exitProcess(0);
    m_view.load(m_startUrl);
}
