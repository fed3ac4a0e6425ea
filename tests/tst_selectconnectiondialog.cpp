#include "dialogs/selectconnectiondialog.h"

#include "shared/logcapture.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <sys/resource.h>

namespace {

template<typename T>
T *part(const SelectConnectionDialog &dialog, const char *name)
{
    return dialog.findChild<T *>(QLatin1String(name));
}

void writeIpFile(const QByteArray &content)
{
    QFile file(QStringLiteral("ip.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

QByteArray readIpFile()
{
    QFile file(QStringLiteral("ip.txt"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Marks every text it translates, and only those asked for in the dialog's own context.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "SelectConnectionDialog") != 0)
            return QString();
        return QLatin1Char('<') + QLatin1String(sourceText) + QLatin1Char('>');
    }
};

// The child's part of cancelEndsProgram: cancels the dialog in `directory` the given way.
void cancelInThisProcess(const QString &way, const QString &directory)
{
    QVERIFY(QDir::setCurrent(directory));
    SelectConnectionDialog dialog(nullptr);
    QTimer::singleShot(0, &dialog, [&dialog, way] {
        if (QApplication::activeModalWidget() != &dialog)
            return;
        std::fputs("dialog shown\n", stdout);
        std::fflush(stdout);
        if (way == QLatin1String("button")) {
            auto *buttonBox = part<QDialogButtonBox>(dialog, "buttonBox");
            QTest::mouseClick(buttonBox->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        } else {
            // As the window's close button does it: a close event to the dialog.
            dialog.close();
        }
    });
    dialog.exec();
    // Only a dialog that lets the program go on after a cancel gets here.
    std::_Exit(0);
}

} // namespace

// The connection dialog: its form, what it loads from and writes to ip.txt, and the address
// it hands to the caller. reject() ends the process and is therefore called only in a child
// process, this test run again.
class tst_SelectConnectionDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void formObjects_data();
    void formObjects();
    void dialogSettings();
    void creationAndFocusOrder();
    void textsTranslatedInDialogContext();
    void ipFileLoaded_data();
    void ipFileLoaded();
    void lanFieldFocusChecksLan_data();
    void lanFieldFocusChecksLan();
    void accept_data();
    void accept();
    void okButtonEndsExec();
    void cancelEndsProgram_data();
    void cancelEndsProgram();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_startDir;
};

void tst_SelectConnectionDialog::initTestCase()
{
    startLogCapture();
    m_startDir = QDir::currentPath();
}

void tst_SelectConnectionDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void tst_SelectConnectionDialog::cleanup()
{
    QDir::setCurrent(m_startDir);
    m_dir.reset();
    expectNoConnectWarnings();
}

// clang-format off
void tst_SelectConnectionDialog::formObjects_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("text");

    const QString dialog = QStringLiteral("SelectConnectionDialog");
    const QString form = QStringLiteral("formLayoutWidget");
    const int label = QFormLayout::LabelRole;
    const int field = QFormLayout::FieldRole;
    QTest::newRow("buttonBox at fixed place")
        << "buttonBox" << "QDialogButtonBox" << dialog << QRect(30, 170, 311, 32) << -1 << 0 << "";
    QTest::newRow("formLayoutWidget at fixed place")
        << form << "QWidget" << dialog << QRect(30, 20, 311, 141) << -1 << 0 << "";
    QTest::newRow("USB choice: row 0 label")
        << "usbRadioButton" << "QRadioButton" << form << QRect() << 0 << label << "USB";
    QTest::newRow("WiFi choice: row 1 label")
        << "wifiRadioButton" << "QRadioButton" << form << QRect() << 1 << label << "WiFi";
    QTest::newRow("LAN choice: row 2 label")
        << "lanRadioButton" << "QRadioButton" << form << QRect() << 2 << label << "LAN";
    QTest::newRow("LAN field: row 2 field")
        << "lanLineEdit" << "QLineEdit" << form << QRect() << 2 << field << "";
    QTest::newRow("USB address: row 0 field")
        << "usbLabel" << "QLabel" << form << QRect() << 0 << field << "192.168.7.1";
    QTest::newRow("WiFi address: row 1 field")
        << "wifiLabel" << "QLabel" << form << QRect() << 1 << field << "192.168.8.1";
}
// clang-format on

void tst_SelectConnectionDialog::formObjects()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(int, row);
    QFETCH(int, role);
    QFETCH(QString, text);

    SelectConnectionDialog dialog(nullptr);
    QWidget *widget = dialog.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    if (geometry.isValid())
        QCOMPARE(widget->geometry(), geometry);
    if (row >= 0) {
        auto *formLayout = part<QFormLayout>(dialog, "formLayout");
        QCOMPARE(formLayout->itemAt(row, QFormLayout::ItemRole(role))->widget(), widget);
    }
    const QVariant shownText = widget->property("text");
    if (shownText.isValid())
        QCOMPARE(shownText.toString(), text);
}

void tst_SelectConnectionDialog::dialogSettings()
{
    QWidget parent;
    SelectConnectionDialog dialog(&parent);
    QCOMPARE(dialog.parentWidget(), &parent);
    QCOMPARE(dialog.objectName(), QStringLiteral("SelectConnectionDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Connection to Kestrion"));
    QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
    QCOMPARE(dialog.size(), QSize(363, 209));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize());
    QCOMPARE(dialog.locale(), QLocale(QLocale::English, QLocale::UnitedStates));
    QVERIFY(dialog.m_ipAddress.isEmpty());

    auto *buttonBox = part<QDialogButtonBox>(dialog, "buttonBox");
    QCOMPARE(buttonBox->orientation(), Qt::Horizontal);
    QCOMPARE(buttonBox->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    auto *formLayout = part<QFormLayout>(dialog, "formLayout");
    QCOMPARE(formLayout->parentWidget(), part<QWidget>(dialog, "formLayoutWidget"));
    QCOMPARE(formLayout->formAlignment(), Qt::AlignLeft | Qt::AlignVCenter);
    QCOMPARE(formLayout->verticalSpacing(), 24);
    QCOMPARE(formLayout->contentsMargins(), QMargins(0, 0, 0, 0));

    QVERIFY(part<QRadioButton>(dialog, "usbRadioButton")->isChecked());
    QVERIFY(!part<QRadioButton>(dialog, "wifiRadioButton")->isChecked());
    QVERIFY(!part<QRadioButton>(dialog, "lanRadioButton")->isChecked());
}

void tst_SelectConnectionDialog::creationAndFocusOrder()
{
    SelectConnectionDialog dialog(nullptr);
    QStringList created;
    for (const QObject *child : dialog.children())
        created << child->objectName();
    for (const QObject *child : part<QWidget>(dialog, "formLayoutWidget")->children())
        created << child->objectName();
    QCOMPARE(created, QStringList({"buttonBox", "formLayoutWidget", "formLayout", "usbRadioButton",
                                   "wifiRadioButton", "lanRadioButton", "lanLineEdit", "usbLabel",
                                   "wifiLabel"}));

    auto *buttonBox = part<QDialogButtonBox>(dialog, "buttonBox");
    QList<QWidget *> tabStops;
    for (QWidget *w = dialog.nextInFocusChain(); w != &dialog; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            tabStops << w;
    }
    QCOMPARE(tabStops.size(), 6);
    QCOMPARE(tabStops.at(0)->parentWidget(), buttonBox);
    QCOMPARE(tabStops.at(1)->parentWidget(), buttonBox);
    QCOMPARE(tabStops.mid(2),
             QList<QWidget *>(
                 {part<QWidget>(dialog, "usbRadioButton"), part<QWidget>(dialog, "wifiRadioButton"),
                  part<QWidget>(dialog, "lanRadioButton"), part<QWidget>(dialog, "lanLineEdit")}));
}

void tst_SelectConnectionDialog::textsTranslatedInDialogContext()
{
    MarkingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    SelectConnectionDialog dialog(nullptr);
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(dialog.windowTitle(), QStringLiteral("<Select Connection to Kestrion>"));
    QCOMPARE(part<QRadioButton>(dialog, "usbRadioButton")->text(), QStringLiteral("<USB>"));
    QCOMPARE(part<QRadioButton>(dialog, "wifiRadioButton")->text(), QStringLiteral("<WiFi>"));
    QCOMPARE(part<QRadioButton>(dialog, "lanRadioButton")->text(), QStringLiteral("<LAN>"));
    QCOMPARE(part<QLabel>(dialog, "usbLabel")->text(), QStringLiteral("<192.168.7.1>"));
    QCOMPARE(part<QLabel>(dialog, "wifiLabel")->text(), QStringLiteral("<192.168.8.1>"));
}

// clang-format off
void tst_SelectConnectionDialog::ipFileLoaded_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("field");

    QTest::newRow("absent file: empty field") << QByteArray() << "";
    QTest::newRow("empty file: empty field") << QByteArray("") << "";
    QTest::newRow("one line") << QByteArray("10.0.0.5\n") << "10.0.0.5";
    QTest::newRow("no final line feed") << QByteArray("10.0.0.5") << "10.0.0.5";
    QTest::newRow("only the first of several lines")
        << QByteArray("10.0.0.5\n10.0.0.6\n") << "10.0.0.5";
    QTest::newRow("carriage return and line feed dropped")
        << QByteArray("10.0.0.5\r\n10.0.0.6\r\n") << "10.0.0.5";
    QTest::newRow("spaces kept") << QByteArray(" 10.0.0.5  \n") << " 10.0.0.5  ";
}
// clang-format on

void tst_SelectConnectionDialog::ipFileLoaded()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, field);

    if (!content.isNull())
        writeIpFile(content);
    SelectConnectionDialog dialog(nullptr);
    QCOMPARE(part<QLineEdit>(dialog, "lanLineEdit")->text(), field);
    QVERIFY(part<QRadioButton>(dialog, "usbRadioButton")->isChecked());
    QCOMPARE(readIpFile(), content);
}

