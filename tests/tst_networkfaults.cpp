#include "web/downloaditem.h"

#include "demoinstrument/demoinstrument.h"
#include "shared/filedialoganswerer.h"
#include "shared/logcapture.h"
#include "shared/testsandbox.h"
#include "widgets/waitingspinnerwidget.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

#include <sys/socket.h>

namespace {

// Generous for a loaded two-core machine under the sanitizers.
constexpr int waitLimitMs = 60000;

QByteArray attachmentHead(const QByteArray &fileName, const QByteArray &extraHeaders)
{
    return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Disposition: attachment; filename=\""
           + fileName + "\"\r\n" + extraHeaders + "\r\n";
}

// The body cut into pieces of `size` bytes, each sent as an HTTP chunk when `chunked`.
QByteArrayList pieces(const QByteArray &body, int size, bool chunked)
{
    QByteArrayList result;
    for (int offset = 0; offset < body.size(); offset += size) {
        const QByteArray piece = body.mid(offset, size);
        result << (chunked ? QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n"
                           : piece);
    }
    if (chunked)
        result << "0\r\n\r\n";
    return result;
}

} // namespace

// Transfers that go wrong on the wire: a connection reset or closed in the middle of the body, a
// server that stalls for good, a huge Content-Disposition, an empty body and a body in ten
// thousand tiny pieces. None may crash, each must give back the window and the cursor, and
// none may keep a file descriptor once its item is gone.
class tst_NetworkFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();
    void brokenConnectionLeavesNothing_data();
    void brokenConnectionLeavesNothing();
    void stalledTransferEndsByItself_data();
    void stalledTransferEndsByItself();
    void hugeContentDisposition_data();
    void hugeContentDisposition();
    void emptyBody_data();
    void emptyBody();
    void tenThousandTinyPieces_data();
    void tenThousandTinyPieces();

private:
    enum class Ending : quint8 { Close, Reset };

    // Answers every connection with `head` and then `body`, one piece at a time: each piece is
    // written only once the one before has left for the kernel, with Nagle's delay off, so that
    // each goes out on its own. Then closes the connection or resets it.
    void serveRaw(const QByteArray &head, const QByteArrayList &body, Ending ending);
    QUrl rawUrl() const;
    DownloadItem *startDownload(const QUrl &url);
    void expectReleased();
    void expectNoDescriptorLeft();
    QStringList toolArguments(const QString &tool) const { return m_sandbox->toolArguments(tool); }
    QString home() const { return m_sandbox->home(); }
    QString temp() const { return m_sandbox->temp(); }
    QString unpack() const { return m_sandbox->unpack(); }

    int m_descriptorsBefore = 0;
    std::unique_ptr<TestSandbox> m_sandbox;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::unique_ptr<DemoInstrument> m_instrument;
    std::unique_ptr<QTcpServer> m_rawServer;
    std::unique_ptr<QWidget> m_window;
    std::unique_ptr<DownloadItem> m_item;
    QPointer<QNetworkReply> m_reply;
    FileDialogAnswerer m_dialogs;
};

void tst_NetworkFaults::initTestCase()
{
    startLogCapture();
    // Nothing may leave the loopback interface, whatever the environment's proxy settings.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);

    // The first download brings up what the process then keeps for good, for the network and
    // for the file dialogs: that is no leak of a download.
    init();
    m_dialogs.answer(choose(home() + QStringLiteral("/report.csv")));
    QUrl url = m_instrument->baseUrl();
    url.setPath(QStringLiteral("/downloads/report.csv"));
    startDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, waitLimitMs);
    cleanup();
}

void tst_NetworkFaults::cleanupTestCase()
{
    stopLogCapture();
}

void tst_NetworkFaults::init()
{
    logLines.clear();
    m_descriptorsBefore = openFileDescriptors();

    m_sandbox = std::make_unique<TestSandbox>();
    QVERIFY(m_sandbox->isReady());

    m_instrument = std::make_unique<DemoInstrument>();
    QVERIFY(m_instrument->listen());
    m_rawServer = std::make_unique<QTcpServer>();
    QVERIFY(m_rawServer->listen(QHostAddress::LocalHost));
    m_manager = std::make_unique<QNetworkAccessManager>();
    m_window = std::make_unique<QWidget>();
    m_window->resize(640, 480);
    m_dialogs.start();
}

void tst_NetworkFaults::cleanup()
{
    showLogTailIfFailed();
    m_dialogs.stop();
    m_item.reset();
    m_window.reset();
    m_instrument.reset();
    m_rawServer.reset();
    m_manager.reset();
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    m_sandbox.reset();
    expectNoConnectWarnings();
}

