#include "rendererrecovery.h"

#include <QDebug>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

RendererRecovery::RendererRecovery(QWebEngineView &view, const QUrl &startUrl, QWidget &mainWindow)
    : m_view(view)
    , m_startUrl(startUrl)
    , m_mainWindow(mainWindow)
{
    m_clock.start();
}

QString RendererRecovery::questionText()
{
    return QString::fromUtf8("The page of your Kestrion® keeps stopping: its process ended %1 "
                             "times within a minute.\nTry again?")
        .arg(maxRecoveries + 1);
}

bool RendererRecovery::admitRecovery(QList<qint64> &recentRecoveries, qint64 nowMs)
{
    while (!recentRecoveries.isEmpty() && nowMs - recentRecoveries.first() >= recoveryWindowMs)
        recentRecoveries.removeFirst();
    if (recentRecoveries.size() >= maxRecoveries)
        return false;
    recentRecoveries.append(nowMs);
    return true;
}

void RendererRecovery::renderProcessTerminated(
    QWebEnginePage::RenderProcessTerminationStatus status, int exitCode)
{
    qDebug() << "RendererRecovery::renderProcessTerminated status=" << status
             << "exitCode=" << exitCode;
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    // The web engine is still tearing the process down while it tells us: load, or ask, once
    // it has finished.
    QTimer::singleShot(0, this, &RendererRecovery::recover);
}

void RendererRecovery::recover()
{
    // One question at a time, whatever else ends meanwhile.
    if (m_asking)
        return;
    if (!admitRecovery(m_recentRecoveries, m_clock.elapsed())) {
        m_asking = true;
        const QMessageBox::StandardButton button
            = QMessageBox::question(&m_mainWindow, QStringLiteral("Page Problem"), questionText(),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
        m_asking = false;
        qDebug() << "RendererRecovery::recover button=" << static_cast<int>(button);
        if (button != QMessageBox::Yes)
            return;
        m_recentRecoveries.clear();
    }
    qDebug() << "RendererRecovery::recover url=" << m_startUrl;
    m_view.load(m_startUrl);
    emit startPageLoading(m_startUrl);
}
