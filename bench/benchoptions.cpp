#include "benchoptions.h"

#include <QFile>
#include <QJsonDocument>
#include <QTextStream>

BenchOptions parseBenchOptions(const QStringList &arguments, int defaultRepetitions)
{
    BenchOptions options{defaultRepetitions, QString(), QStringList()};
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--repetitions") && i + 1 < arguments.size())
            options.repetitions = arguments[++i].toInt();
        else if (arguments[i] == QLatin1String("--json") && i + 1 < arguments.size())
            options.jsonPath = arguments[++i];
        else
            options.others << arguments[i];
    }
    return options;
}

bool writeJsonReport(const QString &path, const QJsonObject &report)
{
    if (path.isEmpty())
        return true;
    QFile json(path);
    if (json.open(QIODevice::WriteOnly) && json.write(QJsonDocument(report).toJson()) > 0
        && json.flush())
        return true;
    QTextStream(stderr) << "cannot write " << path << ": " << json.errorString() << Qt::endl;
    return false;
}
