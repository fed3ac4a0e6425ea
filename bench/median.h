#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

// The middle of the values, or the mean of the two middle ones for an even count: the machines
// that run the benchmarks are noisy, and a median is not pulled off by one slow run. The values
// must not be empty.
double median(QVector<double> values);

// What the timing benchmarks report of their runs: a table row of the median, the fastest and
// the slowest run in seconds, under a heading that says what was timed, and the same figures
// (with the number of runs) for the JSON report. The values must not be empty.
QString secondsTable(const QString &timed, const QVector<double> &seconds);
QJsonObject secondsReport(const QString &benchmark, const QVector<double> &seconds);
