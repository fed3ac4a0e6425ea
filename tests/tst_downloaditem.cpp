#include "web/downloaditem.h"

#include "demoinstrument/democontent.h"
#include "demoinstrument/demoinstrument.h"
#include "shared/filedialoganswerer.h"
#include "shared/logcapture.h"
#include "shared/modalanswerer.h"
#include "shared/testsandbox.h"
#include "widgets/busyoverlay.h"
#include "widgets/overlaybutton.h"
#include "widgets/waitingspinnerwidget.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(DemoResponse)

namespace {

int firstLineStartingWith(const QString &prefix)
{
    for (int i = 0; i < logLines.size(); ++i) {
        if (logLines.at(i).startsWith(prefix))
            return i;
    }
    return -1;
}

QByteArray fileDigest(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QByteArray patternDigest(qint64 size)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (qint64 offset = 0; offset < size; offset += 1 << 20)
        hash.addData(DemoInstrument::patternBytes(offset, qMin<qint64>(1 << 20, size - offset)));
    return hash.result().toHex();
}

DemoResponse offering(const QByteArray &fileName, qint64 generatedSize)
{
    DemoResponse response = DemoResponse::attachment(fileName, QByteArray());
    response.generatedSize = generatedSize;
    return response;
}

bool cursorRestored()
{
    return QGuiApplication::overrideCursor() == nullptr;
}

// As choose(), answering Yes when the dialog asks whether to replace an existing file.
FileDialogAnswerer::Action chooseReplacing(const QString &path)
{
    return [path](QFileDialog *dialog) {
        // The question runs its own event loop inside accept(), where the poller for the file
        // dialog cannot run again.
        new ModalAnswerer(ModalAnswerer::clickButton(QMessageBox::Yes), dialog);
        choose(path)(dialog);
    };
}

} // namespace

// One download from the reply to the closed file: chunks that arrive while a file dialog is
// open, the follow-up tools, faulty replies and planted destinations, and an item that goes
// away while it still holds the window and the cursor.
class tst_DownloadItem : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void heldSaveDialogLosesNoChunk();
    void replyFinishedWhileDialogOpen();
    void emptyBodyAsksNothing();
    void cancelledDialogEndsDownload_data();
    void cancelledDialogEndsDownload();
    void failedOpenEndsDownload_data();
    void failedOpenEndsDownload();
    void faultyReplySavedAsItCame_data();
    void faultyReplySavedAsItCame();
    void initCatchesUpWhatTheReplyHolds_data();
    void initCatchesUpWhatTheReplyHolds();
    void followUpAction_data();
    void followUpAction();
    void sameLogOnEveryQt_data();
    void sameLogOnEveryQt();
    void realArchiver_data();
    void realArchiver();
    void missingToolEndsWait_data();
    void missingToolEndsWait();
    void plantedDestination_data();
    void plantedDestination();
    void cutOffDownloadEnds_data();
    void cutOffDownloadEnds();
    void sameNameDownloadsKeepTheirBodies_data();
    void sameNameDownloadsKeepTheirBodies();
    void destroyedWhileBusy_data();
    void destroyedWhileBusy();
    void otherDownloadKeepsWindowDisabled_data();
    void otherDownloadKeepsWindowDisabled();
    void indicatorDestroyedOnce_data();
    void indicatorDestroyedOnce();
    void eachCancelEndsItsOwnDownload_data();
    void eachCancelEndsItsOwnDownload();

private:
    DownloadItem *startDownload(const QString &path);
    void destroy(DownloadItem *item);
    QString expand(QString text) const;
    QString home() const { return m_sandbox->home(); }
    QString temp() const { return m_sandbox->temp(); }
    QString unpack() const { return m_sandbox->unpack(); }
    QStringList toolArguments(const QString &tool) const { return m_sandbox->toolArguments(tool); }
    QList<WaitingSpinnerWidget *> indicators() const;

    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<DemoInstrument> m_instrument;
    std::unique_ptr<QWidget> m_window;
    std::vector<std::unique_ptr<DownloadItem>> m_items;
    QPointer<QNetworkReply> m_reply;
    FileDialogAnswerer m_dialogs;
};

void tst_DownloadItem::initTestCase()
{
    startLogCapture();
    // Nothing may leave the loopback interface, whatever the environment's proxy settings.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_DownloadItem::cleanupTestCase()
{
    stopLogCapture();
}

void tst_DownloadItem::init()
{
    logLines.clear();

    // Every test gets a home and a temporary directory of its own, whoever runs it.
    m_sandbox = std::make_unique<TestSandbox>();
    QVERIFY(m_sandbox->isReady());
    QVERIFY(QDir().mkdir(m_sandbox->filePath(QStringLiteral("empty"))));

    m_instrument = std::make_unique<DemoInstrument>();
    QVERIFY(m_instrument->listen());
    m_manager = std::make_unique<QNetworkAccessManager>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(640, 480);
    m_dialogs.start();
}

void tst_DownloadItem::cleanup()
{
    showLogTailIfFailed();
    m_dialogs.stop();
    m_items.clear();
    m_window.reset();
    m_instrument.reset();
    m_manager.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    m_sandbox.reset();
    expectNoConnectWarnings();
}

DownloadItem *tst_DownloadItem::startDownload(const QString &path)
{
    QUrl url = m_instrument->baseUrl();
    url.setPath(path);
    m_reply = m_manager->get(QNetworkRequest(url));
    m_items.push_back(std::make_unique<DownloadItem>(m_reply, m_window.get()));
    return m_items.back().get();
}

void tst_DownloadItem::destroy(DownloadItem *item)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (it->get() == item) {
            m_items.erase(it);
            return;
        }
    }
    QFAIL("no such item");
}

QString tst_DownloadItem::expand(QString text) const
{
    return text.replace(QLatin1String("%H"), home())
        .replace(QLatin1String("%J"), QFileInfo(loggedDestination()).path())
        .replace(QLatin1String("%T"), temp())
        .replace(QLatin1String("%D"), unpack())
        .replace(QLatin1String("%U"), m_instrument->baseUrl().toString());
}

QList<WaitingSpinnerWidget *> tst_DownloadItem::indicators() const
{
    return m_window->findChildren<WaitingSpinnerWidget *>();
}

