#pragma once

#include "web/downloadmessages.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>
#include <QWidget>

class BusyOverlay;
class WaitingSpinnerWidget;

// Carries one download from its network reply to a closed file: names it from the server's
// header (asking the user where needed), writes every chunk as it arrives and then prints or
// unpacks it. Modal dialogs re-enter the item through their nested event loops; a mutex taken
// only with tryLock turns such re-entries away instead of blocking or entering twice.
class DownloadItem : public QObject
{
    Q_OBJECT

public:
    using Kind = DownloadKind;

    DownloadItem(QNetworkReply *reply, QWidget *parentWidget);
    ~DownloadItem() override;

    // The items that exist now: a long run must not pile them up.
    static int liveCount() { return liveItemCount; }

    // How the page lets go of a replaced item, instead of deleteLater(): an item waiting in one
    // of its file dialogs is deleted only once that handler has returned.
    void release();

    // The offered name is taken by position from `attachment; filename="NAME"`.
    static void splitOfferedName(const QByteArray &contentDisposition, QString &baseName,
                                 QString &endName);
    // The offered name's last part, as the user is shown it; "unnamed_download" for none.
    static QString offeredFileName(const QByteArray &contentDisposition);
    static Kind kindOf(const QString &baseName, const QString &endName);
    // The first path in `directory` (which ends with "/" or is empty) that does not exist yet.
    static QString uniqueFileName(const QString &directory, const QString &baseName,
                                  const QString &endName);

private slots:
    void downloadReadyRead();
    void downloadFinished();
    void handleFinished();
    void error(QNetworkReply::NetworkError code);

private:
    void init();
    void providedFileName(QString &baseName, QString &endName);
    void getFileName();
    bool openForFirstChunk();
    bool openDestination(QString &errorString);
    void writeAvailable();
    bool writeAll(const char *data, qint64 size);
    void releaseEndedReply();
    void carryOutRelease();
    // Runs the tool to its end; what went wrong with it, for the notice, or nothing.
    QString runTool(const QString &program, const QStringList &arguments);
    const QString &displayName();
    void showProgress();
    qint64 contentLength() const;
    void showEndNotice(bool opened, const QString &toolFailure, int unpackedFiles);
    void showNotice(const QString &text, bool problem) const;
    static QString offeredPath(const QByteArray &contentDisposition);
    void releaseBusyState();
    bool anotherIndicatorSpins() const;

    static int liveItemCount;

    QUrl m_url;
    QFile m_file;
    // Belongs to the network access manager; the pointer notices when it has been deleted.
    QPointer<QNetworkReply> m_reply;
    QMutex m_mutex;
    // A child of the main window that this item owns: the pointer notices when the window
    // went first and already deleted it.
    QPointer<WaitingSpinnerWidget> m_spinner;
    // Darkens the window under the indicator and says how far the download is, while busy.
    QPointer<BusyOverlay> m_overlay;
    // Not owned; the pointer notices a window that went first, so no dialog gets a dead parent.
    QPointer<QWidget> m_parentWidget;
    QString m_unzipLocation;
    bool m_print;
    bool m_unzip;
    bool m_finishPending;
    // The wait cursor is pushed and the window disabled until this item releases them, once.
    bool m_busy;
    // The page released this item while one of its handlers was running.
    bool m_releasePending;
    // Every chunk passes through this one buffer on its way to the file, from the first write
    // until the finish.
    QByteArray m_chunkBuffer;
    // What the overlay and the notice report: the name offered, the bytes that reached the
    // file, and a failed write that left a hole.
    QString m_displayName;
    qint64 m_written = 0;
    QString m_writeError;
    // Why the destination could not be opened, until it could; the user has been told.
    QString m_openError;
    bool m_cancelled = false;
    QElapsedTimer m_progressClock;
    // Empty until the destination has been opened. A file opened from a checked descriptor no
    // longer reports its name: it gets it back when it is closed, for the log and the tool.
    QString m_openedFileName;
};
