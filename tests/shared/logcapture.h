#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What the code under test logs, kept for the checks: its debug lines in logLines, and any
// "QObject::connect:" warning (a string-based connection that did not resolve) in
// connectWarnings. Every other message still goes on to Qt's own handler.
extern QStringList logLines;
extern QStringList connectWarnings;

void startLogCapture();
void stopLogCapture();

int linesStartingWith(const QString &prefix);
bool logged(const QString &line);

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);
