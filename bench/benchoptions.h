#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

// What every benchmark takes, however else it is called: how often to run, and where to leave
// its figures for a machine to read.
struct BenchOptions
{
    int repetitions;
    QString jsonPath;
    // The arguments after the program's name that are none of the above, in their order.
    QStringList others;
};

BenchOptions parseBenchOptions(const QStringList &arguments, int defaultRepetitions);

// Writes the figures to path, unless no path was asked for. A benchmark whose figures cannot be
// written has failed: false, and the reason on standard error.
bool writeJsonReport(const QString &path, const QJsonObject &report);