// clang-format off
void tst_SelectConnectionDialog::lanFieldFocusChecksLan_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("program call") << "program";
    QTest::newRow("mouse click") << "click";
    QTest::newRow("tab key from the LAN choice") << "tab";
}
// clang-format on

void tst_SelectConnectionDialog::lanFieldFocusChecksLan()
{
    QFETCH(QString, how);

    SelectConnectionDialog dialog(nullptr);
    auto *usb = part<QRadioButton>(dialog, "usbRadioButton");
    auto *lan = part<QRadioButton>(dialog, "lanRadioButton");
    auto *lanLineEdit = part<QLineEdit>(dialog, "lanLineEdit");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    if (how == QLatin1String("program")) {
        lanLineEdit->setFocus();
    } else if (how == QLatin1String("click")) {
        QTest::mouseClick(lanLineEdit, Qt::LeftButton);
    } else {
        lan->setFocus();
        QTRY_VERIFY(lan->hasFocus());
        QVERIFY(usb->isChecked());
        QTest::keyClick(lan, Qt::Key_Tab);
    }
    QTRY_VERIFY(lanLineEdit->hasFocus());
    QVERIFY(lan->isChecked());
    QVERIFY(!usb->isChecked());

    // The field reacts only when it gains the focus, so a later choice wins.
    QTest::mouseClick(usb, Qt::LeftButton);
    QVERIFY(usb->isChecked());
    QVERIFY(!lan->isChecked());
    dialog.accept();
    QCOMPARE(dialog.m_ipAddress, QStringLiteral("192.168.7.1"));
}

