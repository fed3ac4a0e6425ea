#include "demoinstrument/demoinstrument.h"

#include "demoinstrument/democonnection.h"
#include "demoinstrument/democontent.h"

#include <QTcpSocket>
#include <QUrlQuery>
#include <QtEndian>

namespace {

const QString startPagePath = QStringLiteral("/Quorin/");

// splitmix64's finaliser: every 8-byte word of a generated body is the hash of its index.
quint64 patternWord(quint64 index)
{
    quint64 z = index * 0x9e3779b97f4a7c15ULL + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

DemoInstrument::DemoInstrument(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &DemoInstrument::acceptConnections);
    setResponse(QStringLiteral("/downloads/report.csv"),
                DemoResponse::attachment("report.csv", DemoContent::reportCsv()));
    setResponse(QStringLiteral("/downloads/print.pdf"),
                DemoResponse::attachment("print.pdf", DemoContent::printPdf()));
    setResponse(QStringLiteral("/downloads/results.zip"),
                DemoResponse::attachment("results.zip", DemoContent::resultsZip()));
}

bool DemoInstrument::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

QString DemoInstrument::errorString() const
{
    return m_server.errorString();
}

quint16 DemoInstrument::serverPort() const
{
    return m_server.serverPort();
}

QUrl DemoInstrument::baseUrl() const
{
    if (!m_server.isListening())
        return QUrl();
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(m_server.serverAddress().toString());
    url.setPort(m_server.serverPort());
    return url;
}

void DemoInstrument::setResponse(const QString &path, const DemoResponse &response)
{
    m_responses.insert(path, response);
}

void DemoInstrument::setStartPageRefresh(int seconds)
{
    m_startPageRefreshSeconds = seconds;
}

QList<QByteArray> DemoInstrument::requestLines() const
{
    return m_requestLines;
}

QList<QByteArray> DemoInstrument::requestHeads() const
{
    return m_requestHeads;
}

QByteArray DemoInstrument::patternBytes(qint64 offset, qint64 size)
{
    if (offset < 0 || size <= 0)
        return QByteArray();
    QByteArray bytes(int(size), Qt::Uninitialized);
    char *out = bytes.data();
    qint64 position = offset;
    const qint64 end = offset + size;
    while (position < end) {
        const quint64 word = patternWord(quint64(position) / 8);
        const int first = int(position % 8);
        if (first == 0 && end - position >= 8) {
            qToLittleEndian(word, out);
            out += 8;
            position += 8;
            continue;
        }
        for (int byte = first; byte < 8 && position < end; ++byte, ++position)
            *out++ = char(word >> (8 * byte));
    }
    return bytes;
}

void DemoInstrument::acceptConnections()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        auto connection = new DemoConnection(
            socket, [this](const QUrl &target) { return responseFor(target); }, this);
        connect(connection, &DemoConnection::requestReceived, this,
                [this](const QByteArray &requestLine, const QByteArray &head) {
                    m_requestLines.append(requestLine);
                    m_requestHeads.append(head);
                    emit requestReceived(requestLine);
                });
        connect(connection, &DemoConnection::responseFinished, this,
                &DemoInstrument::responseFinished);
        connect(connection, &DemoConnection::closedWithoutRequest, this,
                &DemoInstrument::connectionWithoutRequest);
    }
}

void DemoInstrument::setStartPageHangs(int count, int afterMs)
{
    m_startPageHangs = count;
    m_startPageHangAfterMs = afterMs;
}

DemoResponse DemoInstrument::responseFor(const QUrl &target) const
{
    const QString path = target.path(QUrl::FullyDecoded);
    const auto found = m_responses.constFind(path);
    if (found != m_responses.constEnd())
        return found.value();
    // The start page shows the query it was given, so it is made for each request.
    if (path == startPagePath) {
        DemoResponse page;
        page.headers = {{"Content-Type", "text/html; charset=utf-8"}};
        if (m_startPageRefreshSeconds > 0)
            page.headers.append(
                qMakePair(QByteArray("Refresh"), QByteArray::number(m_startPageRefreshSeconds)));
        page.body = DemoContent::startPage(QUrlQuery(target));
        if (m_startPageHangs > 0) {
            --m_startPageHangs;
            page.body.replace("</body>", "<script>setTimeout(() => { for (;;) {} }, "
                                             + QByteArray::number(m_startPageHangAfterMs)
                                             + ")</script></body>");
        }
        return page;
    }
    return DemoResponse::plainText(404, "Not Found", "Not found\n");
}