void tst_DownloadItem::heldSaveDialogLosesNoChunk()
{
    const qint64 size = 4 << 20;
    DemoResponse response = offering("data.bin", size);
    response.chunkSize = 16 * 1024;
    response.chunkDelayMs = 1;
    m_instrument->setResponse(QStringLiteral("/downloads/data.bin"), response);
    const QString destination = home() + QStringLiteral("/chosen.bin");
    QSignalSpy sent(m_instrument.get(), &DemoInstrument::responseFinished);
    // While the dialog is open the whole body arrives, and goes to disk instead of memory.
    qint64 mostHeld = 0;
    m_dialogs.answer(choose(destination), [this, size, &sent, &mostHeld] {
        mostHeld = qMax(mostHeld, m_reply->bytesAvailable());
        return linesStartingWith("DownloadItem::downloadReadyRead in progress") >= 3
               && sent.count() == 1 && bytesUnder(temp()) == size;
    });

    startDownload(QStringLiteral("/downloads/data.bin"));
    QVERIFY(!m_window->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, 120000);

    QCOMPARE(m_dialogs.titles(), QStringList{QStringLiteral("Save File")});
    QCOMPARE(m_dialogs.directory(), home());
    QCOMPARE(m_dialogs.proposal(), home() + QStringLiteral("/data.bin"));
    QVERIFY(logLines.contains(QStringLiteral("DownloadItem::getFileName defaultFileName= \"%1\"")
                                  .arg(home() + QStringLiteral("/data.bin"))));
    QVERIFY(firstLineStartingWith("DownloadItem::downloadReadyRead in progress")
            < firstLineStartingWith("DownloadItem::getFileName selectedFileName="));
    QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead got filename="), 1);
    QCOMPARE(QFileInfo(destination).size(), size);
    QCOMPARE(fileDigest(destination), patternDigest(size));
    QCOMPARE(entries(home()), QStringList{QStringLiteral("chosen.bin")});
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY2(mostHeld <= 1 << 20, qPrintable(QString::number(mostHeld)));
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

void tst_DownloadItem::replyFinishedWhileDialogOpen()
{
    const qint64 size = 300001;
    m_instrument->setResponse(QStringLiteral("/downloads/data.bin"), offering("data.bin", size));
    const QString destination = home() + QStringLiteral("/data.bin");
    m_dialogs.answer(choose(destination), [] {
        return logLines.contains(QStringLiteral("DownloadItem::downloadFinished"));
    });

    startDownload(QStringLiteral("/downloads/data.bin"));
    QTRY_COMPARE(finishesHandled(), 1);

    // The finish waited for the handler that held the dialog, and that handler ran it after
    // writing everything the reply had buffered meanwhile.
    const int finished = logLines.indexOf(QStringLiteral("DownloadItem::downloadFinished"));
    const int selected = firstLineStartingWith("DownloadItem::getFileName selectedFileName=");
    const int handled = logLines.indexOf(QStringLiteral("DownloadItem::handleFinished"));
    QVERIFY(finished >= 0);
    QVERIFY(finished < selected);
    QVERIFY(selected < handled);
    QCOMPARE(fileDigest(destination), patternDigest(size));
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
    QVERIFY(m_reply.isNull() || m_reply->isFinished());
}

void tst_DownloadItem::emptyBodyAsksNothing()
{
    m_instrument->setResponse(QStringLiteral("/downloads/report.csv"),
                              DemoResponse::attachment("report.csv", QByteArray()));

    startDownload(QStringLiteral("/downloads/report.csv"));
    QTRY_COMPARE(finishesHandled(), 1);

    QVERIFY(m_dialogs.titles().isEmpty());
    QCOMPARE(linesStartingWith("DownloadItem::getFileName"), 0);
    QVERIFY(entries(home()).isEmpty());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("7za")).isEmpty());
    QCOMPARE(indicators().size(), 1);
    QVERIFY(!indicators().first()->isSpinning());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::cancelledDialogEndsDownload_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("stillReceiving");

    QTest::newRow("cancelled save dialog writes nothing")
        << QByteArray("report.csv") << "Save File" << true;
    QTest::newRow("cancelled save dialog after the whole body arrived writes nothing")
        << QByteArray("report.csv") << "Save File" << false;
    QTest::newRow("cancelled directory dialog neither stores nor unpacks")
        << QByteArray("results.zip") << "Select Directory" << true;
    QTest::newRow("cancelled directory dialog after the whole body arrived unpacks nothing")
        << QByteArray("results.zip") << "Select Directory" << false;
}
// clang-format on

void tst_DownloadItem::cancelledDialogEndsDownload()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, title);
    QFETCH(bool, stillReceiving);

    DemoResponse response = offering(name, 100000);
    response.stallAfterBytes = stillReceiving ? 50000 : -1;
    m_instrument->setResponse(QStringLiteral("/downloads/") + name, response);
    QSignalSpy sent(m_instrument.get(), &DemoInstrument::responseFinished);
    m_dialogs.answer([](QFileDialog *dialog) { dialog->reject(); },
                     [this, &sent, stillReceiving] {
                         return stillReceiving ? sent.count() == 1 : m_reply->isFinished();
                     });

    startDownload(QStringLiteral("/downloads/") + name);
    QTRY_VERIFY(logLines.contains(QStringLiteral("DownloadItem::downloadReadyRead empty file")));

    QCOMPARE(m_dialogs.titles(), QStringList{title});
    // Closing ends a running reply at once. Ended and no longer handled, it is let go of
    // instead of staying with the manager for good.
    QCOMPARE(linesStartingWith("DownloadItem::error \"Operation canceled\""),
             stillReceiving ? 1 : 0);
    QTRY_VERIFY(m_reply.isNull());
    QCOMPARE(linesStartingWith("DownloadItem::getFileName downloadFileName="), 0);
    QCOMPARE(linesStartingWith("DownloadItem::getFileName selectedFileName="), 0);
    QCOMPARE(linesStartingWith("DownloadItem::getFileName m_unzipLocation="), 0);
    QCOMPARE(finishesHandled(), 0);
    QVERIFY(entries(home()).isEmpty());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(entries(unpack()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("7za")).isEmpty());
    QVERIFY(!indicators().first()->isSpinning());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::failedOpenEndsDownload_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("destination");

    QTest::newRow("chosen folder that does not exist")
        << "/downloads/data.bin" << "%H/missing/data.bin";
    QTest::newRow("print job whose temporary folder is missing")
        << "/downloads/print.pdf" << "%T/missing";
}
// clang-format on