// clang-format off
void tst_SelectConnectionDialog::accept_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<qint64>("fileSizeLimit");

    const QString keepLoaded;
    QTest::newRow("first start, USB: file gets a bare line feed")
        << QByteArray() << "usbRadioButton" << keepLoaded << "192.168.7.1" << QByteArray("\n") << qint64(-1);
    QTest::newRow("WiFi still writes the loaded LAN address")
        << QByteArray("10.0.0.5\n") << "wifiRadioButton" << keepLoaded << "192.168.8.1"
        << QByteArray("10.0.0.5\n") << qint64(-1);
    QTest::newRow("USB still writes the typed LAN address")
        << QByteArray() << "usbRadioButton" << "10.0.0.9" << "192.168.7.1"
        << QByteArray("10.0.0.9\n") << qint64(-1);
    QTest::newRow("LAN takes the loaded address")
        << QByteArray("10.0.0.5\n") << "lanRadioButton" << keepLoaded << "10.0.0.5"
        << QByteArray("10.0.0.5\n") << qint64(-1);
    QTest::newRow("LAN keeps leading and trailing spaces")
        << QByteArray() << "lanRadioButton" << "  10.0.0.5 " << "  10.0.0.5 "
        << QByteArray("  10.0.0.5 \n") << qint64(-1);
    QTest::newRow("LAN with an empty field")
        << QByteArray("10.0.0.5\n") << "lanRadioButton" << "" << "" << QByteArray("\n") << qint64(-1);
    QTest::newRow("several lines shrink to the field's line")
        << QByteArray("10.0.0.5\r\nold\r\nolder\r\n") << "lanRadioButton" << keepLoaded
        << "10.0.0.5" << QByteArray("10.0.0.5\n") << qint64(-1);
    QTest::newRow("a write that fails keeps the old address whole")
        << QByteArray("10.0.0.5\n") << "lanRadioButton" << "10.20.30.40" << "10.20.30.40"
        << QByteArray("10.0.0.5\n") << qint64(4);
}
// clang-format on

