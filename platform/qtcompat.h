#pragma once

#include <QDebug>
#include <QStringList>

// What the program relies on where Qt 6 differs from Qt 5.15, in one place, so that the same
// code writes the same log lines on both.
namespace QtCompat {

// A list for a log line, in parentheses and separated by a comma and a space, as Qt 5 writes a
// QStringList; Qt 6 puts "QList" in front.
struct LoggedList
{
    const QStringList &items;
};
QDebug operator<<(QDebug debug, const LoggedList &list);

} // namespace QtCompat
