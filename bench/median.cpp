#include "median.h"

#include <algorithm>

double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

QString secondsTable(const QString &timed, const QVector<double> &seconds)
{
    return QStringLiteral("| %1 | median of %2 s | fastest s | slowest s |\n|---|---|---|---|\n"
                          "| the program | %3 | %4 | %5 |")
        .arg(timed)
        .arg(seconds.size())
        .arg(median(seconds), 0, 'f', 2)
        .arg(*std::min_element(seconds.begin(), seconds.end()), 0, 'f', 2)
        .arg(*std::max_element(seconds.begin(), seconds.end()), 0, 'f', 2);
}

QJsonObject secondsReport(const QString &benchmark, const QVector<double> &seconds)
{
    return QJsonObject{{"benchmark", benchmark},
                       {"repetitions", seconds.size()},
                       {"medianSeconds", median(seconds)},
                       {"fastestSeconds", *std::min_element(seconds.begin(), seconds.end())},
                       {"slowestSeconds", *std::max_element(seconds.begin(), seconds.end())}};
}
