#include "dialogs/selectconnectiondialog.h"

#include "dialogs/ui_selectconnectiondialog.h"
#include "platform/processexit.h"

#include <QEvent>
#include <QFile>
#include <QIODevice>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSaveFile>
#include <QTextStream>

SelectConnectionDialog::SelectConnectionDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_SelectConnectionDialog)
{
    ui->setupUi(this);
    ui->lanLineEdit->installEventFilter(this);

    QFile file(QStringLiteral("ip.txt"));
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream in(&file);
        ui->lanLineEdit->setText(in.readLine());
    }
}

SelectConnectionDialog::~SelectConnectionDialog()
{
    delete ui;
}

// Whatever gives the LAN field the focus (click, Tab, program) selects LAN; the event still
// reaches the field.
bool SelectConnectionDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && watched == ui->lanLineEdit)
        ui->lanRadioButton->setChecked(true);
    return false;
}

void SelectConnectionDialog::accept()
{
    if (ui->usbRadioButton->isChecked())
        m_ipAddress = ui->usbLabel->text();
    else if (ui->wifiRadioButton->isChecked())
        m_ipAddress = ui->wifiLabel->text();
    else if (ui->lanRadioButton->isChecked())
        m_ipAddress = ui->lanLineEdit->text();

    // The file keeps the LAN address whichever link was chosen, so it is offered again later.
    // The old address stays until the new one is complete on disk: a full disk or a power cut
    // meanwhile must not leave an empty file. Only where the folder takes no new file is the
    // file written in place, so that the address is kept there too.
    QSaveFile file(QStringLiteral("ip.txt"));
    file.setDirectWriteFallback(true);
    if (file.open(QIODevice::WriteOnly)) {
        QTextStream out(&file);
        out << ui->lanLineEdit->text() << Qt::endl;
        // QSaveFile's commit() does not see a write of the buffer that failed half-way.
        if (out.status() == QTextStream::Ok && file.flush())
            file.commit();
    }

    done(QDialog::Accepted);
}

// Without a connection there is nothing to show, so cancelling ends the program at once.
void SelectConnectionDialog::reject()
{
    exitProcess(1);
}
