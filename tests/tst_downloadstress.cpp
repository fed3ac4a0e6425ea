#include "web/downloaditem.h"

#include "demoinstrument/demoinstrument.h"
#include "shared/filedialoganswerer.h"
#include "shared/logcapture.h"
#include "shared/testsandbox.h"
#include "widgets/waitingspinnerwidget.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

constexpr int downloadCount = 200;
// Generous for a loaded two-core machine under the sanitizers; a download takes milliseconds.
constexpr int waitLimitMs = 30000;
const QString downloadPath = QStringLiteral("/downloads/item");

// Runs the event loop until the condition holds. QTRY_* sleeps between its rounds, which would
// hold up the in-process server as well and stretch the run several times over.
bool waitUntil(const std::function<bool()> &condition)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setInterval(1);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(waitLimitMs);
    loop.exec();
    return condition();
}

enum class Kind : quint8 { OrdinaryFile, PrintJob, ZipArchive };

// How the server ends the body: on its own after the announced length, or only when the test
// closes the connection once the dialog has been answered, so that the finish surely comes
// after it.
enum class Ending : quint8 { Streamed, HeldOpen };

// When the user answers the dialog. Every hold also ends once the item has seen the finish or
// the whole body waits in the reply, since no further notification can come then.
enum class Answer : quint8 { AtOnce, AfterChunks, AfterBytes, AfterFinish };

// One download of the run, drawn from the seed.
struct Plan
{
    Kind kind = Kind::OrdinaryFile;
    Ending ending = Ending::Streamed;
    Answer answer = Answer::AtOnce;
    bool cancel = false;
    // Notifications or bytes, depending on `answer`.
    qint64 threshold = 0;
    QByteArray body;
    qint64 chunkSize = 0;
    int chunkDelayMs = 0;
};

Plan drawPlan(QRandomGenerator &random, int index)
{
    Plan plan;
    // The first downloads go through every pairing once, the rest are drawn freely.
    const int pairing = index < 24 ? index : int(random.bounded(24));
    plan.kind = Kind(pairing / 8);
    plan.ending = Ending(pairing / 4 % 2);
    plan.answer = Answer(pairing % 4);
    plan.cancel = plan.kind != Kind::PrintJob && random.bounded(100) < 6;

    const int size = random.bounded(100) < 3 ? 0 : int(random.bounded(1, 40001));
    plan.body.resize(size);
    for (char &byte : plan.body)
        byte = char(random.bounded(256));
    const qint64 chunks = random.bounded(1, 49);
    plan.chunkSize = qMax<qint64>(1, (size + chunks - 1) / chunks);
    plan.chunkDelayMs = int(random.bounded(4));
    if (plan.answer == Answer::AfterChunks)
        plan.threshold = random.bounded(1, int(chunks) + 1);
    else if (plan.answer == Answer::AfterBytes)
        plan.threshold = random.bounded(1, size + 2);
    return plan;
}

QString describe(const Plan &plan)
{
    static const char *const kinds[] = {"ordinary file", "print job", "zip archive"};
    static const char *const answers[]
        = {"at once", "after %1 notifications", "after %1 bytes", "after the finish"};
    QString answer = QString::fromLatin1(answers[int(plan.answer)]);
    answer.replace(QLatin1String("%1"), QString::number(plan.threshold));
    return QStringLiteral("%1 of %2 bytes in chunks of %3 every %4 ms, %5, %6 %7")
        .arg(QLatin1String(kinds[int(plan.kind)]))
        .arg(plan.body.size())
        .arg(plan.chunkSize)
        .arg(plan.chunkDelayMs)
        .arg(plan.ending == Ending::Streamed ? QStringLiteral("streamed")
                                             : QStringLiteral("end held open"))
        .arg(plan.cancel ? QStringLiteral("cancelled") : QStringLiteral("answered"))
        .arg(answer);
}

} // namespace