void tst_NetworkFaults::serveRaw(const QByteArray &head, const QByteArrayList &body, Ending ending)
{
    connect(m_rawServer.get(), &QTcpServer::newConnection, m_rawServer.get(), [=] {
        QTcpSocket *socket = m_rawServer->nextPendingConnection();
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto request = std::make_shared<QByteArray>();
        auto next = std::make_shared<int>(-1);
        const auto sendNext = [=] {
            if (*next < 0 || socket->bytesToWrite() > 0
                || socket->state() != QAbstractSocket::ConnectedState)
                return;
            if (*next < body.size()) {
                socket->write(body.at((*next)++));
                return;
            }
            if (ending == Ending::Close) {
                socket->disconnectFromHost();
                return;
            }
            // Closing with a zero linger time sends a reset instead of the orderly end.
            const linger abortive{1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                         sizeof abortive);
            socket->abort();
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, sendNext);
        connect(socket, &QTcpSocket::readyRead, socket, [=] {
            // Everything is read, so that an orderly close is never turned into a reset.
            *request += socket->readAll();
            if (*next >= 0 || !request->contains("\r\n\r\n"))
                return;
            *next = 0;
            socket->write(head);
        });
    });
}

QUrl tst_NetworkFaults::rawUrl() const
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(QStringLiteral("127.0.0.1"));
    url.setPort(m_rawServer->serverPort());
    url.setPath(QStringLiteral("/downloads/raw"));
    return url;
}

DownloadItem *tst_NetworkFaults::startDownload(const QUrl &url)
{
    m_reply = m_manager->get(QNetworkRequest(url));
    m_item = std::make_unique<DownloadItem>(m_reply, m_window.get());
    return m_item.get();
}

void tst_NetworkFaults::expectReleased()
{
    QVERIFY(m_window->isEnabled());
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

// The item and everything it used are gone: the manager too, which keeps the connections of
// finished replies for reuse.
void tst_NetworkFaults::expectNoDescriptorLeft()
{
    m_item.reset();
    m_instrument.reset();
    m_rawServer.reset();
    m_manager.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_COMPARE_WITH_TIMEOUT(openFileDescriptors(), m_descriptorsBefore, waitLimitMs);
}

void tst_NetworkFaults::brokenConnectionLeavesNothing_data()
{
    QTest::addColumn<int>("ending");
    QTest::addColumn<int>("sentBytes");
    QTest::addColumn<bool>("answerAfterEnd");

    QTest::newRow("reset mid-body") << int(Ending::Reset) << 150000 << false;
    QTest::newRow("reset mid-body while the save dialog is open")
        << int(Ending::Reset) << 150000 << true;
    QTest::newRow("reset before the body") << int(Ending::Reset) << 0 << false;
    QTest::newRow("closed mid-body") << int(Ending::Close) << 150000 << false;
    QTest::newRow("closed mid-body while the save dialog is open")
        << int(Ending::Close) << 150000 << true;
}

void tst_NetworkFaults::brokenConnectionLeavesNothing()
{
    QFETCH(int, ending);
    QFETCH(int, sentBytes);
    QFETCH(bool, answerAfterEnd);

    const qint64 announced = 1 << 20;
    const QByteArray sent = DemoInstrument::patternBytes(0, sentBytes);
    serveRaw(
        attachmentHead("data.bin", "Content-Length: " + QByteArray::number(announced) + "\r\n"),
        pieces(sent, 4096, false), Ending(ending));
    const QString destination = home() + QStringLiteral("/data.bin");
    m_dialogs.answer(choose(destination), [answerAfterEnd] {
        return !answerAfterEnd || logged(QStringLiteral("DownloadItem::downloadFinished"));
    });

    startDownload(rawUrl());
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, waitLimitMs);

    QVERIFY(linesStartingWith("DownloadItem::error") >= 1);
    if (sentBytes == 0) {
        QVERIFY(m_dialogs.titles().isEmpty());
        QVERIFY(entries(home()).isEmpty());
    } else {
        QCOMPARE(m_dialogs.titles(), QStringList{QStringLiteral("Save File")});
        // A part of the body is kept nowhere, and the notice says what came.
        QVERIFY(entries(home()).isEmpty());
        QCOMPARE(linesStartingWith("DownloadItem::handleFinished notice= \"data.bin is incomplete: "
                                   "only "),
                 1);
    }
    QVERIFY(entries(temp()).isEmpty());
    expectReleased();
    expectNoDescriptorLeft();
}