void tst_DownloadItem::failedOpenEndsDownload()
{
    QFETCH(QString, path);
    QFETCH(QString, destination);
    destination = expand(destination);

    // Far more than the reply may hold: unless the transfer ends, the body piles up in memory.
    const qint64 size = 256 << 20;
    m_instrument->setResponse(path, offering(QFileInfo(path).fileName().toUtf8(), size));
    QSignalSpy sent(m_instrument.get(), &DemoInstrument::responseFinished);
    const bool printJob = path.endsWith(QLatin1String("print.pdf"));
    if (printJob)
        qputenv("TMPDIR", QFile::encodeName(destination));
    else
        m_dialogs.answer(choose(destination));

    startDownload(path);
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, 60000);

    // The dialog's file ends the transfer long before the body is through; the print job
    // ends at its first chunk, before any name was given.
    if (!printJob)
        QCOMPARE(sent.count(), 0);
    QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead error="), 1);
    QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead got filename="), printJob ? 0 : 1);
    // One notice says so, once, with the reason.
    QCOMPARE(linesStartingWith("DownloadItem::handleFinished notice="), 1);
    QCOMPARE(
        linesStartingWith(QStringLiteral("DownloadItem::handleFinished notice= \"%1 could not be "
                                         "saved to %2: ")
                              .arg(QFileInfo(path).fileName(), destination)),
        1);
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    QVERIFY(entries(home()).isEmpty());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::faultyReplySavedAsItCame_data()
{
    QTest::addColumn<DemoResponse>("response");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("proposal");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<qint64>("fileSizeLimit");

    QTest::newRow("HTTP error body saved like a success")
        << DemoResponse::plainText(404, "Not Found", "no such report\n")
        << QByteArray("no such report\n") << "%H/unnamed_download." << "%H/saved.bin" << qint64(-1);

    DemoResponse cut = offering("data.bin", 1 << 20);
    cut.chunkSize = 4093;
    cut.chunkDelayMs = 1;
    cut.cutAfterBytes = 300001;
    QTest::newRow("connection cut mid-body leaves nothing under the chosen name")
        << cut << QByteArray() << "%H/data.bin" << "%H/saved.bin" << qint64(-1);

    DemoResponse cutAtOnce = offering("data.bin", 100000);
    cutAtOnce.cutAfterBytes = 0;
    QTest::newRow("connection cut before the body writes nothing")
        << cutAtOnce << QByteArray() << QString() << QString() << qint64(-1);

    DemoResponse paced = offering("print.pdf", 1 << 20);
    paced.chunkDelayMs = 1;
    QTest::newRow("a write failure ends the download: no tool, even with room again")
        << paced << QByteArray() << QString() << QString() << qint64(100000);

    DemoResponse sentOn = DemoResponse::plainText(302, "Found", "see elsewhere\n");
    QTest::newRow("an answer that sends it elsewhere is never saved")
        << sentOn << QByteArray() << QString() << "%H/saved.bin" << qint64(-1);
}
// clang-format on

