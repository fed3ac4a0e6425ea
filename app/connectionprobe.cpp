#include "connectionprobe.h"

#include <QNetworkProxy>

#include <algorithm>

ConnectionProbe::ConnectionProbe(QObject *parent)
    : QObject(parent)
{
    // Only the instrument itself tells whether it is there: no proxy answers for it.
    m_socket.setProxy(QNetworkProxy::NoProxy);
    m_turn.setSingleShot(true);
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(timeLimitMs);
    connect(&m_turn, &QTimer::timeout, this, &ConnectionProbe::connectNow);
    connect(&m_timeLimit, &QTimer::timeout, this, [this] { conclude(false); });
    connect(&m_socket, &QTcpSocket::connected, this, [this] { conclude(true); });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] { conclude(false); });
}

void ConnectionProbe::probe(const QString &host, quint16 port)
{
    if (m_inFlight)
        return;
    m_host = host;
    m_port = port;
    if (m_turn.isActive())
        return;
    const qint64 sinceLast
        = m_sinceLastAttempt.isValid() ? m_sinceLastAttempt.elapsed() : qint64(minimumIntervalMs);
    m_turn.start(int(std::max<qint64>(0, minimumIntervalMs - sinceLast)));
}

void ConnectionProbe::cancel()
{
    m_turn.stop();
    m_timeLimit.stop();
    m_inFlight = false;
    m_socket.abort();
}

void ConnectionProbe::connectNow()
{
    m_sinceLastAttempt.start();
    m_inFlight = true;
    m_timeLimit.start();
    m_socket.connectToHost(m_host, m_port);
}

void ConnectionProbe::conclude(bool connected)
{
    // Aborting may report once more; only the attempt that runs has an outcome.
    if (!m_inFlight)
        return;
    m_inFlight = false;
    m_timeLimit.stop();
    m_socket.abort();
    emit finished(connected);
}