void tst_NetworkFaults::stalledTransferEndsByItself_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<qint64>("stallAfter");

    QTest::newRow("print job stalled before the body") << QByteArray("print.pdf") << qint64(0);
    QTest::newRow("print job stalled after 100 bytes") << QByteArray("print.pdf") << qint64(100);
    QTest::newRow("print job stalled mid-body") << QByteArray("print.pdf") << qint64(70000);
    QTest::newRow("saved file stalled after 100 bytes") << QByteArray("data.bin") << qint64(100);
    QTest::newRow("saved file stalled mid-body") << QByteArray("data.bin") << qint64(70000);
}

void tst_NetworkFaults::stalledTransferEndsByItself()
{
    QFETCH(QByteArray, name);
    QFETCH(qint64, stallAfter);

    DemoResponse response = DemoResponse::attachment(name, QByteArray());
    response.generatedSize = 1 << 20;
    response.stallAfterBytes = stallAfter;
    m_instrument->setResponse(QStringLiteral("/downloads/stalled"), response);
    QSignalSpy stalled(m_instrument.get(), &DemoInstrument::responseFinished);
    const bool printJob = name == "print.pdf";
    const QString destination = home() + QStringLiteral("/data.bin");
    if (!printJob)
        m_dialogs.answer(choose(destination));
    qputenv("KESTRION_STALL_TIMEOUT_SECONDS", "1");
    const auto unset = qScopeGuard([] { qunsetenv("KESTRION_STALL_TIMEOUT_SECONDS"); });

    QUrl url = m_instrument->baseUrl();
    url.setPath(QStringLiteral("/downloads/stalled"));
    startDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(stalled.count(), 1, waitLimitMs);
    // Replaced meanwhile, as when the page starts another download: the item still carries its
    // own to the end, which the stall brings, and then goes with its reply.
    QPointer<DownloadItem> replaced = m_item.release();
    replaced->release();
    QTRY_VERIFY_WITH_TIMEOUT(replaced.isNull() && m_reply.isNull(), waitLimitMs);
    expectReleased();
    QCOMPARE(linesStartingWith("DownloadItem::endStalledTransfer seconds= 1"), 1);
    QCOMPARE(finishesHandled(), 1);
    // A part is kept nowhere, neither under the chosen name nor in the temporary folder, and
    // no tool gets it.
    QVERIFY(!QFileInfo::exists(destination));
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(entries(home()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    expectNoDescriptorLeft();
}

void tst_NetworkFaults::hugeContentDisposition_data()
{
    QTest::addColumn<int>("headerSize");
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<QString>("choice");
    QTest::addColumn<bool>("saved");

    QTest::newRow("64 KiB: proposed name too long to open, nothing written")
        << 64 * 1024 << QByteArray(".bin") << QString() << false;
    QTest::newRow("64 KiB: another name chosen, saved there")
        << 64 * 1024 << QByteArray(".bin") << QStringLiteral("%H/short.bin") << true;
    QTest::newRow("64 KiB: archive name too long to store, nothing unpacked")
        << 64 * 1024 << QByteArray(".zip") << QStringLiteral("%D") << false;
    QTest::newRow("32 000 bytes: archive name too long to store, nothing unpacked")
        << 32000 << QByteArray(".zip") << QStringLiteral("%D") << false;
}

void tst_NetworkFaults::hugeContentDisposition()
{
    QFETCH(int, headerSize);
    QFETCH(QByteArray, suffix);
    QFETCH(QString, choice);
    QFETCH(bool, saved);
    choice.replace(QLatin1String("%H"), home()).replace(QLatin1String("%D"), unpack());

    // A name far beyond what any file system takes, in a header of exactly headerSize bytes.
    const QByteArray longName = QByteArray(headerSize - 23 - suffix.size(), 'n') + suffix;
    const QByteArray body = DemoInstrument::patternBytes(0, 50000);
    DemoResponse response = DemoResponse::attachment(longName, body);
    QCOMPARE(response.headers.last().first, QByteArray("Content-Disposition"));
    QCOMPARE(response.headers.last().second.size(), headerSize);
    m_instrument->setResponse(QStringLiteral("/downloads/long"), response);
    m_dialogs.answer(choice.isEmpty() ? acceptProposal() : choose(choice));

    QUrl url = m_instrument->baseUrl();
    url.setPath(QStringLiteral("/downloads/long"));
    startDownload(url);
    // A finish that came while the dialog was open is dropped when the open fails or the
    // dialog gives no answer afterwards: then nothing more happens once the reply has ended.
    QTRY_VERIFY_WITH_TIMEOUT(
        finishesHandled() == 1
            || ((linesStartingWith("DownloadItem::downloadReadyRead error=") > 0
                 || logged(QStringLiteral("DownloadItem::downloadReadyRead empty file")))
                && (m_reply.isNull() || m_reply->isFinished())),
        waitLimitMs);

    // An archive that cannot be stored under its name fails before the user is asked where to
    // unpack it. Names of more than 32767 characters are where QFileInfo's 16-bit offsets
    // would split the offered name at the wrong places. The file dialog itself still garbles
    // such a proposal, so the item's own proposal is read from its log.
    QCOMPARE(m_dialogs.titles(),
             suffix == ".zip" ? QStringList() : QStringList{QStringLiteral("Save File")});
    if (suffix != ".zip") {
        const QString proposalLine = QStringLiteral("DownloadItem::getFileName defaultFileName= \"")
                                     + home() + QLatin1Char('/') + QString::fromLatin1(longName)
                                     + QLatin1Char('"');
        QVERIFY(logged(proposalLine));
    }
    if (saved) {
        QCOMPARE(readFile(choice), body);
        QCOMPARE(linesStartingWith("DownloadItem::downloadReadyRead error="), 0);
    }
    QCOMPARE(entries(home()), saved ? QStringList{QStringLiteral("short.bin")} : QStringList());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(entries(unpack()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("7za")).isEmpty());
    expectReleased();
    expectNoDescriptorLeft();
}

void tst_NetworkFaults::emptyBody_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("withLength");

    for (const char *name : {"report.csv", "print.pdf", "results.zip"}) {
        QTest::addRow("%s with a length of 0", name) << QByteArray(name) << true;
        QTest::addRow("%s ended by the close", name) << QByteArray(name) << false;
    }
}

void tst_NetworkFaults::emptyBody()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, withLength);

    DemoResponse response = DemoResponse::attachment(name, QByteArray());
    response.sendContentLength = withLength;
    m_instrument->setResponse(QStringLiteral("/downloads/empty"), response);

    QUrl url = m_instrument->baseUrl();
    url.setPath(QStringLiteral("/downloads/empty"));
    startDownload(url);
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, waitLimitMs);

    // No chunk, so nothing is named, asked, created or handed to a tool.
    QVERIFY(m_dialogs.titles().isEmpty());
    QCOMPARE(linesStartingWith("DownloadItem::getFileName"), 0);
    QCOMPARE(linesStartingWith("DownloadItem::error"), 0);
    QVERIFY(entries(home()).isEmpty());
    QVERIFY(entries(temp()).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("pdftocairo")).isEmpty());
    QVERIFY(toolArguments(QStringLiteral("7za")).isEmpty());
    expectReleased();
    expectNoDescriptorLeft();
}