void tst_DownloadItem::faultyReplySavedAsItCame()
{
    QFETCH(DemoResponse, response);
    QFETCH(QByteArray, expected);
    QFETCH(QString, proposal);
    QFETCH(QString, stored);
    QFETCH(qint64, fileSizeLimit);

    m_instrument->setResponse(QStringLiteral("/downloads/faulty"), response);
    m_dialogs.answer(choose(home() + QStringLiteral("/saved.bin")));

    rlimit unlimited{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    const auto restore = qScopeGuard([&] {
        ::setrlimit(RLIMIT_FSIZE, &unlimited);
        std::signal(SIGXFSZ, previousHandler);
    });
    if (fileSizeLimit >= 0) {
        // Ignored, the signal leaves the write to fail with EFBIG instead of ending the test.
        const rlimit limited{rlim_t(fileSizeLimit), unlimited.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    }

    startDownload(QStringLiteral("/downloads/faulty"));
    if (fileSizeLimit >= 0) {
        // The disk has room again at once: what failed stays lost, and nothing comes after it.
        QTRY_VERIFY(linesStartingWith("DownloadItem::downloadReadyRead error=") > 0);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, 60000);

    if (response.statusCode == 302) {
        // Qt 5 hands the answer on and the item turns it down; Qt 6 ends it as an error itself.
        QVERIFY(linesStartingWith("DownloadItem::downloadReadyRead not followed status= 302")
                    + linesStartingWith("DownloadItem::error")
                >= 1);
    } else if (fileSizeLimit < 0) {
        QVERIFY(linesStartingWith("DownloadItem::error") >= 1);
    } else {
        QCOMPARE(logLines.count(expand(QStringLiteral("DownloadItem::downloadReadyRead error= "
                                                      "\"File too large\" "
                                                      "QUrl(\"%U/downloads/faulty\")"))),
                 1);
        QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead error="), 1);
    }
    if (!proposal.isEmpty()) {
        QCOMPARE(m_dialogs.titles(), QStringList{QStringLiteral("Save File")});
        QCOMPARE(m_dialogs.proposal(), expand(proposal));
    } else {
        QVERIFY(m_dialogs.titles().isEmpty());
        QVERIFY(entries(home()).isEmpty());
    }
    if (!stored.isEmpty()) {
        QCOMPARE(QFileInfo::exists(expand(stored)), !expected.isEmpty());
        QCOMPARE(readFile(expand(stored)), expected);
    }
    // No part of the body is left anywhere else either.
    QVERIFY(entries(temp()).isEmpty());
    QCOMPARE(entries(home()).size(), expected.isEmpty() ? 0 : 1);
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::initCatchesUpWhatTheReplyHolds_data()
{
    QTest::addColumn<DemoResponse>("response");
    QTest::addColumn<int>("errors");

    QTest::newRow("body of a reply that has already finished")
        << DemoResponse::attachment("report.csv", DemoContent::reportCsv()) << 0;
    QTest::newRow("error and body of a reply that has already finished")
        << DemoResponse::plainText(404, "Not Found", "no such report\n") << 1;
}
// clang-format on

void tst_DownloadItem::initCatchesUpWhatTheReplyHolds()
{
    QFETCH(DemoResponse, response);
    QFETCH(int, errors);

    m_instrument->setResponse(QStringLiteral("/downloads/early"), response);
    const QString destination = home() + QStringLiteral("/saved.bin");
    m_dialogs.answer(choose(destination));
    QUrl url = m_instrument->baseUrl();
    url.setPath(QStringLiteral("/downloads/early"));
    m_reply = m_manager->get(QNetworkRequest(url));
    QTRY_VERIFY(m_reply->isFinished());

    m_items.push_back(std::make_unique<DownloadItem>(m_reply, m_window.get()));

    // The item never heard the reply's signals: all it saw, it caught up in its constructor.
    QCOMPARE(linesStartingWith("DownloadItem::error"), errors);
    const int caughtUp
        = logLines.indexOf(QStringLiteral("DownloadItem::init directory canReadLine()"));
    QVERIFY(caughtUp >= 0);
    QVERIFY(firstLineStartingWith("DownloadItem::error") < caughtUp);
    QCOMPARE(logLines.value(caughtUp + 1), QStringLiteral("DownloadItem::downloadReadyRead"));
    QCOMPARE(m_dialogs.titles(), QStringList{QStringLiteral("Save File")});
    QCOMPARE(readFile(destination), response.body);
}

// clang-format off
void tst_DownloadItem::followUpAction_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("staleFile");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("toolLine");

    QTest::newRow("print job goes to the PDF tool without asking, from a folder of its own")
        << "/downloads/print.pdf" << DemoContent::printPdf() << QByteArray() << QString()
        << "pdftocairo" << QStringList{"-printdlg", "%J/print.pdf"} << "%J/print.pdf"
        << "DownloadItem::handleFinished printing  \"%J/print.pdf\"";
    QTest::newRow("an older print job in the temporary folder is neither printed nor touched")
        << "/downloads/print.pdf" << DemoContent::printPdf() << QByteArray(100000, 'x')
        << QString() << "pdftocairo" << QStringList{"-printdlg", "%J/print.pdf"}
        << "%J/print.pdf" << "DownloadItem::handleFinished printing  \"%J/print.pdf\"";
    QTest::newRow("archive is unpacked into the chosen folder")
        << "/downloads/results.zip" << DemoContent::resultsZip() << QByteArray()
        << "Select Directory" << "7za" << QStringList{"e", "%J/results.zip", "-o%D", "-aou"}
        << "%J/results.zip"
        << "DownloadItem::handleFinished stringList= (\"e\", \"%J/results.zip\", \"-o%D\", "
           "\"-aou\")";
    QTest::newRow("archive keeps its plain name, an older one beside it left alone")
        << "/downloads/results.zip" << DemoContent::resultsZip() << QByteArray(100000, 'x')
        << "Select Directory" << "7za" << QStringList{"e", "%J/results.zip", "-o%D", "-aou"}
        << "%J/results.zip"
        << "DownloadItem::handleFinished unzipping  \"%J/results.zip\"  to  \"%D\"";
    QTest::newRow("ordinary file starts no tool")
        << "/downloads/report.csv" << DemoContent::reportCsv() << QByteArray() << "Save File"
        << QString() << QStringList() << "%H/report.csv" << QString();
}
// clang-format on

void tst_DownloadItem::followUpAction()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, staleFile);
    QFETCH(QString, title);
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, stored);
    QFETCH(QString, toolLine);
    const QString stale = temp() + QLatin1Char('/') + QFileInfo(path).fileName();
    if (!staleFile.isNull())
        QVERIFY(writeFile(stale, staleFile));
    if (title == QLatin1String("Select Directory"))
        m_dialogs.answer(choose(unpack()));
    else if (!title.isEmpty())
        m_dialogs.answer(choose(expand(stored)));

    startDownload(path);
    QTRY_COMPARE(finishesHandled(), 1);
    stored = expand(stored);
    for (QString &argument : arguments)
        argument = expand(argument);

    QCOMPARE(m_dialogs.titles(), title.isEmpty() ? QStringList() : QStringList{title});
    if (title == QLatin1String("Select Directory")) {
        QCOMPARE(m_dialogs.directory(), home());
        QVERIFY(m_dialogs.dirsOnly());
    }
    for (const QString &candidate : {QStringLiteral("pdftocairo"), QStringLiteral("7za")}) {
        QCOMPARE(toolArguments(candidate), candidate == tool ? arguments : QStringList());
        // The tool was handed the complete, closed file, readable by its owner only, in a
        // folder of the download's own in the temporary folder, and ran where no prompt of its
        // could wait for a terminal.
        if (candidate == tool) {
            QCOMPARE(m_sandbox->toolInput(candidate), body);
            QCOMPARE(m_sandbox->toolInputMode(candidate), QStringLiteral("600"));
            QCOMPARE(QFileInfo(QFileInfo(stored).path()).path(), temp());
            QVERIFY(m_sandbox->toolLedItsSession(candidate));
        }
    }
    if (!toolLine.isEmpty())
        QVERIFY2(logLines.contains(expand(toolLine)), qPrintable(logLines.join('\n')));
    if (tool.isEmpty()) {
        QCOMPARE(readFile(stored), body);
    } else {
        // The folder goes once the tool has ended; whatever else lies beside it stays.
        QVERIFY(!QFileInfo::exists(QFileInfo(stored).path()));
        QCOMPARE(entries(temp()),
                 staleFile.isNull() ? QStringList() : QStringList{QFileInfo(stale).fileName()});
        if (!staleFile.isNull())
            QCOMPARE(readFile(stale), staleFile);
    }
    QVERIFY(entries(unpack()).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// Every line of one download, in order, so that a Qt version that writes one of them otherwise
// (a list, a signal that no longer fires) or not at all is caught. The dialog is answered once
// the reply has finished, which fixes the order of the lines.
// clang-format off
void tst_DownloadItem::sameLogOnEveryQt_data()
{
    QTest::addColumn<DemoResponse>("response");
    QTest::addColumn<QString>("log");

    QTest::newRow("archive unpacked, its argument list in parentheses")
        << DemoResponse::attachment("results.zip", DemoContent::resultsZip())
        << "DownloadItem::downloadReadyRead\n"
           "DownloadItem::providedFileName contentDisposition header= "
           "\"attachment; filename=\\\"results.zip\\\"\"\n"
           "DownloadItem::providedFileName path= \"results.zip\"\n"
           "DownloadItem::providedFileName baseName= \"results\"\n"
           "DownloadItem::providedFileName endName= \"zip\"\n"
           "DownloadItem::getFileName defaultFileName= \"%J/results.zip\"\n"
           "DownloadItem::downloadFinished\n"
           "DownloadItem::getFileName m_unzipLocation= \"%D\"\n"
           "DownloadItem::getFileName downloadFileName= \"%J/results.zip\"\n"
           "DownloadItem::downloadReadyRead got filename= \"%J/results.zip\"\n"
           "DownloadItem::handleFinished\n"
           "DownloadItem::handleFinished unzipping  \"%J/results.zip\"  to  \"%D\"\n"
           "DownloadItem::handleFinished stringList= "
           "(\"e\", \"%J/results.zip\", \"-o%D\", \"-aou\")\n"
           "DownloadItem::handleFinished notice= \"Unpacked results.zip: 0 files in %D\"";
    QTest::newRow("error answer saved, the reply's error logged")
        << DemoResponse::plainText(404, "Not Found", "no such report\n")
        << "DownloadItem::downloadReadyRead\n"
           "DownloadItem::providedFileName contentDisposition header= \"\"\n"
           "DownloadItem::providedFileName path= \"\"\n"
           "DownloadItem::providedFileName baseName= \"\"\n"
           "DownloadItem::providedFileName endName= \"\"\n"
           "DownloadItem::providedFileName downloading unknown file: \"\"\n"
           "DownloadItem::getFileName defaultFileName= \"%H/unnamed_download.\"\n"
           "DownloadItem::error \"Error transferring %U/downloads/logged - server replied: "
           "Not Found\" QUrl(\"%U/downloads/logged\")\n"
           "DownloadItem::downloadFinished\n"
           "DownloadItem::getFileName selectedFileName= \"%H/saved.txt\"\n"
           "DownloadItem::getFileName downloadFileName= \"%H/saved.txt\"\n"
           "DownloadItem::downloadReadyRead got filename= \"%H/saved.txt\"\n"
           "DownloadItem::handleFinished\n"
           "DownloadItem::handleFinished notice= \"unnamed_download: the instrument answered "
           "with error 404 (Not Found); its answer was saved instead of the file\"";
}
// clang-format on

void tst_DownloadItem::sameLogOnEveryQt()
{
    QFETCH(DemoResponse, response);
    QFETCH(QString, log);

    m_instrument->setResponse(QStringLiteral("/downloads/logged"), response);
    const bool archive = response.body == DemoContent::resultsZip();
    m_dialogs.answer(choose(archive ? unpack() : home() + QStringLiteral("/saved.txt")),
                     [] { return logged(QStringLiteral("DownloadItem::downloadFinished")); });

    startDownload(QStringLiteral("/downloads/logged"));
    QTRY_COMPARE(finishesHandled(), 1);

    QCOMPARE(logLines, expand(log).split(QLatin1Char('\n')));
}

// clang-format off
void tst_DownloadItem::realArchiver_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("offered");
    QTest::addColumn<QString>("stored");

    QTest::newRow("file of the same name is kept, the extracted one renamed")
        << QString() << QByteArray("results.zip") << "results.zip";
    QTest::newRow("password prompt reads the end of input: nothing extracted, window usable")
        << "SECRET" << QByteArray("results.zip") << "results.zip";
    QTest::newRow("a wildcard in the offered name unpacks no other archive")
        << QString() << QByteArray("*.zip") << "_.zip";
}
// clang-format on

