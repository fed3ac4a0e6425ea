#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QFileDialog;

// Answers the file dialogs of downloads as the user would, from a timer that polls for
// QApplication::activeModalWidget() while the code under test sits in the dialog's nested
// event loop. The next dialog gets the action given to answer() once its condition holds; a
// dialog that nobody expects is turned down, and then shows in titles(). What each dialog
// showed when it came up is kept for the checks.
class FileDialogAnswerer
{
public:
    using Action = std::function<void(QFileDialog *dialog)>;

    explicit FileDialogAnswerer(int pollIntervalMs = 10);

    // Starts polling afresh, with nothing seen yet.
    void start();
    // Stops polling and forgets an action that no dialog has taken.
    void stop();
    void answer(Action action, std::function<bool()> ready = nullptr);

    QStringList titles() const { return m_titles; }
    // Of the latest dialog: the folder it showed, the file it proposed, and whether it
    // offered folders only.
    QString directory() const { return m_directory; }
    QString proposal() const { return m_proposal; }
    bool dirsOnly() const { return m_dirsOnly; }

private:
    void poll();

    QTimer m_poller;
    Action m_action;
    std::function<bool()> m_ready;
    QPointer<QFileDialog> m_current;
    QStringList m_titles;
    QString m_directory;
    QString m_proposal;
    bool m_dirsOnly = false;
};

// Picks this file or folder and accepts, as a click on the dialog's button would.
FileDialogAnswerer::Action choose(const QString &path);
// Accepts whatever the dialog proposes.
FileDialogAnswerer::Action acceptProposal();