// Downloads one after another as the page makes them, each with random chunking and pacing,
// its file dialog held open for a random stretch while the body streams and the finish comes
// before, during or after the answer: every byte must land where the user chose, and the
// window and the cursor must be free again after each one. The run is drawn from a seed that
// KESTRION_STRESS_SEED repeats.
class tst_DownloadStress : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyByteLandsWhereChosen();

private:
    void runDownload(int index, const Plan &plan);
    void checkOutcome(const Plan &plan, QString destination);
    void armDialogAnswer();
    bool answerDue() const;
    static bool finishSeen();
    bool serverFlushed() const;
    QStringList toolArguments(const QString &tool) const { return m_sandbox->toolArguments(tool); }
    QString home() const { return m_sandbox->home(); }
    QString temp() const { return m_sandbox->temp(); }

    quint64 m_seed = 0;
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<DemoInstrument> m_instrument;
    std::unique_ptr<QWidget> m_window;
    // The latest item, replaced like the page replaces it.
    DownloadItem *m_item = nullptr;
    QPointer<QNetworkReply> m_reply;

    FileDialogAnswerer m_dialogs{2};
    const Plan *m_plan = nullptr;
    QString m_choice;
    // How the finish fell against the dialogs of the run, for the summary.
    int m_finishBeforeDialog = 0;
    int m_finishBeforeAnswer = 0;
    int m_finishAfterAnswer = 0;
};

void tst_DownloadStress::initTestCase()
{
    startLogCapture();
    const QByteArray seedText = qgetenv("KESTRION_STRESS_SEED");
    if (seedText.isEmpty()) {
        m_seed = QRandomGenerator::system()->generate64();
    } else {
        bool valid = false;
        m_seed = seedText.toULongLong(&valid);
        QVERIFY2(valid, "KESTRION_STRESS_SEED must be an unsigned decimal number");
    }
    qInfo("KESTRION_STRESS_SEED=%llu", static_cast<unsigned long long>(m_seed));

    // Nothing may leave the loopback interface, whatever the environment's proxy settings.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    m_sandbox = std::make_unique<TestSandbox>();
    QVERIFY(m_sandbox->isReady());
    QVERIFY(QDir().mkdir(home() + QStringLiteral("/saved")));

    m_manager = std::make_unique<QNetworkAccessManager>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(640, 480);
}

void tst_DownloadStress::cleanupTestCase()
{
    m_dialogs.stop();
    delete m_item;
    m_item = nullptr;
    m_window.reset();
    m_instrument.reset();
    m_manager.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    m_sandbox.reset();
    stopLogCapture();
}