void tst_DownloadItem::realArchiver()
{
    QFETCH(QString, password);
    QFETCH(QByteArray, offered);
    QFETCH(QString, stored);

    if (QStandardPaths::findExecutable(QStringLiteral("7za")).isEmpty())
        QSKIP("7za is not installed");
    qputenv("PATH", m_sandbox->originalPath());
    const QString kept = unpack() + QStringLiteral("/summary.txt");
    QVERIFY(writeFile(kept, "older summary\n"));
    QByteArray archive = DemoContent::resultsZip();
    const QString secret = m_sandbox->filePath(QStringLiteral("secret.txt"));
    QVERIFY(writeFile(secret, "secret measurements\n"));
    // Someone else's archive beside ours, or the encrypted one that is offered.
    const QString packed = password.isEmpty() ? temp() + QStringLiteral("/secret.zip")
                                              : m_sandbox->filePath(QStringLiteral("enc.zip"));
    QStringList packing{QStringLiteral("a"), packed, secret};
    if (!password.isEmpty())
        packing.insert(1, QStringLiteral("-p") + password);
    QProcess packer;
    packer.start(QStringLiteral("7za"), packing);
    QVERIFY(packer.waitForFinished(60000));
    QCOMPARE(packer.exitCode(), 0);
    if (!password.isEmpty())
        archive = readFile(packed);
    m_instrument->setResponse(QStringLiteral("/downloads/results.zip"),
                              DemoResponse::attachment(offered, archive));
    m_dialogs.answer(choose(unpack()));

    startDownload(QStringLiteral("/downloads/results.zip"));
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, 60000);

    QCOMPARE(readFile(kept), QByteArray("older summary\n"));
    // Stored under its plain name in a folder of its own, which went once it was unpacked.
    QCOMPARE(QFileInfo(loggedDestination()).fileName(), stored);
    QVERIFY(!QFileInfo::exists(QFileInfo(loggedDestination()).path()));
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
    const QStringList names = entries(unpack());
    if (!password.isEmpty()) {
        // The archiver may leave an empty file where it gave up, but nothing of the content.
        for (const QString &name : names) {
            if (name != QLatin1String("summary.txt"))
                QCOMPARE(QFileInfo(unpack() + QLatin1Char('/') + name).size(), 0);
        }
        return;
    }
    QCOMPARE(names.size(), 3);
    QCOMPARE(readFile(unpack() + QStringLiteral("/measurements.txt")),
             QByteArray("S-0001 5.12\nS-0002 4.87\nS-0003 6.03\nS-0004 5.46\n"));
    const QRegularExpression renamedSummary(QStringLiteral("^summary.+\\.txt$"));
    const QStringList renamed = names.filter(renamedSummary);
    QCOMPARE(renamed.size(), 1);
    QCOMPARE(readFile(unpack() + QLatin1Char('/') + renamed.first()),
             QByteArray("Run 42: 4 samples measured, 0 errors.\n"));
}

// clang-format off
void tst_DownloadItem::missingToolEndsWait_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("program");

    QTest::newRow("missing PDF tool") << "/downloads/print.pdf" << "pdftocairo";
    QTest::newRow("missing archiver") << "/downloads/results.zip" << "7za";
}
// clang-format on

