#include "commandline.h"

#include <QRegExp>

namespace {

const QString defaultStartUrl = QStringLiteral("qrc:/VelaSenchaTouch2/index.html");

// An option text counts wherever it stands in an argument, hence indexIn instead of exactMatch.
bool foundIn(QRegExp &pattern, const QString &argument)
{
    return pattern.indexIn(argument, 0, QRegExp::CaretAtZero) != -1;
}

} // namespace

StartParameters composeStartParameters(const QStringList &arguments)
{
    StartParameters parameters;
    parameters.url.setUrl(defaultStartUrl, QUrl::TolerantMode);

    QRegExp urlOption(QStringLiteral("--url=([^ ]*)"));
    QRegExp hostOption(QStringLiteral("--host=([\\w|\\-|\\.]+)"));
    QRegExp portOption(QStringLiteral("--port=([\\d]+)"));
    QRegExp clientOption(QStringLiteral("--client=([\\w]+)"));
    QRegExp keyboardOption(QStringLiteral("--keyboard"));
    QRegExp debugOption(QStringLiteral("--debug"));
    QRegExp demoOption(QStringLiteral("--demo"));
    QRegExp configureOption(QStringLiteral("--configure"));

    parameters.query.addQueryItem(QStringLiteral("client"), QStringLiteral("Desktop"));
    parameters.hostNamed = false;

    const QString on = QStringLiteral("On");
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (foundIn(urlOption, argument))
            parameters.url.setUrl(urlOption.cap(1), QUrl::TolerantMode);
        if (foundIn(hostOption, argument)) {
            parameters.query.addQueryItem(QStringLiteral("host"), hostOption.cap(1));
            parameters.hostNamed = true;
        }
        if (foundIn(portOption, argument))
            parameters.query.addQueryItem(QStringLiteral("port"), portOption.cap(1));
        if (foundIn(clientOption, argument)) {
            parameters.query.removeQueryItem(QStringLiteral("client"));
            parameters.query.addQueryItem(QStringLiteral("client"), clientOption.cap(1));
        }
        if (foundIn(keyboardOption, argument))
            parameters.query.addQueryItem(QStringLiteral("keyboard"), on);
        if (foundIn(debugOption, argument))
            parameters.query.addQueryItem(QStringLiteral("debug"), on);
        if (foundIn(demoOption, argument))
            parameters.query.addQueryItem(QStringLiteral("demo"), on);
        if (foundIn(configureOption, argument))
            parameters.query.addQueryItem(QStringLiteral("configure"), on);
    }
    return parameters;
}

void applyChosenAddress(StartParameters &parameters, const QString &chosenAddress)
{
    const QString address
        = QString::fromUtf8("http://") + chosenAddress + QString::fromUtf8("/Quorin/");
    parameters.query.addQueryItem(QStringLiteral("host"), chosenAddress);
    parameters.url.setUrl(address, QUrl::TolerantMode);
}

void completeStartUrl(StartParameters &parameters)
{
    parameters.query.addQueryItem(QStringLiteral("touch"), QStringLiteral("On"));
    parameters.url.setQuery(parameters.query);
}