void tst_SelectConnectionDialog::accept()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, choice);
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QFETCH(QByteArray, after);
    QFETCH(qint64, fileSizeLimit);

    if (!before.isNull())
        writeIpFile(before);
    SelectConnectionDialog dialog(nullptr);
    part<QRadioButton>(dialog, qPrintable(choice))->setChecked(true);
    if (!typed.isNull())
        part<QLineEdit>(dialog, "lanLineEdit")->setText(typed);

    rlimit unlimited{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (fileSizeLimit >= 0) {
        // A disk that is full after a few bytes.
        const rlimit limited{rlim_t(fileSizeLimit), unlimited.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    dialog.accept();
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    std::signal(SIGXFSZ, previousHandler);
    QCOMPARE(dialog.m_ipAddress, address);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(readIpFile(), after);
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("ip.txt")});
}

void tst_SelectConnectionDialog::okButtonEndsExec()
{
    // A folder in the file's place makes both reading and writing fail.
    QVERIFY(QDir().mkdir(QStringLiteral("ip.txt")));

    SelectConnectionDialog dialog(nullptr);
    QVERIFY(part<QLineEdit>(dialog, "lanLineEdit")->text().isEmpty());
    part<QRadioButton>(dialog, "wifiRadioButton")->setChecked(true);

    QTimer::singleShot(0, &dialog, [] {
        auto *modal = qobject_cast<SelectConnectionDialog *>(QApplication::activeModalWidget());
        QVERIFY(modal);
        auto *buttonBox = part<QDialogButtonBox>(*modal, "buttonBox");
        QTest::mouseClick(buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.m_ipAddress, QStringLiteral("192.168.8.1"));
    QVERIFY(QFileInfo(QStringLiteral("ip.txt")).isDir());
}

// clang-format off
void tst_SelectConnectionDialog::cancelEndsProgram_data()
{
    QTest::addColumn<QString>("way");

    QTest::newRow("Cancel button ends the program with status 1") << "button";
    QTest::newRow("close button ends the program with status 1") << "close";
}
// clang-format on

void tst_SelectConnectionDialog::cancelEndsProgram()
{
    QFETCH(QString, way);

    const QByteArray childDirectory = qgetenv("KESTRION_CANCEL_IN");
    if (!childDirectory.isEmpty()) {
        cancelInThisProcess(way, QFile::decodeName(childDirectory));
        return;
    }
    writeIpFile("10.0.0.5\n");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KESTRION_CANCEL_IN"), QDir::currentPath());
    // The child ends without tidying up: what it leaves goes with this test's folder.
    environment.insert(QStringLiteral("TMPDIR"), QDir::currentPath());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("cancelEndsProgram:") + QLatin1String(QTest::currentDataTag())});
    QVERIFY(child.waitForFinished(60000));

    const QByteArray output = child.readAllStandardOutput();
    QVERIFY2(output.contains("dialog shown\n"), output.constData());
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
    QCOMPARE(readIpFile(), QByteArray("10.0.0.5\n"));
}

QTEST_MAIN(tst_SelectConnectionDialog)
#include "tst_selectconnectiondialog.moc"