void tst_DownloadItem::missingToolEndsWait()
{
    QFETCH(QString, path);
    QFETCH(QString, program);

    qputenv("PATH", QFile::encodeName(m_sandbox->filePath(QStringLiteral("empty"))));
    if (path.endsWith(QLatin1String(".zip")))
        m_dialogs.answer(choose(unpack()));

    startDownload(path);
    const QString cannotRun
        = QStringLiteral("DownloadItem::handleFinished cannot run \"%1\"").arg(program);
    QTRY_COMPARE(linesStartingWith(cannotRun), 1);

    QVERIFY(!indicators().first()->isSpinning());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// Whatever anyone plants under a print job's or an archive's name in the temporary folder is
// neither written, nor followed, nor handed to a tool: the download has a folder of its own.
// clang-format off
void tst_DownloadItem::plantedDestination_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("plant");

    QTest::newRow("link to another file is not followed") << "print.pdf" << "link";
    QTest::newRow("link under the archive name is neither followed nor unpacked")
        << "results.zip" << "link";
    QTest::newRow("dangling link creates nothing") << "print.pdf" << "dangling link";
    QTest::newRow("FIFO is not waited for") << "print.pdf" << "fifo";
    QTest::newRow("FIFO under the archive name holds up no archiver") << "results.zip" << "fifo";
    QTest::newRow("FIFO someone reads from gets nothing") << "print.pdf" << "fifo with reader";
    QTest::newRow("directory is no obstacle") << "print.pdf" << "directory";
    QTest::newRow("second link to another file is not written") << "print.pdf" << "hard link";
    QTest::newRow("another user's file is left alone") << "print.pdf" << "foreign";
    QTest::newRow("another user's file under a long print job is left alone")
        << "print.pdf" << "foreign, long job";
    QTest::newRow("another user's file under the archive name is neither written nor unpacked")
        << "results.zip" << "foreign";
    QTest::newRow("older regular file is left alone") << "print.pdf" << "regular";
    QTest::newRow("link the user chose to replace means its target") << "report.csv" << "link";
}
// clang-format on

void tst_DownloadItem::plantedDestination()
{
    QFETCH(QString, name);
    QFETCH(QString, plant);

    const bool archive = name.endsWith(QLatin1String(".zip"));
    const bool printJob = name == QLatin1String("print.pdf");
    const QString destination = (archive || printJob ? temp() : home()) + QLatin1Char('/') + name;
    const QString tool = archive    ? QStringLiteral("7za")
                         : printJob ? QStringLiteral("pdftocairo")
                                    : QString();
    const QByteArray body = archive    ? DemoContent::resultsZip()
                            : printJob ? DemoContent::printPdf()
                                       : DemoContent::reportCsv();
    const QString victim = m_sandbox->filePath(QStringLiteral("victim"));
    const QByteArray precious("precious\n");
    QVERIFY(writeFile(victim, precious));
    QByteArray planted = precious;
    if (plant == QLatin1String("link")) {
        QVERIFY(QFile::link(victim, destination));
    } else if (plant == QLatin1String("hard link")) {
        QCOMPARE(::link(QFile::encodeName(victim).constData(),
                        QFile::encodeName(destination).constData()),
                 0);
    } else if (plant == QLatin1String("dangling link")) {
        QVERIFY(QFile::link(m_sandbox->filePath(QStringLiteral("created")), destination));
    } else if (plant.startsWith(QLatin1String("fifo"))) {
        QCOMPARE(::mkfifo(QFile::encodeName(destination).constData(), 0600), 0);
    } else if (plant == QLatin1String("directory")) {
        QVERIFY(QDir().mkdir(destination));
    } else if (plant.startsWith(QLatin1String("foreign"))) {
        QVERIFY(writeFile(destination, precious));
        // The user nobody, as another account that shares the temporary folder.
        if (::chown(QFile::encodeName(destination).constData(), 65534, 65534) != 0)
            QSKIP("planting another user's file needs root");
    } else {
        planted = QByteArray(100000, 'x');
        QVERIFY(writeFile(destination, planted));
    }
    QFile reader;
    if (plant == QLatin1String("fifo with reader")) {
        const int fd = ::open(QFile::encodeName(destination).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fd != -1);
        QVERIFY(reader.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered,
                            QFileDevice::AutoCloseHandle));
    }
    if (plant.endsWith(QLatin1String("long job"))) {
        m_instrument->setResponse(QStringLiteral("/downloads/print.pdf"),
                                  offering("print.pdf", 4 << 20));
    }
    m_dialogs.answer(archive ? choose(unpack()) : chooseReplacing(destination));

    startDownload(QStringLiteral("/downloads/") + name);
    QTRY_COMPARE(finishesHandled(), 1);

    QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead error="), 0);
    QCOMPARE(linesStartingWith("DownloadItem::handleFinished nothing written"), 0);
    if (tool.isEmpty()) {
        // The link stays, and its target holds the new file.
        QVERIFY(QFileInfo(destination).isSymLink());
        QCOMPARE(readFile(victim), body);
        QCOMPARE(entries(m_sandbox->filePath(QString())).filter(QStringLiteral(".part")),
                 QStringList());
    } else {
        if (!plant.endsWith(QLatin1String("long job")))
            QCOMPARE(m_sandbox->toolInput(tool), body);
        QCOMPARE(readFile(victim), precious);
        if (QFileInfo(destination).isFile() && !plant.contains(QLatin1String("link")))
            QCOMPARE(readFile(destination), planted);
        QCOMPARE(entries(temp()), QStringList{name});
    }
    QVERIFY(!QFileInfo::exists(m_sandbox->filePath(QStringLiteral("created"))));
    if (reader.isOpen()) {
        char byte = 0;
        QVERIFY(::read(reader.handle(), &byte, 1) <= 0);
    }
    if (!archive)
        QVERIFY(entries(unpack()).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// A saved file replaces the chosen one only when it is whole: however else the download ends,
// an earlier file keeps its bytes, a new name gets nothing, and no part file is left.
// clang-format off
void tst_DownloadItem::cutOffDownloadEnds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("earlier");
    QTest::addColumn<QString>("notice");

    QTest::newRow("cut: the earlier file is unchanged")
        << "/downloads/report.csv" << "cut" << true
        << "report.csv is incomplete: only 50.0 kB of 1.0 MB arrived (Connection closed); the "
           "earlier report.csv is unchanged";
    QTest::newRow("stalled: the earlier file is unchanged")
        << "/downloads/report.csv" << "stall" << true
        << "report.csv is incomplete: only 50.0 kB of 1.0 MB arrived (the instrument stopped "
           "sending); the earlier report.csv is unchanged";
    QTest::newRow("cancelled: the earlier file is unchanged")
        << "/downloads/report.csv" << "cancel" << true
        << "The download of report.csv was cancelled; the earlier report.csv is unchanged";
    QTest::newRow("complete: the new file replaces the earlier one, with its permissions")
        << "/downloads/report.csv" << "complete" << true
        << "Saved report.csv to %H/report.csv";
    QTest::newRow("cancelled: nothing is left under a new name")
        << "/downloads/report.csv" << "cancel" << false
        << "The download of report.csv was cancelled; nothing was saved";
    QTest::newRow("cut: nothing is left under a new name, the notice says what came")
        << "/downloads/report.csv" << "cut" << false
        << "report.csv is incomplete: only 50.0 kB of 1.0 MB arrived (Connection closed); "
           "nothing was saved";
    QTest::newRow("a stalled print job ends as incomplete and is not printed")
        << "/downloads/print.pdf" << "stall" << false
        << "print.pdf is incomplete: only 50.0 kB of 1.0 MB arrived (the instrument stopped "
           "sending)";
}
// clang-format on

