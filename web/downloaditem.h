#pragma once

#include "web/downloadmessages.h"

#include <QFile>
#include <QMutex>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>

class DownloadBusyState;
class WaitingSpinnerWidget;

// Carries one download from its network reply to a closed file: has it named (asking the user
// where needed), writes every chunk as it arrives and then prints or unpacks it. Modal dialogs
// re-enter the item through their nested event loops; a mutex taken only with tryLock turns
// such re-entries away instead of blocking or entering twice.
class DownloadItem : public QObject
{
    Q_OBJECT

public:
    DownloadItem(QNetworkReply *reply, QWidget *parentWidget);
    ~DownloadItem() override;

    // How many items exist: the soak test watches that days of downloads do not pile them up.
    static int liveCount() { return liveItemCount; }

    // How the page lets go of a replaced item: one waiting in one of its file dialogs is
    // deleted only once that handler has returned, never under it.
    void release();

private slots:
    void downloadReadyRead();
    void downloadFinished();
    void handleFinished();
    void error(QNetworkReply::NetworkError code);

private:
    // Where the transfer stands. While a file dialog is open the first chunk's handler holds
    // m_mutex, and a finish meanwhile is remembered in m_finishPending.
    enum class Stage { WaitingForData, GivenUp, OpenFailed, Writing, Finished };

    void init();
    void providedFileName(QString &baseName, QString &endName);
    void getFileName();
    bool openForFirstChunk();
    void writeAvailable();
    void runFollowUpAction();
    void showProgress();
    void showStep(const QString &text);
    void showNotice(const QString &text, bool problem) const;
    void releaseEndedReply();
    void carryOutRelease();

    static int liveItemCount;

    QUrl m_url;
    QFile m_file;
    // Belongs to the network access manager; the pointer notices when it has been deleted.
    QPointer<QNetworkReply> m_reply;
    QMutex m_mutex;
    // A child of the main window that this item owns: the pointer notices when the window
    // went first and already deleted it.
    QPointer<WaitingSpinnerWidget> m_spinner;
    // Not owned; the pointer notices a window that went first, so no dialog gets a dead parent.
    QPointer<QWidget> m_parentWidget;
    QString m_unzipLocation;
    bool m_print;
    bool m_unzip;
    bool m_finishPending;
    Stage m_stage = Stage::WaitingForData;
    // The page released this item while one of its handlers was running.
    bool m_releasePending = false;
    // From the start until the download has ended; nothing while it is not busy.
    std::unique_ptr<DownloadBusyState> m_busy;
    // What the notice at the end reports, filled in as the download goes.
    DownloadOutcome m_outcome;
    // Every chunk passes through this one buffer on its way to the file, from the first write
    // until the finish.
    QByteArray m_chunkBuffer;
};
