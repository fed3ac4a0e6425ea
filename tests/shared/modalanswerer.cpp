#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

ModalAnswerer::ModalAnswerer(Action action, QObject *parent)
    : QObject(parent)
    , m_action(std::move(action))
{
    auto *timer = new QTimer(this);
    timer->setInterval(20);
    connect(timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer->start();
}

void ModalAnswerer::poll()
{
    if (m_answered)
        return;
    QWidget *dialog = QApplication::activeModalWidget();
    if (!dialog)
        return;
    m_answered = true;
    m_seenTitle = dialog->windowTitle();
    if (auto *box = qobject_cast<QMessageBox *>(dialog))
        m_seenText = box->text();
    m_action(dialog);
}

ModalAnswerer::Action ModalAnswerer::clickButton(int standardButton)
{
    return [standardButton](QWidget *dialog) {
        auto *box = qobject_cast<QMessageBox *>(dialog);
        if (!box)
            return;
        if (standardButton == 0) {
            box->reject();
            return;
        }
        if (QAbstractButton *button
            = box->button(static_cast<QMessageBox::StandardButton>(standardButton)))
            button->click();
    };
}
