#pragma once

#include <QDialog>
#include <QString>

class QEvent;
class QObject;
class QWidget;
class Ui_SelectConnectionDialog;

// Asks how the instrument is reached (USB, WiFi or a typed LAN address) and remembers the LAN
// address in ip.txt for the next start. Cancelling ends the program.
class SelectConnectionDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SelectConnectionDialog(QWidget *parent);
    ~SelectConnectionDialog() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    QString m_ipAddress;

public slots:
    void accept() override;
    void reject() override;

private:
    Ui_SelectConnectionDialog *ui;
};
