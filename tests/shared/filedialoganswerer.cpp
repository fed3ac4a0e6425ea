#include "filedialoganswerer.h"

#include <QApplication>
#include <QFileDialog>

FileDialogAnswerer::FileDialogAnswerer(int pollIntervalMs)
{
    m_poller.setInterval(pollIntervalMs);
    m_poller.callOnTimeout(&m_poller, [this] { poll(); });
}

void FileDialogAnswerer::start()
{
    m_current = nullptr;
    m_titles.clear();
    m_directory.clear();
    m_proposal.clear();
    m_dirsOnly = false;
    m_poller.start();
}

void FileDialogAnswerer::stop()
{
    m_poller.stop();
    m_action = nullptr;
    m_ready = nullptr;
}

void FileDialogAnswerer::answer(Action action, std::function<bool()> ready)
{
    m_action = std::move(action);
    m_ready = std::move(ready);
}

void FileDialogAnswerer::poll()
{
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    if (dialog != m_current) {
        m_current = dialog;
        m_titles << dialog->windowTitle();
        m_directory = dialog->directory().absolutePath();
        m_proposal = dialog->selectedFiles().value(0);
        m_dirsOnly = dialog->testOption(QFileDialog::ShowDirsOnly);
    }
    if (!m_action) {
        dialog->reject();
        return;
    }
    if (m_ready && !m_ready())
        return;
    const Action action = std::move(m_action);
    m_action = nullptr;
    m_ready = nullptr;
    action(dialog);
}

FileDialogAnswerer::Action choose(const QString &path)
{
    return [path](QFileDialog *dialog) {
        // selectFile() leaves the name field alone while it has the focus.
        if (QWidget *focused = dialog->focusWidget())
            focused->clearFocus();
        dialog->selectFile(path);
        // QFileDialog hides its override of accept(), which checks the choice.
        static_cast<QDialog *>(dialog)->accept();
    };
}

FileDialogAnswerer::Action acceptProposal()
{
    return [](QFileDialog *dialog) {
        static_cast<QDialog *>(dialog)->accept();
    };
}
