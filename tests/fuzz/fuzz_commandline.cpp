// libFuzzer target: whatever arguments the program is started with, the start URL's query keeps
// its shape: one client item, the host items that the arguments name (or the dialog's), and one
// touch item at the end.

#include "app/commandline.h"

#include <QChar>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using Items = QList<QPair<QString, QString>>;

const QString usbAddress = QStringLiteral("192.168.7.1");

[[noreturn]] void violated(const char *rule, const QStringList &arguments, const QString &query)
{
    std::fprintf(stderr, "invariant violated: %s\narguments: %s\nquery: %s\n", rule,
                 arguments.join(QStringLiteral(" | ")).toUtf8().constData(),
                 query.toUtf8().constData());
    std::abort();
}

// The host option's word class is that of QRegExp, decided per UTF-16 unit: letters, digits,
// marks of any script and the underscore. QRegularExpression decides per code point and with
// its own Unicode tables, so every non-ASCII unit is first replaced by an ASCII stand-in of the
// same class; positions stay the same, and the capture is read from the original argument.
QString asciiStandIn(const QString &argument)
{
    QString standIn = argument;
    for (QChar &unit : standIn) {
        if (unit.unicode() < 0x80)
            continue;
        unit = (unit.isLetterOrNumber() || unit.isMark()) ? QLatin1Char('w') : QLatin1Char(' ');
    }
    return standIn;
}

// The host items that the arguments name, in argument order, found without QRegExp.
QStringList namedHosts(const QStringList &arguments)
{
    static const QRegularExpression hostOption(QStringLiteral("--host=([\\w|\\-|\\.]+)"));
    QStringList hosts;
    for (int i = 1; i < arguments.size(); ++i) {
        const QRegularExpressionMatch match = hostOption.match(asciiStandIn(arguments.at(i)));
        if (match.hasMatch())
            hosts << arguments.at(i).mid(match.capturedStart(1), match.capturedLength(1));
    }
    return hosts;
}

QStringList valuesOf(const Items &items, const QString &key)
{
    QStringList values;
    for (const auto &item : items) {
        if (item.first == key)
            values << item.second;
    }
    return values;
}

void expectShape(const Items &items, const QStringList &expectedHosts, const QStringList &arguments,
                 const QString &query)
{
    if (items.isEmpty() || items.last() != qMakePair(QStringLiteral("touch"), QStringLiteral("On")))
        violated("touch is not the last item", arguments, query);
    if (valuesOf(items, QStringLiteral("touch")).size() != 1)
        violated("not exactly one touch item", arguments, query);
    if (valuesOf(items, QStringLiteral("client")).size() != 1)
        violated("not exactly one client item", arguments, query);
    if (valuesOf(items, QStringLiteral("host")) != expectedHosts)
        violated("host items differ from the named hosts", arguments, query);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Arguments are separated by NUL bytes, as in the process's argument vector.
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QStringList arguments;
    for (const QByteArray &argument : input.split('\0'))
        arguments << QString::fromUtf8(argument);

    StartParameters start = composeStartParameters(arguments);
    QStringList expectedHosts = namedHosts(arguments);
    if (start.hostNamed != !expectedHosts.isEmpty())
        violated("host-named flag differs from the host arguments", arguments,
                 start.query.toString());
    if (!start.hostNamed) {
        applyChosenAddress(start, usbAddress);
        expectedHosts << usbAddress;
    }
    completeStartUrl(start);

    const QString query = start.query.toString(QUrl::FullyDecoded);
    expectShape(start.query.queryItems(QUrl::FullyDecoded), expectedHosts, arguments, query);
    // The view receives the URL, so its query must read back the same; a URL that does not
    // parse is handed on unchanged and fails only when loaded.
    if (start.url.isValid()) {
        const QUrlQuery sent(start.url);
        expectShape(sent.queryItems(QUrl::FullyDecoded), expectedHosts, arguments,
                    start.url.toString());
    }
    return 0;
}
