#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QWebEnginePage>

class QWebEngineView;
class QWidget;

// Brings the page back when the web engine's render process ends abnormally (a crash, out of
// memory, killed): the window would otherwise show an empty page until the program is started
// again. The start page is loaded as every load is, so the load-outcome handler sees it as any
// other. A page that keeps stopping is not reloaded for ever: past the limit the user is asked.
class RendererRecovery : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxRecoveries = 3;
    static constexpr qint64 recoveryWindowMs = 60 * 1000;

    RendererRecovery(QWebEngineView &view, const QUrl &startUrl, QWidget &mainWindow);

    void renderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status,
                                 int exitCode);

    // Records a recovery at nowMs in recentRecoveries and allows it, unless maxRecoveries of them
    // already fell within the last recoveryWindowMs. A page that then ran for a minute has
    // thereby earned a fresh count.
    static bool admitRecovery(QList<qint64> &recentRecoveries, qint64 nowMs);
    static QString questionText();

signals:
    // The start page is being loaded in place of the page whose process ended.
    void startPageLoading(const QUrl &url);

private:
    void recover();

    QWebEngineView &m_view;
    QUrl m_startUrl;
    QWidget &m_mainWindow;
    QElapsedTimer m_clock;
    QList<qint64> m_recentRecoveries;
    bool m_asking = false;
};
