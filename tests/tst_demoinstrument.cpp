#include "demoinstrument/demoinstrument.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(DemoResponse)

class tst_DemoInstrument : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void defaultRoutes_data();
    void defaultRoutes();
    void startPageListsQueryItems_data();
    void startPageListsQueryItems();
    void downloadsAreValidFiles_data();
    void downloadsAreValidFiles();
    void streamedBody_data();
    void streamedBody();
    void generatedBodyMatchesPattern();
    void patternHasNoShortPeriod();
    void stalledResponseEndsWithServer();
    void rawRequests_data();
    void rawRequests();
    void executableReportsRequestsAndEndsOnSigterm();
    void executableRefuses_data();
    void executableRefuses();

private:
    std::unique_ptr<QNetworkReply> get(const QByteArray &pathAndQuery);

    QNetworkAccessManager m_manager;
    std::unique_ptr<DemoInstrument> m_instrument;
};

void tst_DemoInstrument::initTestCase()
{
    // Nothing may leave the loopback interface, whatever the environment's proxy settings.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
}

void tst_DemoInstrument::init()
{
    m_instrument = std::make_unique<DemoInstrument>();
    QVERIFY(m_instrument->listen());
}

void tst_DemoInstrument::cleanup()
{
    m_instrument.reset();
}

std::unique_ptr<QNetworkReply> tst_DemoInstrument::get(const QByteArray &pathAndQuery)
{
    const QUrl url = m_instrument->baseUrl().resolved(QUrl::fromEncoded(pathAndQuery));
    return std::unique_ptr<QNetworkReply>(m_manager.get(QNetworkRequest(url)));
}

// clang-format off
void tst_DemoInstrument::defaultRoutes_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentDisposition");
    QTest::addColumn<QByteArray>("bodyStart");

    QTest::newRow("start page is a page, not a download")
        << QByteArray("/Quorin/?client=Desktop") << 200 << QByteArray() << QByteArray("<!DOCTYPE");
    QTest::newRow("report is an attachment named report.csv")
        << QByteArray("/downloads/report.csv") << 200
        << QByteArray("attachment; filename=\"report.csv\"") << QByteArray("sample,");
    QTest::newRow("print job is an attachment named print.pdf")
        << QByteArray("/downloads/print.pdf") << 200
        << QByteArray("attachment; filename=\"print.pdf\"") << QByteArray("%PDF-1.4");
    QTest::newRow("archive is an attachment named results.zip")
        << QByteArray("/downloads/results.zip") << 200
        << QByteArray("attachment; filename=\"results.zip\"") << QByteArray("PK\x03\x04");
    QTest::newRow("unknown path is 404 with a body")
        << QByteArray("/downloads/missing.csv") << 404 << QByteArray() << QByteArray("Not found");
}
// clang-format on

void tst_DemoInstrument::defaultRoutes()
{
    QFETCH(QByteArray, path);
    QFETCH(int, status);
    QFETCH(QByteArray, contentDisposition);
    QFETCH(QByteArray, bodyStart);

    const auto reply = get(path);
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(reply->rawHeader("Content-Disposition"), contentDisposition);
    QVERIFY(reply->readAll().startsWith(bodyStart));
    QCOMPARE(m_instrument->requestLines(), QList<QByteArray>{"GET " + path + " HTTP/1.1"});
}

// clang-format off
void tst_DemoInstrument::startPageListsQueryItems_data()
{
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<QByteArray>("listed");
    QTest::addColumn<QByteArray>("forbidden");

    QTest::newRow("items are listed in order")
        << QByteArray("client=Desktop&touch=On")
        << QByteArray("<li>client = Desktop</li>\n<li>touch = On</li>") << QByteArray("<li>None");
    QTest::newRow("markup in a value is escaped")
        << QByteArray("note=%3Cb%3Ebold%3C/b%3E")
        << QByteArray("<li>note = &lt;b&gt;bold&lt;/b&gt;") << QByteArray("<b>bold");
    QTest::newRow("markup in a key is escaped")
        << QByteArray("%3Cscript%3E=1") << QByteArray("<li>&lt;script&gt; = 1")
        << QByteArray("<li><script");
    QTest::newRow("ampersand and quote are escaped")
        << QByteArray("q=a%26b%22c") << QByteArray("<li>q = a&amp;b&quot;c") << QByteArray("a&b");
}
// clang-format on

void tst_DemoInstrument::startPageListsQueryItems()
{
    QFETCH(QByteArray, query);
    QFETCH(QByteArray, listed);
    QFETCH(QByteArray, forbidden);

    const auto reply = get("/Quorin/?" + query);
    QTRY_VERIFY(reply->isFinished());
    const QByteArray page = reply->readAll();
    QVERIFY(page.contains("<title>Kestrion® demo instrument</title>"));
    QVERIFY2(page.contains(listed), page.constData());
    QVERIFY2(!page.contains(forbidden), page.constData());
}

