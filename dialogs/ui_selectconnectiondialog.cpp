#include "dialogs/ui_selectconnectiondialog.h"

#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QRadioButton>
#include <QWidget>

// Creation order is the keyboard focus order: the buttons first, then the choices.
void Ui_SelectConnectionDialog::setupUi(QDialog *dialog)
{
    if (dialog->objectName().isEmpty())
        dialog->setObjectName(QStringLiteral("SelectConnectionDialog"));
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->resize(363, 209);
    dialog->setLocale(QLocale(QLocale::English, QLocale::UnitedStates));

    buttonBox = new QDialogButtonBox(dialog);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    buttonBox->setGeometry(QRect(30, 170, 311, 32));
    buttonBox->setOrientation(Qt::Horizontal);
    buttonBox->setStandardButtons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    formLayoutWidget = new QWidget(dialog);
    formLayoutWidget->setObjectName(QStringLiteral("formLayoutWidget"));
    formLayoutWidget->setGeometry(QRect(30, 20, 311, 141));

    formLayout = new QFormLayout(formLayoutWidget);
    formLayout->setObjectName(QStringLiteral("formLayout"));
    formLayout->setFormAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    formLayout->setVerticalSpacing(24);
    formLayout->setContentsMargins(0, 0, 0, 0);

    usbRadioButton = new QRadioButton(formLayoutWidget);
    usbRadioButton->setObjectName(QStringLiteral("usbRadioButton"));
    usbRadioButton->setChecked(true);
    formLayout->setWidget(0, QFormLayout::LabelRole, usbRadioButton);

    wifiRadioButton = new QRadioButton(formLayoutWidget);
    wifiRadioButton->setObjectName(QStringLiteral("wifiRadioButton"));
    formLayout->setWidget(1, QFormLayout::LabelRole, wifiRadioButton);

    lanRadioButton = new QRadioButton(formLayoutWidget);
    lanRadioButton->setObjectName(QStringLiteral("lanRadioButton"));
    formLayout->setWidget(2, QFormLayout::LabelRole, lanRadioButton);

    lanLineEdit = new QLineEdit(formLayoutWidget);
    lanLineEdit->setObjectName(QStringLiteral("lanLineEdit"));
    formLayout->setWidget(2, QFormLayout::FieldRole, lanLineEdit);

    usbLabel = new QLabel(formLayoutWidget);
    usbLabel->setObjectName(QStringLiteral("usbLabel"));
    formLayout->setWidget(0, QFormLayout::FieldRole, usbLabel);

    wifiLabel = new QLabel(formLayoutWidget);
    wifiLabel->setObjectName(QStringLiteral("wifiLabel"));
    formLayout->setWidget(1, QFormLayout::FieldRole, wifiLabel);

    retranslateUi(dialog);

    QObject::connect(buttonBox, SIGNAL(accepted()), dialog, SLOT(accept()));
    QObject::connect(buttonBox, SIGNAL(rejected()), dialog, SLOT(reject()));

    QMetaObject::connectSlotsByName(dialog);
}

void Ui_SelectConnectionDialog::retranslateUi(QDialog *dialog)
{
    dialog->setWindowTitle(QCoreApplication::translate("SelectConnectionDialog",
                                                       "Select Connection to Kestrion", nullptr));
    usbRadioButton->setText(QCoreApplication::translate("SelectConnectionDialog", "USB", nullptr));
    wifiRadioButton->setText(
        QCoreApplication::translate("SelectConnectionDialog", "WiFi", nullptr));
    lanRadioButton->setText(QCoreApplication::translate("SelectConnectionDialog", "LAN", nullptr));
    usbLabel->setText(
        QCoreApplication::translate("SelectConnectionDialog", "192.168.7.1", nullptr));
    wifiLabel->setText(
        QCoreApplication::translate("SelectConnectionDialog", "192.168.8.1", nullptr));
}
