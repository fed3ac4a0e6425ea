#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// One canned HTTP response. Besides a fixed body it can stand for a large generated body and for
// the ways a transfer goes wrong in the field: slow chunks, a cut connection, a stalled server.
struct DemoResponse
{
    int statusCode = 200;
    QByteArray reasonPhrase = "OK";
    // Sent as given, after the server's own Date, Server, Connection and Content-Length.
    QList<QPair<QByteArray, QByteArray>> headers;
    // Used when generatedSize < 0.
    QByteArray body;
    // >= 0: a body of that many bytes of DemoInstrument::patternBytes, made chunk by chunk.
    qint64 generatedSize = -1;
    // Bytes per chunk; 0 means 64 KiB.
    qint64 chunkSize = 0;
    // Pause before every chunk after the first.
    int chunkDelayMs = 0;
    // >= 0: abort the connection once this many body bytes have left.
    qint64 cutAfterBytes = -1;
    // >= 0: send no more after this many body bytes, but keep the connection open until the
    // server goes away.
    qint64 stallAfterBytes = -1;
    bool sendContentLength = true;
    // Close the connection as soon as the request has arrived, without any answer: to the
    // browser this is an instrument that cannot be reached.
    bool dropWithoutResponse = false;
    // Keep the connection open without any answer, as a web server does that takes connections
    // while it boots.
    bool answerNothing = false;

    // 200 with Content-Disposition: attachment; filename="NAME", the form the shell relies on.
    static DemoResponse attachment(const QByteArray &fileName, const QByteArray &body);
    // A short text/plain answer, for errors.
    static DemoResponse plainText(int statusCode, const QByteArray &reasonPhrase,
                                  const QByteArray &body);
};
