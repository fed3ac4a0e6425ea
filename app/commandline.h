#pragma once

#include <QStringList>
#include <QUrl>
#include <QUrlQuery>

// What the command line decides about the first page: where it is, which key=value items the
// instrument's web application receives in its query, and whether a host was named (which
// spares the user the connection dialog).
struct StartParameters
{
    QUrl url;
    QUrlQuery query;
    bool hostNamed = false;
};

// Scans the arguments (element 0, the program path, is skipped) against the eight options.
StartParameters composeStartParameters(const QStringList &arguments);

// The address chosen in the connection dialog replaces the start URL and is passed on as `host`.
void applyChosenAddress(StartParameters &parameters, const QString &chosenAddress);

// Appends the final `touch` item and puts the query on the URL, replacing any query it had.
void completeStartUrl(StartParameters &parameters);