void tst_DownloadItem::cutOffDownloadEnds()
{
    QFETCH(QString, path);
    QFETCH(QString, how);
    QFETCH(bool, earlier);
    QFETCH(QString, notice);

    DemoResponse response = offering(QFileInfo(path).fileName().toUtf8(), 1 << 20);
    if (how == QLatin1String("cut"))
        response.cutAfterBytes = 50000;
    else if (how != QLatin1String("complete"))
        response.stallAfterBytes = 50000;
    m_instrument->setResponse(path, response);
    QSignalSpy sent(m_instrument.get(), &DemoInstrument::responseFinished);
    const bool printJob = path.endsWith(QLatin1String("print.pdf"));
    const QString destination = home() + QStringLiteral("/report.csv");
    const QByteArray older("older report\n");
    if (earlier) {
        QVERIFY(writeFile(destination, older));
        QVERIFY(QFile::setPermissions(destination,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        m_dialogs.answer(chooseReplacing(destination));
    } else if (!printJob) {
        m_dialogs.answer(choose(destination));
    }
    qputenv("KESTRION_STALL_TIMEOUT_SECONDS", how == QLatin1String("stall") ? "1" : "3600");
    const auto unset = qScopeGuard([] { qunsetenv("KESTRION_STALL_TIMEOUT_SECONDS"); });

    startDownload(path);
    if (how == QLatin1String("cancel")) {
        QTRY_VERIFY(sent.count() == 1
                    && linesStartingWith("DownloadItem::downloadReadyRead got filename=") == 1);
        const auto widgets = QApplication::allWidgets();
        auto *cancel = qobject_cast<OverlayButton *>(
            *std::find_if(widgets.begin(), widgets.end(),
                          [](QWidget *widget) { return qobject_cast<OverlayButton *>(widget); }));
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        cancel->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, 30000);

    if (how == QLatin1String("stall"))
        QCOMPARE(linesStartingWith("DownloadItem::endStalledTransfer seconds= 1"), 1);
    QVERIFY2(logLines.contains(
                 QStringLiteral("DownloadItem::handleFinished notice= \"%1\"").arg(expand(notice))),
             qPrintable(logLines.filter(QStringLiteral("notice=")).join('\n')));
    if (how == QLatin1String("complete")) {
        QCOMPARE(fileDigest(destination), patternDigest(1 << 20));
        QCOMPARE(QFileInfo(destination).permissions(), QFile::ReadOwner | QFile::WriteOwner
                                                           | QFile::ReadGroup | QFile::ReadUser
                                                           | QFile::WriteUser);
    } else if (earlier) {
        QCOMPARE(readFile(destination), older);
    }
    QCOMPARE(entries(home()), earlier ? QStringList{QStringLiteral("report.csv")} : QStringList());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// Two downloads of one name at once: each tool run gets that download's own whole body, and
// one that fails takes away only its own file.
// clang-format off
void tst_DownloadItem::sameNameDownloadsKeepTheirBodies_data()
{
    QTest::addColumn<bool>("firstStalls");

    QTest::newRow("two print jobs at once, each printed whole") << false;
    QTest::newRow("a failed print job takes away only its own file") << true;
}
// clang-format on

void tst_DownloadItem::sameNameDownloadsKeepTheirBodies()
{
    QFETCH(bool, firstStalls);

    DemoResponse larger = DemoResponse::attachment("print.pdf", QByteArray(6 << 20, 'a'));
    larger.chunkSize = 64 * 1024;
    larger.chunkDelayMs = 2;
    larger.stallAfterBytes = firstStalls ? 1 << 20 : -1;
    DemoResponse smaller = DemoResponse::attachment("print.pdf", QByteArray(3 << 20, 'b'));
    smaller.chunkSize = 64 * 1024;
    smaller.chunkDelayMs = 1;
    m_instrument->setResponse(QStringLiteral("/downloads/first"), larger);
    m_instrument->setResponse(QStringLiteral("/downloads/second"), smaller);
    qputenv("KESTRION_STALL_TIMEOUT_SECONDS", "1");
    const auto unset = qScopeGuard([] { qunsetenv("KESTRION_STALL_TIMEOUT_SECONDS"); });

    startDownload(QStringLiteral("/downloads/first"));
    startDownload(QStringLiteral("/downloads/second"));
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 2, 60000);

    QList<QByteArray> printed = m_sandbox->toolInputs(QStringLiteral("pdftocairo"));
    std::sort(printed.begin(), printed.end());
    QList<QByteArray> expected{smaller.body};
    if (!firstStalls)
        expected.prepend(larger.body);
    QCOMPARE(printed, expected);
    QCOMPARE(toolArguments(QStringLiteral("pdftocairo")).value(1).section('/', -1),
             QStringLiteral("print.pdf"));
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::destroyedWhileBusy_data()
{
    QTest::addColumn<QString>("stage");

    QTest::newRow("waiting for data") << "waiting";
    QTest::newRow("writing") << "writing";
}
// clang-format on

void tst_DownloadItem::destroyedWhileBusy()
{
    QFETCH(QString, stage);

    DemoResponse response = offering("print.pdf", 1 << 20);
    response.stallAfterBytes = stage == QLatin1String("waiting") ? 0 : 50000;
    m_instrument->setResponse(QStringLiteral("/downloads/print.pdf"), response);
    // Someone else's cursor, below the item's: a second restore would take it away.
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    QSignalSpy stalled(m_instrument.get(), &DemoInstrument::responseFinished);

    DownloadItem *item = startDownload(QStringLiteral("/downloads/print.pdf"));
    QVERIFY(!m_window->isEnabled());
    QTRY_COMPARE(stalled.count(), 1);
    if (stage == QLatin1String("writing"))
        QTRY_VERIFY(linesStartingWith("DownloadItem::downloadReadyRead got filename=") > 0);

    destroy(item);
    // Nothing of the unfinished job is left behind.
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(indicators().isEmpty());
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(cursorRestored());
    QCOMPARE(finishesHandled(), 0);
}

// clang-format off
void tst_DownloadItem::otherDownloadKeepsWindowDisabled_data()
{
    QTest::addColumn<bool>("firstGoes");
    QTest::addColumn<bool>("byFinishing");

    QTest::newRow("first destroyed while the second is busy") << true << false;
    QTest::newRow("second destroyed while the first is busy") << false << false;
    QTest::newRow("first finished while the second is busy") << true << true;
}
// clang-format on

void tst_DownloadItem::otherDownloadKeepsWindowDisabled()
{
    QFETCH(bool, firstGoes);
    QFETCH(bool, byFinishing);

    DemoResponse stalled = offering("print.pdf", 1000);
    stalled.stallAfterBytes = 0;
    m_instrument->setResponse(QStringLiteral("/downloads/stalled"), stalled);
    m_instrument->setResponse(QStringLiteral("/downloads/empty"),
                              DemoResponse::attachment("report.csv", QByteArray()));
    QSignalSpy responses(m_instrument.get(), &DemoInstrument::responseFinished);

    DownloadItem *first = startDownload(byFinishing ? QStringLiteral("/downloads/empty")
                                                    : QStringLiteral("/downloads/stalled"));
    DownloadItem *second = startDownload(QStringLiteral("/downloads/stalled"));
    QTRY_COMPARE(responses.count(), 2);
    if (byFinishing)
        QTRY_COMPARE(finishesHandled(), 1);
    else
        destroy(firstGoes ? first : second);

    QVERIFY(!m_window->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    destroy(firstGoes ? second : first);
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::indicatorDestroyedOnce_data()
{
    QTest::addColumn<bool>("windowFirst");
    QTest::addColumn<bool>("finished");

    QTest::newRow("window first while busy") << true << false;
    QTest::newRow("item first while busy") << false << false;
    QTest::newRow("window first after the finish") << true << true;
    QTest::newRow("item first after the finish") << false << true;
}
// clang-format on

void tst_DownloadItem::indicatorDestroyedOnce()
{
    QFETCH(bool, windowFirst);
    QFETCH(bool, finished);

    DemoResponse response = finished ? DemoResponse::attachment("report.csv", QByteArray())
                                     : offering("print.pdf", 1000);
    response.stallAfterBytes = finished ? -1 : 0;
    m_instrument->setResponse(QStringLiteral("/downloads/item"), response);
    QSignalSpy responses(m_instrument.get(), &DemoInstrument::responseFinished);

    DownloadItem *item = startDownload(QStringLiteral("/downloads/item"));
    QTRY_COMPARE(responses.count(), 1);
    if (finished)
        QTRY_COMPARE(finishesHandled(), 1);
    QCOMPARE(indicators().size(), 1);
    const QPointer<WaitingSpinnerWidget> indicator = indicators().first();

    if (windowFirst) {
        m_window.reset();
        QVERIFY(indicator.isNull());
        destroy(item);
    } else {
        destroy(item);
        QVERIFY(indicator.isNull());
        QVERIFY(m_window->isEnabled());
        m_window.reset();
    }
    QVERIFY(cursorRestored());
}

// clang-format off
void tst_DownloadItem::eachCancelEndsItsOwnDownload_data()
{
    QTest::addColumn<QString>("cancelled");
    QTest::addColumn<QString>("completed");

    QTest::newRow("the saved file's Cancel") << "report.csv" << "print.pdf";
    QTest::newRow("the print job's Cancel") << "print.pdf" << "report.csv";
}
// clang-format on

void tst_DownloadItem::eachCancelEndsItsOwnDownload()
{
    QFETCH(QString, cancelled);
    QFETCH(QString, completed);

    // Slow enough that both are still under way when a Cancel is pressed.
    constexpr qint64 size = 2 << 20;
    for (const QString &name : {cancelled, completed}) {
        DemoResponse response = offering(name.toUtf8(), size);
        response.chunkSize = 64 * 1024;
        response.chunkDelayMs = 100;
        m_instrument->setResponse(QStringLiteral("/downloads/") + name, response);
    }
    const QString report = home() + QStringLiteral("/report.csv");
    m_dialogs.answer(choose(report));
    startDownload(QStringLiteral("/downloads/report.csv"));
    startDownload(QStringLiteral("/downloads/print.pdf"));

    const auto cancelFor = [](const QString &name) -> OverlayButton * {
        const auto widgets = QApplication::allWidgets();
        for (QWidget *widget : widgets) {
            auto *button = qobject_cast<OverlayButton *>(widget);
            if (button && button->text() == QStringLiteral("Cancel ") + name)
                return button;
        }
        return nullptr;
    };
    QTRY_VERIFY_WITH_TIMEOUT(cancelFor(cancelled) && cancelFor(completed), 30000);
    QCOMPARE(m_window->findChildren<BusyOverlay *>().size(), 1);
    QCOMPARE(m_window->findChildren<BusyOverlay *>().first()->texts().size(), 2);
    cancelFor(cancelled)->click();

    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 2, 30000);
    QCOMPARE(linesStartingWith(
                 QStringLiteral("DownloadItem::handleFinished notice= \"The download of %1 was "
                                "cancelled")
                     .arg(cancelled)),
             1);
    const QByteArray whole = completed == QLatin1String("print.pdf")
                                 ? m_sandbox->toolInput(QStringLiteral("pdftocairo"))
                                 : readFile(report);
    QCOMPARE(whole, DemoInstrument::patternBytes(0, size));
    QVERIFY(m_window->findChildren<BusyOverlay *>().isEmpty());
    QVERIFY(m_window->isEnabled());
    QVERIFY(cursorRestored());
}

QTEST_MAIN(tst_DownloadItem)
#include "tst_downloaditem.moc"
