#include "app/connectionprobe.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <cerrno>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A listener on 127.0.0.1 that never accepts, its queue filled by connections of its own: the
// kernel then drops every further attempt without an answer, as a typed LAN address does that
// nothing sits behind. It needs no root and sends nothing off the machine.
class SilentListener
{
public:
    SilentListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0
            || ::listen(m_listener, 0) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return;
        // One fills the queue; the others make sure of it, each waiting for its own answer.
        for (int filler = 0; filler < 3; ++filler) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            m_fillers.push_back(fd);
            // Not blocking: the attempt is under way, or already in the queue.
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), length) != 0
                && errno != EINPROGRESS)
                return;
        }
        m_port = ntohs(address.sin_port);
    }
    ~SilentListener()
    {
        for (const int fd : m_fillers)
            ::close(fd);
        ::close(m_listener);
    }
    SilentListener(const SilentListener &) = delete;
    SilentListener &operator=(const SilentListener &) = delete;

    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
    quint16 m_port = 0;
};

} // namespace

// The probe tells whether a host takes a connection: one attempt at a time, spaced out, each
// bounded in time, and a cancelled one tells nothing.
class tst_ConnectionProbe : public QObject
{
    Q_OBJECT

private slots:
    void attempts_data();
    void attempts();
};

// clang-format off
void tst_ConnectionProbe::attempts_data()
{
    QTest::addColumn<QString>("first");
    // What the test does once the first probe has been asked for.
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QList<bool>>("reports");

    QTest::newRow("a listening host connects") << "listening" << "" << "" << QList<bool>{true};
    QTest::newRow("a refusing host does not") << "refusing" << "" << "" << QList<bool>{false};
    QTest::newRow("a host that never answers is given up at the time limit")
        << "silent" << "" << "" << QList<bool>{false};
    QTest::newRow("cancelled before its turn it tells nothing")
        << "refusing" << "cancel" << "" << QList<bool>{};
    QTest::newRow("cancelled in flight it tells nothing; the next probe tells its own")
        << "silent" << "cancel in flight" << "listening" << QList<bool>{true};
    QTest::newRow("a new target before its turn is the one tried")
        << "refusing" << "" << "listening" << QList<bool>{true};
    QTest::newRow("a new target while one is in flight changes nothing")
        << "silent" << "in flight" << "listening" << QList<bool>{false};
}
// clang-format on

void tst_ConnectionProbe::attempts()
{
    QFETCH(QString, first);
    QFETCH(QString, then);
    QFETCH(QString, second);
    QFETCH(QList<bool>, reports);

    QTcpServer listening;
    QVERIFY(listening.listen(QHostAddress::LocalHost));
    QTcpServer refusing;
    QVERIFY(refusing.listen(QHostAddress::LocalHost));
    const quint16 refusingPort = refusing.serverPort();
    refusing.close();
    const SilentListener silent;
    QVERIFY(silent.port() != 0);
    const auto portOf = [&](const QString &target) {
        return target == QLatin1String("listening")  ? listening.serverPort()
               : target == QLatin1String("refusing") ? refusingPort
                                                     : silent.port();
    };

    ConnectionProbe probe;
    QSignalSpy finished(&probe, &ConnectionProbe::finished);
    probe.probe(QStringLiteral("127.0.0.1"), portOf(first));
    if (then.endsWith(QLatin1String("in flight")))
        QTRY_VERIFY(probe.isInFlight());
    if (then.startsWith(QLatin1String("cancel")))
        probe.cancel();
    if (!second.isEmpty())
        probe.probe(QStringLiteral("127.0.0.1"), portOf(second));

    // The time limit and the spacing of attempts together, with room for a busy machine.
    const int timeout = 10 * (ConnectionProbe::minimumIntervalMs + ConnectionProbe::timeLimitMs);
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), reports.size(), timeout);
    // Whatever was dropped or ignored would have told by now.
    if (!then.isEmpty())
        QVERIFY(!finished.wait(ConnectionProbe::minimumIntervalMs + ConnectionProbe::timeLimitMs));
    QList<bool> told;
    for (const QList<QVariant> &report : qAsConst(finished))
        told << report.first().toBool();
    QCOMPARE(told, reports);
}

QTEST_MAIN(tst_ConnectionProbe)
#include "tst_connectionprobe.moc"