// clang-format off
void tst_DemoInstrument::downloadsAreValidFiles_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("print job is a six-page PDF")
        << QByteArray("/downloads/print.pdf") << "pdfinfo" << QStringList() << "Pages: +6\n";
    QTest::newRow("archive holds two intact files")
        << QByteArray("/downloads/results.zip") << "7za" << QStringList{"t"}
        << "Everything is Ok\n[\\s\\S]*Files: 2\n";
}
// clang-format on

void tst_DemoInstrument::downloadsAreValidFiles()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);

    if (QStandardPaths::findExecutable(program).isEmpty())
        QSKIP("the checking program is not installed");
    const auto reply = get(path);
    QTRY_VERIFY(reply->isFinished());
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("download")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reply->readAll());
    file.close();

    QProcess process;
    process.start(program, arguments << file.fileName());
    QVERIFY(process.waitForFinished());
    const QString output = QString::fromUtf8(process.readAll());
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             qPrintable(output));
    QVERIFY2(output.contains(QRegularExpression(expected)), qPrintable(output));
}

// clang-format off
void tst_DemoInstrument::streamedBody_data()
{
    QTest::addColumn<DemoResponse>("response");
    QTest::addColumn<QByteArray>("expectedBody");
    QTest::addColumn<bool>("expectError");

    const QByteArray text = DemoInstrument::patternBytes(1000, 10000);
    DemoResponse delayed;
    delayed.body = text;
    delayed.chunkSize = 777;
    delayed.chunkDelayMs = 2;
    QTest::newRow("delayed chunks arrive byte-exact") << delayed << text << false;

    DemoResponse generated;
    generated.generatedSize = 300001;
    generated.chunkSize = 4093;
    generated.chunkDelayMs = 1;
    // Chunks of an odd size start at unaligned offsets of the pattern.
    QTest::newRow("generated chunks arrive byte-exact")
        << generated << DemoInstrument::patternBytes(0, 300001) << false;

    DemoResponse withoutLength;
    withoutLength.body = text;
    withoutLength.sendContentLength = false;
    QTest::newRow("without Content-Length the body ends at the close")
        << withoutLength << text << false;

    DemoResponse cut = delayed;
    cut.cutAfterBytes = 4500;
    QTest::newRow("cut mid-body is an error after the bytes before it")
        << cut << text.left(4500) << true;

    DemoResponse cutGenerated;
    cutGenerated.generatedSize = 4 << 20;
    cutGenerated.cutAfterBytes = 1234567;
    QTest::newRow("cut in a fast generated body is an error after the bytes before it")
        << cutGenerated << DemoInstrument::patternBytes(0, 1234567) << true;
}
// clang-format on

void tst_DemoInstrument::streamedBody()
{
    QFETCH(DemoResponse, response);
    QFETCH(QByteArray, expectedBody);
    QFETCH(bool, expectError);

    m_instrument->setResponse(QStringLiteral("/downloads/data.bin"), response);
    QSignalSpy finished(m_instrument.get(), &DemoInstrument::responseFinished);
    const auto reply = get("/downloads/data.bin?ignored=1");
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->error() != QNetworkReply::NoError, expectError);
    QCOMPARE(reply->readAll(), expectedBody);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toString(), QStringLiteral("/downloads/data.bin"));
}

void tst_DemoInstrument::generatedBodyMatchesPattern()
{
    const qint64 size = 64 << 20;
    DemoResponse response;
    response.generatedSize = size;
    m_instrument->setResponse(QStringLiteral("/big.bin"), response);

    QCryptographicHash expected(QCryptographicHash::Sha256);
    for (qint64 offset = 0; offset < size; offset += 1 << 20)
        expected.addData(DemoInstrument::patternBytes(offset, 1 << 20));

    const auto reply = get("/big.bin");
    QCryptographicHash received(QCryptographicHash::Sha256);
    qint64 receivedSize = 0;
    connect(reply.get(), &QNetworkReply::readyRead, reply.get(), [&] {
        const QByteArray data = reply->readAll();
        receivedSize += data.size();
        received.addData(data);
    });
    QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished(), 60000);
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(receivedSize, size);
    QCOMPARE(received.result().toHex(), expected.result().toHex());
}

void tst_DemoInstrument::patternHasNoShortPeriod()
{
    const QByteArray head = DemoInstrument::patternBytes(0, 64);
    for (qint64 period = 1; period <= (qint64(1) << 32); period *= 2)
        QVERIFY2(DemoInstrument::patternBytes(period, 64) != head,
                 qPrintable(QString::number(period)));
}

