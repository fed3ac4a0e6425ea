#include "demoinstrument/democonnection.h"

#include "demoinstrument/demoinstrument.h"

#include <QDateTime>
#include <QLocale>
#include <QTcpSocket>
#include <QUrl>

namespace {

// Enough for any real client; a longer head is refused rather than buffered without end.
constexpr int maxRequestHeadBytes = 64 * 1024;
constexpr qint64 defaultChunkSize = 64 * 1024;
// Refill the socket only below this, so that even a huge body costs a few hundred KiB at most.
constexpr qint64 maxQueuedBytes = 256 * 1024;

QByteArray httpDate()
{
    const QString format = QStringLiteral("ddd, dd MMM yyyy hh:mm:ss");
    return QLocale::c().toString(QDateTime::currentDateTimeUtc(), format).toLatin1() + " GMT";
}

} // namespace

DemoConnection::DemoConnection(QTcpSocket *socket, Router router, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_router(std::move(router))
{
    m_socket->setParent(this);
    m_delayTimer.setSingleShot(true);
    connect(&m_delayTimer, &QTimer::timeout, this, [this] {
        m_delayElapsed = true;
        sendMore();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &DemoConnection::readRequest);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &DemoConnection::sendMore);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_requestComplete && m_requestHead.isEmpty())
            emit closedWithoutRequest();
        deleteLater();
    });
}

void DemoConnection::readRequest()
{
    // Read everything, also after the head: unread data would make closing the socket reset the
    // connection and lose the end of the response.
    const QByteArray data = m_socket->readAll();
    if (m_requestComplete)
        return;
    m_requestHead += data;
    const int end = m_requestHead.indexOf("\r\n\r\n");
    if (end < 0 && m_requestHead.size() <= maxRequestHeadBytes)
        return;
    m_requestComplete = true;
    const bool tooLarge = end < 0 || end > maxRequestHeadBytes;
    handleRequestHead(m_requestHead.left(tooLarge ? maxRequestHeadBytes : end), tooLarge);
    m_requestHead.clear();
}

void DemoConnection::handleRequestHead(const QByteArray &head, bool tooLarge)
{
    const int lineEnd = head.indexOf('\n');
    QByteArray requestLine = lineEnd < 0 ? head : head.left(lineEnd);
    if (requestLine.endsWith('\r'))
        requestLine.chop(1);
    emit requestReceived(requestLine, head);

    if (tooLarge) {
        respond(DemoResponse::plainText(431, "Request Header Fields Too Large",
                                        "Request header fields too large\n"),
                true);
        return;
    }
    const QList<QByteArray> parts = requestLine.split(' ');
    const QUrl target
        = parts.size() == 3 ? QUrl::fromEncoded(parts.at(1), QUrl::StrictMode) : QUrl();
    if (parts.size() != 3 || parts.at(0).isEmpty() || !parts.at(1).startsWith('/')
        || !target.isValid() || (parts.at(2) != "HTTP/1.1" && parts.at(2) != "HTTP/1.0")) {
        respond(DemoResponse::plainText(400, "Bad Request", "Bad request\n"), true);
        return;
    }
    m_path = target.path(QUrl::FullyDecoded);
    const QByteArray &method = parts.at(0);
    if (method != "GET" && method != "HEAD") {
        DemoResponse notAllowed
            = DemoResponse::plainText(405, "Method Not Allowed", "Method not allowed\n");
        notAllowed.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET, HEAD")));
        respond(notAllowed, true);
        return;
    }
    respond(m_router(target), method == "GET");
}

void DemoConnection::respond(const DemoResponse &response, bool withBody)
{
    m_response = response;
    if (response.dropWithoutResponse) {
        m_socket->abort();
        m_finished = true;
        emit responseFinished(m_path);
        return;
    }
    if (response.answerNothing)
        return;
    m_chunkSize = response.chunkSize > 0 ? response.chunkSize : defaultChunkSize;
    const qint64 bodySize
        = response.generatedSize >= 0 ? response.generatedSize : response.body.size();

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.statusCode) + ' '
                      + response.reasonPhrase + "\r\n";
    head += "Date: " + httpDate() + "\r\n";
    head += "Server: kestrion-demo-instrument\r\n";
    head += "Connection: close\r\n";
    if (response.sendContentLength)
        head += "Content-Length: " + QByteArray::number(bodySize) + "\r\n";
    for (const QPair<QByteArray, QByteArray> &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    m_socket->write(head);

    m_bodyEnd = withBody ? bodySize : 0;
    m_ending = Ending::Close;
    if (response.stallAfterBytes >= 0 && response.stallAfterBytes <= m_bodyEnd) {
        m_bodyEnd = response.stallAfterBytes;
        m_ending = Ending::Stall;
    }
    // A cut wins over a stall at the same byte.
    if (response.cutAfterBytes >= 0 && response.cutAfterBytes <= m_bodyEnd) {
        m_bodyEnd = response.cutAfterBytes;
        m_ending = Ending::Cut;
    }
    sendMore();
}

void DemoConnection::sendMore()
{
    if (m_finished || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    while (m_bodySent < m_bodyEnd && m_socket->bytesToWrite() < maxQueuedBytes) {
        if (m_chunksSent > 0 && m_response.chunkDelayMs > 0) {
            if (!m_delayElapsed) {
                if (!m_delayTimer.isActive())
                    m_delayTimer.start(m_response.chunkDelayMs);
                return;
            }
            m_delayElapsed = false;
        }
        const qint64 size = qMin(m_chunkSize, m_bodyEnd - m_bodySent);
        m_socket->write(m_response.generatedSize >= 0
                            ? DemoInstrument::patternBytes(m_bodySent, size)
                            : m_response.body.mid(int(m_bodySent), int(size)));
        m_bodySent += size;
        ++m_chunksSent;
    }
    if (m_bodySent == m_bodyEnd)
        finish();
}

void DemoConnection::finish()
{
    switch (m_ending) {
    case Ending::Close:
        // Sends what is still queued before the connection closes.
        m_socket->disconnectFromHost();
        break;
    case Ending::Cut:
        // Aborting discards what the socket still queues, and the cut must come after exactly
        // the bytes asked for.
        if (m_socket->bytesToWrite() > 0)
            return;
        m_socket->abort();
        break;
    case Ending::Stall:
        break;
    }
    m_finished = true;
    emit responseFinished(m_path);
}
