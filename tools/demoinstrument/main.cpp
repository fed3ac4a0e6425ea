#include "demoinstrument/demoinstrument.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void writeSignalByte(int)
{
    // Only async-signal-safe work here; the event loop reads the byte and quits.
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop, so that the server closes its sockets on the way out.
bool quitOnTerminationSignals(QCoreApplication &app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = writeSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0
           && ::sigaction(SIGINT, &action, nullptr) == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream errors(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves a demo of the instrument's web interface and its downloads."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Address to listen on."),
                                           QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on, 0 for any free one."),
                                        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption dropOption(
        QStringLiteral("drop"),
        QStringLiteral("Drop every connection for PATH without an answer (repeatable)."),
        QStringLiteral("PATH"));
    parser.addOptions({addressOption, portOption, dropOption});
    if (!parser.parse(app.arguments())) {
        errors << parser.errorText() << Qt::endl;
        return 2;
    }
    if (parser.isSet(helpOption))
        parser.showHelp(0);

    QHostAddress address;
    if (!address.setAddress(parser.value(addressOption))) {
        errors << "not an IP address: " << parser.value(addressOption) << Qt::endl;
        return 2;
    }
    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    if (!portValid || port > 65535) {
        errors << "not a port number: " << parser.value(portOption) << Qt::endl;
        return 2;
    }

    DemoInstrument instrument;
    DemoResponse drop;
    drop.dropWithoutResponse = true;
    for (const QString &path : parser.values(dropOption))
        instrument.setResponse(path, drop);
    if (!instrument.listen(address, quint16(port))) {
        errors << "cannot listen on " << address.toString() << " port " << port << ": "
               << instrument.errorString() << Qt::endl;
        return 2;
    }
    if (!quitOnTerminationSignals(app)) {
        errors << "cannot handle termination signals" << Qt::endl;
        return 2;
    }

    // Tests read these lines from a pipe, so each one is flushed at once.
    QTextStream output(stdout);
    output << "listening on " << instrument.baseUrl().toString() << "/Quorin/" << Qt::endl;
    QObject::connect(&instrument, &DemoInstrument::requestReceived, &app,
                     [&output](const QByteArray &requestLine) {
                         output << requestLine << Qt::endl;
                     });
    return app.exec();
}