void tst_DemoInstrument::stalledResponseEndsWithServer()
{
    DemoResponse response;
    response.generatedSize = 100000;
    response.stallAfterBytes = 5000;
    m_instrument->setResponse(QStringLiteral("/slow.bin"), response);
    QSignalSpy finished(m_instrument.get(), &DemoInstrument::responseFinished);

    const auto reply = get("/slow.bin");
    QTRY_COMPARE(reply->bytesAvailable(), qint64(5000));
    QCOMPARE(finished.count(), 1);
    QVERIFY(!reply->isFinished());

    m_instrument.reset();
    QTRY_VERIFY(reply->isFinished());
    QVERIFY(reply->error() != QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), DemoInstrument::patternBytes(0, 5000));
}

// clang-format off
void tst_DemoInstrument::rawRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("HEAD gets the headers only")
        << QByteArray("HEAD /item HTTP/1.1\r\nHost: a\r\n\r\n") << QByteArray("HTTP/1.1 200 OK")
        << QByteArray();
    QTest::newRow("further requests on the connection are ignored")
        << QByteArray("GET /item HTTP/1.1\r\n\r\nGET /Quorin/ HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK") << QByteArray("item\n");
    QTest::newRow("other methods are not allowed")
        << QByteArray("DELETE /item HTTP/1.1\r\n\r\n")
        << QByteArray("HTTP/1.1 405 Method Not Allowed") << QByteArray("Method not allowed\n");
    QTest::newRow("a request line without version is bad")
        << QByteArray("GET /Quorin/\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request")
        << QByteArray("Bad request\n");
    // One byte over the 64 KiB limit, all of it sent before the server answers.
    QTest::newRow("a head without end is refused")
        << QByteArray("GET /Quorin/ HTTP/1.1\r\nX: ").leftJustified(64 * 1024 + 1, 'x')
        << QByteArray("HTTP/1.1 431 Request Header Fields Too Large")
        << QByteArray("Request header fields too large\n");
}
// clang-format on

void tst_DemoInstrument::rawRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, body);

    DemoResponse item;
    item.body = "item\n";
    m_instrument->setResponse(QStringLiteral("/item"), item);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_instrument->serverPort());
    QVERIFY(socket.waitForConnected());
    socket.write(request);
    QByteArray response;
    connect(&socket, &QTcpSocket::readyRead, &socket, [&] { response += socket.readAll(); });
    // The server closes every connection after its response.
    QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    response += socket.readAll();

    const int headEnd = response.indexOf("\r\n\r\n");
    QVERIFY2(headEnd > 0, response.constData());
    const QList<QByteArray> headLines = response.left(headEnd).split('\n');
    QCOMPARE(headLines.first(), statusLine + '\r');
    QVERIFY(headLines.contains("Connection: close\r"));
    QCOMPARE(response.mid(headEnd + 4), body);
    QCOMPARE(m_instrument->requestLines(),
             QList<QByteArray>{request.left(request.indexOf("\r\n"))});
}

void tst_DemoInstrument::executableReportsRequestsAndEndsOnSigterm()
{
    QProcess process;
    process.start(QStringLiteral(KESTRION_DEMO_INSTRUMENT), {QStringLiteral("--port=0")});
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY(process.canReadLine());
    const QRegularExpressionMatch listening
        = QRegularExpression(
              QStringLiteral("^listening on (http://127\\.0\\.0\\.1:\\d+)/Quorin/\n$"))
              .match(QString::fromUtf8(process.readLine()));
    QVERIFY(listening.hasMatch());

    const QUrl url(listening.captured(1) + QStringLiteral("/Quorin/?client=Desktop"));
    const std::unique_ptr<QNetworkReply> reply(m_manager.get(QNetworkRequest(url)));
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    QTRY_VERIFY(process.canReadLine());
    QCOMPARE(process.readLine(), QByteArray("GET /Quorin/?client=Desktop HTTP/1.1\n"));

    process.terminate();
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

// clang-format off
void tst_DemoInstrument::executableRefuses_data()
{
    QTest::addColumn<QString>("argument");

    // PORT stands for the port that this test's own server already holds.
    QTest::newRow("a port in use") << "--port=PORT";
    QTest::newRow("a port that is no number") << "--port=http";
    QTest::newRow("an address that is no IP address") << "--address=instrument.invalid";
    QTest::newRow("a pace without a piece size") << "--pace=0:1";
}
// clang-format on

void tst_DemoInstrument::executableRefuses()
{
    QFETCH(QString, argument);

    QProcess process;
    process.start(
        QStringLiteral(KESTRION_DEMO_INSTRUMENT),
        {argument.replace(QStringLiteral("PORT"), QString::number(m_instrument->serverPort()))});
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardOutput().isEmpty());
    QVERIFY(!process.readAllStandardError().isEmpty());
}

QTEST_GUILESS_MAIN(tst_DemoInstrument)

#include "tst_demoinstrument.moc"