void tst_DownloadStress::everyByteLandsWhereChosen()
{
    QRandomGenerator random(m_seed);
    // Qt 6's file dialog opens the shared MIME database once and keeps it open for the process.
    QMimeDatabase().mimeTypeForName(QStringLiteral("text/plain"));
    const int descriptorsBefore = openFileDescriptors();
    for (int index = 0; index < downloadCount; ++index) {
        const Plan plan = drawPlan(random, index);
        runDownload(index, plan);
        if (QTest::currentTestFailed()) {
            qWarning("download %d failed (%s); KESTRION_STRESS_SEED=%llu repeats this run; its "
                     "log:\n%s",
                     index, qPrintable(describe(plan)), static_cast<unsigned long long>(m_seed),
                     qPrintable(logLines.join(QLatin1Char('\n'))));
            m_dialogs.stop();
            return;
        }
    }
    qInfo("dialogs answered after the item saw the finish: %d (%d of them already when first "
          "seen), before it: %d",
          m_finishBeforeAnswer, m_finishBeforeDialog, m_finishAfterAnswer);

    delete m_item;
    m_item = nullptr;
    // The manager keeps the closed connections of finished replies in its cache for a while.
    m_manager.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_COMPARE_WITH_TIMEOUT(openFileDescriptors(), descriptorsBefore, waitLimitMs);
    QVERIFY(m_window->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    expectNoConnectWarnings();
}

void tst_DownloadStress::runDownload(int index, const Plan &plan)
{
    logLines.clear();
    m_sandbox->forgetToolRuns();

    QString destination;
    QByteArray offeredName;
    switch (plan.kind) {
    case Kind::OrdinaryFile:
        offeredName = "data.bin";
        destination = home() + QStringLiteral("/saved/%1.bin").arg(index);
        m_choice = destination;
        break;
    case Kind::PrintJob:
        offeredName = "print.pdf";
        m_choice.clear();
        break;
    case Kind::ZipArchive:
        offeredName = "results.zip";
        m_choice = m_sandbox->unpack() + QStringLiteral("/%1").arg(index);
        QVERIFY(QDir().mkdir(m_choice));
        break;
    }

    m_instrument = std::make_unique<DemoInstrument>();
    QVERIFY(m_instrument->listen());
    DemoResponse response = DemoResponse::attachment(offeredName, plan.body);
    response.chunkSize = plan.chunkSize;
    response.chunkDelayMs = plan.chunkDelayMs;
    if (plan.ending == Ending::HeldOpen) {
        // Without a length the body ends only when the connection closes.
        response.sendContentLength = false;
        response.stallAfterBytes = plan.body.size();
    }
    m_instrument->setResponse(downloadPath, response);
    QSignalSpy sent(m_instrument.get(), &DemoInstrument::responseFinished);
    m_plan = &plan;
    armDialogAnswer();

    QUrl url = m_instrument->baseUrl();
    url.setPath(downloadPath);
    m_reply = m_manager->get(QNetworkRequest(url));
    if (m_item)
        m_item->deleteLater();
    m_item = new DownloadItem(m_reply, m_window.get());
    QVERIFY(!m_window->isEnabled());

    if (plan.ending == Ending::HeldOpen) {
        // Let the end come once the handler that held the dialog has gone on, and only once
        // the server has passed everything on: it drops what its sockets still queue when it
        // goes.
        const bool asks = plan.kind != Kind::PrintJob && !plan.body.isEmpty();
        const auto handlerWentOn = [&] {
            const QString opened = QStringLiteral("DownloadItem::downloadReadyRead got filename=");
            return !asks || linesStartingWith(opened) > 0
                   || logged(QStringLiteral("DownloadItem::downloadReadyRead empty file"));
        };
        // A cancelled download lets go of its reply, which may drop the connection before
        // the server has sent everything.
        const bool cutOff = plan.cancel && asks;
        QVERIFY2(waitUntil([&] {
                     return handlerWentOn() && (cutOff || (sent.count() == 1 && serverFlushed()));
                 }),
                 "the server did not send the whole body, or the dialog was not answered");
        // A cancel closes the reply, which finishes it at once.
        QCOMPARE(finishSeen(), plan.cancel && asks);
        m_instrument.reset();
    }
    if (plan.cancel && !plan.body.isEmpty()) {
        const auto ended = [this] {
            return logged(QStringLiteral("DownloadItem::downloadReadyRead empty file"))
                   && (m_reply.isNull() || m_reply->isFinished());
        };
        QVERIFY2(waitUntil(ended), "the cancelled download did not end");
    } else {
        QVERIFY2(waitUntil([] { return logged(QStringLiteral("DownloadItem::handleFinished")); }),
                 "the download did not finish");
    }
    // The item that this one replaced goes now, as it would at the page's next event loop turn.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_dialogs.stop();
    m_plan = nullptr;
    m_instrument.reset();
    checkOutcome(plan, destination);
}

void tst_DownloadStress::checkOutcome(const Plan &plan, QString destination)
{
    const bool asked = plan.kind != Kind::PrintJob && !plan.body.isEmpty();
    const QString title = plan.kind == Kind::ZipArchive ? QStringLiteral("Select Directory")
                                                        : QStringLiteral("Save File");
    QCOMPARE(m_dialogs.titles(), asked ? QStringList{title} : QStringList());
    if (asked && plan.kind == Kind::OrdinaryFile)
        QCOMPARE(m_dialogs.proposal(), home() + QStringLiteral("/data.bin"));
    QVERIFY(m_window->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    // The item replaced by this one has been deleted with its indicator.
    QCOMPARE(m_window->findChildren<WaitingSpinnerWidget *>().size(), 1);

    const bool saved = !plan.body.isEmpty() && !plan.cancel;
    if (saved) {
        QCOMPARE(logLines.count(QStringLiteral("DownloadItem::handleFinished")), 1);
        QCOMPARE(linesStartingWith("DownloadItem::error"), 0);
        QCOMPARE(linesStartingWith("DownloadItem::getFileName downloadFileName="), 1);
    }
    // A print job or an archive is kept in a folder of its own until its tool has ended.
    if (plan.kind != Kind::OrdinaryFile) {
        QVERIFY(entries(temp()).isEmpty());
        destination = loggedDestination();
    }
    QCOMPARE(QFileInfo::exists(destination), saved && plan.kind == Kind::OrdinaryFile);
    if (saved && plan.kind == Kind::OrdinaryFile && readFile(destination) != plan.body)
        QFAIL(qPrintable(QStringLiteral("%1 holds %2 bytes that differ from the %3 served")
                             .arg(destination)
                             .arg(QFileInfo(destination).size())
                             .arg(plan.body.size())));

    const QString tool = plan.kind == Kind::PrintJob     ? QStringLiteral("pdftocairo")
                         : plan.kind == Kind::ZipArchive ? QStringLiteral("7za")
                                                         : QString();
    QStringList expected;
    if (saved && plan.kind == Kind::PrintJob)
        expected = QStringList{QStringLiteral("-printdlg"), destination};
    if (saved && plan.kind == Kind::ZipArchive)
        expected = QStringList{QStringLiteral("e"), destination, QStringLiteral("-o") + m_choice,
                               QStringLiteral("-aou")};
    for (const QString &candidate : {QStringLiteral("pdftocairo"), QStringLiteral("7za")})
        QCOMPARE(toolArguments(candidate), candidate == tool ? expected : QStringList());
    // The tool was handed the complete, closed file.
    if (!expected.isEmpty())
        QVERIFY(m_sandbox->toolInput(tool) == plan.body);
}

// The download's dialog is answered as its plan says, once the answer is due; a dialog that no
// download asks for, or a second one, is turned down and then fails the check of the titles.
void tst_DownloadStress::armDialogAnswer()
{
    m_dialogs.start();
    const auto answer = [this](QFileDialog *dialog) {
        (finishSeen() ? m_finishBeforeAnswer : m_finishAfterAnswer) += 1;
        if (m_plan->cancel)
            dialog->reject();
        else
            choose(m_choice)(dialog);
    };
    const auto due = [this, seen = false]() mutable {
        if (!seen)
            m_finishBeforeDialog += finishSeen() ? 1 : 0;
        seen = true;
        return answerDue();
    };
    m_dialogs.answer(answer, due);
}

bool tst_DownloadStress::answerDue() const
{
    // What has arrived waits in the reply or, while the dialog is open, in the download's file.
    const qint64 buffered
        = (m_reply ? m_reply->bytesAvailable() : 0) + bytesUnder(m_sandbox->temp());
    if (finishSeen())
        return true;
    // With the end held back nothing more comes once the whole body has arrived.
    if (m_plan->ending == Ending::HeldOpen && buffered >= m_plan->body.size())
        return true;
    switch (m_plan->answer) {
    case Answer::AtOnce:
        return true;
    case Answer::AfterChunks:
        return linesStartingWith("DownloadItem::downloadReadyRead in progress")
               >= m_plan->threshold;
    case Answer::AfterBytes:
        return buffered >= m_plan->threshold;
    case Answer::AfterFinish:
        return false;
    }
    return true;
}

bool tst_DownloadStress::finishSeen()
{
    return logged(QStringLiteral("DownloadItem::downloadFinished"));
}

bool tst_DownloadStress::serverFlushed() const
{
    const auto sockets = m_instrument->findChildren<QTcpSocket *>();
    for (const QTcpSocket *socket : sockets) {
        if (socket->bytesToWrite() > 0)
            return false;
    }
    return true;
}

QTEST_MAIN(tst_DownloadStress)
#include "tst_downloadstress.moc"
