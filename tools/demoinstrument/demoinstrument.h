#pragma once

#include "demoinstrument/demoresponse.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QUrl>

// A small HTTP/1.1 server that imitates the instrument's web server: the start page under
// /Quorin/, three downloads under /downloads/ and whatever canned responses a test sets. Every
// connection carries one request and is closed after the response.
class DemoInstrument : public QObject
{
    Q_OBJECT
public:
    explicit DemoInstrument(QObject *parent = nullptr);

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = 0);
    QString errorString() const;
    quint16 serverPort() const;
    // For example http://127.0.0.1:PORT, without a path; empty while not listening.
    QUrl baseUrl() const;

    // Exact match on the decoded path; the query is ignored. Replaces a default route too.
    void setResponse(const QString &path, const DemoResponse &response);
    // Makes the start page load itself again every so many seconds, as a page that follows the
    // instrument's state does; 0, the default, never.
    void setStartPageRefresh(int seconds);
    // Makes the next start pages served run an endless loop afterMs after they show, as a page
    // whose script stops answering does; pages served after that many behave again.
    void setStartPageHangs(int count, int afterMs);
    // Every request line received, in order, such as "GET /Quorin/?a=b HTTP/1.1".
    QList<QByteArray> requestLines() const;
    // The whole head of every request, in the same order: the request line and the header lines,
    // so that a test can see what a client sent besides the address.
    QList<QByteArray> requestHeads() const;

    // The bytes of a generated body from offset on: cheap to make, the same on every run, and
    // without a short period, so that a misplaced or repeated chunk changes a checksum.
    static QByteArray patternBytes(qint64 offset, qint64 size);

signals:
    void requestReceived(const QByteArray &requestLine);
    // Every byte the response will send has been handed to the socket: the whole response, or
    // the bytes up to a stall, or up to a cut once the connection is aborted.
    void responseFinished(const QString &path);
    // A client connected and went again without asking for anything, as a probe of whether the
    // instrument is there does.
    void connectionWithoutRequest();

private:
    void acceptConnections();
    DemoResponse responseFor(const QUrl &target) const;

    QTcpServer m_server;
    QHash<QString, DemoResponse> m_responses;
    int m_startPageRefreshSeconds = 0;
    // Served from a const function: counts what has been served, not what the server is.
    mutable int m_startPageHangs = 0;
    int m_startPageHangAfterMs = 0;
    QList<QByteArray> m_requestLines;
    QList<QByteArray> m_requestHeads;
};
