#pragma once

#include "demoinstrument/demoresponse.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QTcpSocket;
class QUrl;

// Serves one request on one accepted socket, then closes it: reads the request head, takes the
// response from the router and streams the body at the pace the socket drains.
class DemoConnection : public QObject
{
    Q_OBJECT
public:
    // Picks the response for a request target (path and query).
    using Router = std::function<DemoResponse(const QUrl &target)>;

    DemoConnection(QTcpSocket *socket, Router router, QObject *parent = nullptr);

signals:
    // head: the request line and the header lines, without the blank line that ends them.
    void requestReceived(const QByteArray &requestLine, const QByteArray &head);
    // See DemoInstrument::responseFinished.
    void responseFinished(const QString &path);
    // The client closed the connection before a byte of a request had come.
    void closedWithoutRequest();

private:
    enum class Ending : quint8 { Close, Cut, Stall };

    void readRequest();
    void handleRequestHead(const QByteArray &head, bool tooLarge);
    void respond(const DemoResponse &response, bool withBody);
    void sendMore();
    void finish();

    QTcpSocket *m_socket;
    Router m_router;
    QByteArray m_requestHead;
    bool m_requestComplete = false;
    QString m_path;
    DemoResponse m_response;
    qint64 m_chunkSize = 0;
    qint64 m_bodySent = 0;
    qint64 m_bodyEnd = 0;
    Ending m_ending = Ending::Close;
    bool m_finished = false;
    int m_chunksSent = 0;
    bool m_delayElapsed = false;
    QTimer m_delayTimer;
};
