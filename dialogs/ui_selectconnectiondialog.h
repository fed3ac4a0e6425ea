#pragma once

class QDialog;
class QDialogButtonBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

// The form of the connection dialog: one pointer per form object, in creation order. The
// widgets belong to the dialog through their Qt parents, not to this record.
class Ui_SelectConnectionDialog
{
public:
    QDialogButtonBox *buttonBox;
    QWidget *formLayoutWidget;
    QFormLayout *formLayout;
    QRadioButton *usbRadioButton;
    QRadioButton *wifiRadioButton;
    QRadioButton *lanRadioButton;
    QLineEdit *lanLineEdit;
    QLabel *usbLabel;
    QLabel *wifiLabel;

    void setupUi(QDialog *dialog);
    void retranslateUi(QDialog *dialog);
};
