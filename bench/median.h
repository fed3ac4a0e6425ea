#pragma once

#include <QVector>

// The middle of the values, or the mean of the two middle ones for an even count: the machines
// that run the benchmarks are noisy, and a median is not pulled off by one slow run. The values
// must not be empty.
double median(QVector<double> values);
