#pragma once

#include "web/downloadmessages.h"
#include "web/partfile.h"

#include <QFile>
#include <QMutex>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <memory>

class DownloadBusyState;
class QTemporaryDir;
class StallTimer;
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

    // How the page lets go of an item that a newer download replaces: what the user asked for
    // is not lost, so the item carries its download to the end and then deletes itself.
    void release();

private slots:
    void downloadReadyRead();
    void downloadFinished();
    void handleFinished();
    void error(QNetworkReply::NetworkError code);

private:
    // Where the download stands. While naming, a file dialog may be open: the handler that
    // opened it holds m_mutex, and a finish meanwhile is remembered in m_finishPending.
    enum class Stage : quint8 { WaitingForData, Naming, Writing, GivenUp, Finished };

    void init();
    void providedFileName(QString &baseName, QString &endName);
    void getFileName();
    void openForFirstChunk();
    bool startSpool(const QString &baseName, const QString &endName);
    void keepOrDiscard();
    void writeAvailable();
    void endTransfer(TransferEnd end);
    void replyDestroyed();
    void showProgress();
    void deleteIfDone();

    static inline int liveItemCount = 0;

    QUrl m_url;
    QFile m_file;
    // Belongs to the network access manager; the pointer notices when it has been deleted.
    QPointer<QNetworkReply> m_reply;
    // Non-recursive, taken only with tryLock: re-entries are turned away.
    QMutex m_mutex;
    // A child of the main window that this item owns: the pointer notices when the window
    // went first and already deleted it.
    QPointer<WaitingSpinnerWidget> m_spinner;
    // Not owned; the pointer notices a window that went first, so no dialog gets a dead parent.
    QPointer<QWidget> m_parentWidget;
    QString m_unzipLocation;
    bool m_print = false;
    bool m_unzip = false;
    bool m_finishPending = false;
    Stage m_stage = Stage::WaitingForData;
    bool m_released = false;
    // The download's own folder: a print job or an archive lives there until its tool has
    // ended, and what arrives while a dialog is open waits there on disk, not in memory.
    std::unique_ptr<QTemporaryDir> m_folder;
    // Where the body goes first, in m_folder.
    QString m_spoolPath;
    // A file to save is written beside its destination, which it replaces once it is whole.
    PartFile m_part;
    // From the start until the download has ended; nothing while it is not busy.
    std::unique_ptr<DownloadBusyState> m_busy;
    // Runs while bytes are awaited and no file dialog is open.
    std::unique_ptr<StallTimer> m_stallTimer;
    // What the notice at the end reports, filled in as the download goes.
    DownloadOutcome m_outcome;
    // Every chunk passes through this one buffer on its way to the file, from the first write
    // until the finish.
    QByteArray m_chunkBuffer;
};
