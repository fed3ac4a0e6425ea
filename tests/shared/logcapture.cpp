#include "logcapture.h"

#include <QFile>

QStringList logLines;
QStringList connectWarnings;

namespace {

QtMessageHandler previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(QLatin1String("QObject::connect:")))
        connectWarnings << text;
    if (type == QtDebugMsg) {
        logLines << text;
        return;
    }
    // The offscreen platform says so for every file dialog: only noise here.
    if (text == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    previousHandler(type, context, text);
}

} // namespace

void startLogCapture()
{
    previousHandler = qInstallMessageHandler(recordMessage);
}

void stopLogCapture()
{
    qInstallMessageHandler(previousHandler);
}

int linesStartingWith(const QString &prefix)
{
    int count = 0;
    for (const QString &line : qAsConst(logLines))
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

bool logged(const QString &line)
{
    return logLines.contains(line);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
