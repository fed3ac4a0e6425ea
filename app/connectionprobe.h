#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTcpSocket>
#include <QTimer>

// Finds out whether a host accepts a TCP connection on a port, and sends nothing over it: cheap
// enough to ask again and again while the instrument is away. At most one attempt is in flight,
// attempts start at least minimumIntervalMs apart, and each gives up after timeLimitMs, since a
// typed LAN address may drop packets rather than refuse them.
class ConnectionProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr int minimumIntervalMs = 2000;
    static constexpr int timeLimitMs = 1500;

    explicit ConnectionProbe(QObject *parent = nullptr);

    // Tries host:port as soon as the interval allows, and tells the outcome by finished(). While
    // an attempt waits for its turn, a call changes only where it goes; while one is in flight,
    // a call changes nothing.
    void probe(const QString &host, quint16 port);
    // Drops the attempt that waits or runs; it reports nothing.
    void cancel();
    // An attempt has been made and has no outcome yet.
    bool isInFlight() const { return m_inFlight; }

signals:
    void finished(bool connected);

private:
    void connectNow();
    void conclude(bool connected);

    QTcpSocket m_socket;
    QTimer m_turn;
    QTimer m_timeLimit;
    QElapsedTimer m_sinceLastAttempt;
    QString m_host;
    quint16 m_port = 0;
    // Not the time limit's timer: that one is no longer active when it has run out.
    bool m_inFlight = false;
};