void tst_NetworkFaults::tenThousandTinyPieces_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("chunked");

    QTest::newRow("print job in 10 000 one-byte writes") << QByteArray("print.pdf") << false;
    QTest::newRow("print job in 10 000 one-byte HTTP chunks") << QByteArray("print.pdf") << true;
    QTest::newRow("saved file in 10 000 one-byte writes, dialog held for 100 of them")
        << QByteArray("data.bin") << false;
}

void tst_NetworkFaults::tenThousandTinyPieces()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, chunked);

    const QByteArray body = DemoInstrument::patternBytes(0, 10000);
    const QByteArray framing = chunked
                                   ? QByteArray("Transfer-Encoding: chunked\r\n")
                                   : "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    serveRaw(attachmentHead(name, framing), pieces(body, 1, chunked), Ending::Close);
    const bool printJob = name == "print.pdf";
    const QString destination = home() + QStringLiteral("/data.bin");
    if (!printJob) {
        m_dialogs.answer(choose(destination), [] {
            return linesStartingWith("DownloadItem::downloadReadyRead in progress") >= 100
                   || logged(QStringLiteral("DownloadItem::downloadFinished"));
        });
    }

    startDownload(rawUrl());
    QTRY_COMPARE_WITH_TIMEOUT(finishesHandled(), 1, waitLimitMs);
    qInfo("the body came in %d notifications",
          int(logLines.count(QStringLiteral("DownloadItem::downloadReadyRead"))));

    QCOMPARE(linesStartingWith("DownloadItem::error"), 0);
    if (printJob)
        QCOMPARE(m_sandbox->toolInput(QStringLiteral("pdftocairo")), body);
    else
        QCOMPARE(readFile(destination), body);
    expectReleased();
    expectNoDescriptorLeft();
}

QTEST_MAIN(tst_NetworkFaults)
#include "tst_networkfaults.moc"
