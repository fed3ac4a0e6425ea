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

// Fails the current test on any "QObject::connect:" warning since the last check, and forgets
// them for the next test.
void expectNoConnectWarnings();
// After a failed test, shows the last debug lines, which the capture otherwise keeps to itself.
void showLogTailIfFailed();

int linesStartingWith(const QString &prefix);
// The downloads whose end was handled: the bare line that opens DownloadItem::handleFinished,
// without the lines after it that carry more text.
int finishesHandled();
bool logged(const QString &line);
// The path that the last download was given, as its "downloadFileName=" line names it.
QString loggedDestination();

QByteArray readFile(const QString &path);
bool writeFile(const QString &path, const QByteArray &content);
