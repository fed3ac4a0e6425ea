#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A folder of its own for a download test: a home, a temporary directory, a folder to unpack
// into, and stand-ins for pdftocairo and 7za that record their arguments and a copy of the file
// they were given, as it was then. HOME and TMPDIR point into it and the stand-ins come first
// on PATH for as long as it lives; all three are put back when it goes.
class TestSandbox
{
public:
    TestSandbox();
    ~TestSandbox();
    TestSandbox(const TestSandbox &) = delete;
    TestSandbox &operator=(const TestSandbox &) = delete;

    // False, after a warning that says why, when any of it could not be set up.
    bool isReady() const { return m_ready; }

    QString filePath(const QString &name) const { return m_root.filePath(name); }
    QString home() const { return filePath(QStringLiteral("home")); }
    QString temp() const { return filePath(QStringLiteral("tmp")); }
    QString tools() const { return filePath(QStringLiteral("tools")); }
    QString unpack() const { return filePath(QStringLiteral("unpack")); }
    // PATH as it was, with the real tools.
    QByteArray originalPath() const { return m_originalPath; }

    // The arguments of the stand-in's last run; empty when it has not run.
    QStringList toolArguments(const QString &tool) const;
    // The copy of the file that the stand-in's last run was given.
    QByteArray toolInput(const QString &tool) const;
    // The permissions of that file, in octal as stat writes them ("600").
    QString toolInputMode(const QString &tool) const;
    // The copies of the files of every run, in no particular order.
    QList<QByteArray> toolInputs(const QString &tool) const;
    // The stand-in's last run had a session of its own, without a terminal to prompt on.
    bool toolLedItsSession(const QString &tool) const;
    // Forgets the stand-ins' runs, for the next download in the same sandbox.
    void forgetToolRuns();

private:
    bool setUp();

    QTemporaryDir m_root;
    QByteArray m_originalPath;
    QByteArray m_originalHome;
    QByteArray m_originalTemp;
    bool m_hadHome = false;
    bool m_hadTemp = false;
    bool m_ready = false;
};

// The names in the folder, special files and hidden ones included, in order.
QStringList entries(const QString &directory);
// What the files under a folder hold together, in every sub-folder.
qint64 bytesUnder(const QString &directory);
// The files, sockets and pipes this process holds open.
int openFileDescriptors();
// What they are: paths, or "socket:[…]", "pipe:[…]" and the like, sorted.
QStringList openFileDescriptorTargets();
