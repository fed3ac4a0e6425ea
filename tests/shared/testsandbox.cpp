#include "testsandbox.h"

#include "shared/logcapture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <unistd.h>

namespace {

const char *const standInTools[] = {"pdftocairo", "7za"};

void restore(const char *name, bool wasSet, const QByteArray &value)
{
    if (wasSet)
        qputenv(name, value);
    else
        qunsetenv(name);
}

} // namespace

TestSandbox::TestSandbox()
    : m_originalPath(qgetenv("PATH"))
    , m_originalHome(qgetenv("HOME"))
    , m_originalTemp(qgetenv("TMPDIR"))
    , m_hadHome(qEnvironmentVariableIsSet("HOME"))
    , m_hadTemp(qEnvironmentVariableIsSet("TMPDIR"))
{
    m_ready = setUp();
}

TestSandbox::~TestSandbox()
{
    qputenv("PATH", m_originalPath);
    restore("HOME", m_hadHome, m_originalHome);
    restore("TMPDIR", m_hadTemp, m_originalTemp);
}

bool TestSandbox::setUp()
{
    if (!m_root.isValid()) {
        qWarning("cannot create the sandbox: %s", qPrintable(m_root.errorString()));
        return false;
    }
    for (const char *folder : {"home", "tmp", "tools", "unpack"}) {
        if (!QDir(m_root.path()).mkdir(QLatin1String(folder))) {
            qWarning("cannot create %s in the sandbox", folder);
            return false;
        }
    }
    for (const char *tool : standInTools) {
        const QString path = tools() + QLatin1Char('/') + QLatin1String(tool);
        const QByteArray script
            = QByteArray("#!/bin/sh\n") + "printf '%s\\n' \"$@\" > \"${0%/*}/" + tool + ".args\"\n"
              + "if [ -f \"$2\" ]; then cp \"$2\" \"${0%/*}/" + tool
              + ".input\"; cp \"$2\" \"${0%/*}/" + tool
              + ".run.$$\"; stat -c %a \"$2\" > \"${0%/*}/" + tool + ".mode\"; fi\n"
              + "read -r _ _ _ _ _ session _ </proc/$$/stat\n"
              + "if [ \"$session\" = $$ ]; then : >\"${0%/*}/" + tool + ".leader\"; fi\n";
        if (!writeFile(path, script)
            || !QFile::setPermissions(path,
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
            qWarning("cannot write the stand-in %s", tool);
            return false;
        }
    }
    qputenv("HOME", QFile::encodeName(home()));
    qputenv("TMPDIR", QFile::encodeName(temp()));
    qputenv("PATH", QFile::encodeName(tools()) + ':' + m_originalPath);
    // Qt reads both afresh each time; a difference would mean the code under test looks
    // elsewhere.
    if (QDir::homePath() != home() || QDir::tempPath() != temp()) {
        qWarning("home %s and temporary directory %s are not the sandbox's",
                 qPrintable(QDir::homePath()), qPrintable(QDir::tempPath()));
        return false;
    }
    return true;
}

QStringList TestSandbox::toolArguments(const QString &tool) const
{
    const QByteArray recorded = readFile(tools() + QLatin1Char('/') + tool + ".args");
    if (recorded.isEmpty())
        return QStringList();
    return QString::fromUtf8(recorded.chopped(1)).split(QLatin1Char('\n'));
}

QByteArray TestSandbox::toolInput(const QString &tool) const
{
    return readFile(tools() + QLatin1Char('/') + tool + ".input");
}

QString TestSandbox::toolInputMode(const QString &tool) const
{
    return QString::fromLatin1(readFile(tools() + QLatin1Char('/') + tool + ".mode").trimmed());
}

QList<QByteArray> TestSandbox::toolInputs(const QString &tool) const
{
    QList<QByteArray> inputs;
    for (const QString &run :
         QDir(tools()).entryList({tool + QStringLiteral(".run.*")}, QDir::Files))
        inputs.append(readFile(tools() + QLatin1Char('/') + run));
    return inputs;
}

bool TestSandbox::toolLedItsSession(const QString &tool) const
{
    return QFile::exists(tools() + QLatin1Char('/') + tool + ".leader");
}

QStringList entries(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                                     QDir::Name);
}

qint64 bytesUnder(const QString &directory)
{
    qint64 total = 0;
    QDirIterator files(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        files.next();
        total += files.fileInfo().size();
    }
    return total;
}

int openFileDescriptors()
{
    return entries(QStringLiteral("/proc/self/fd")).size();
}

QStringList openFileDescriptorTargets()
{
    const QString folder = QStringLiteral("/proc/self/fd/");
    QStringList targets;
    for (const QString &descriptor : entries(folder)) {
        // readlink() itself: QFile::symLinkTarget() would make "socket:[…]" a path.
        char target[4096];
        const ssize_t length
            = ::readlink(QFile::encodeName(folder + descriptor).constData(), target, sizeof target);
        // The descriptor of the listing itself is gone by now.
        if (length > 0)
            targets.append(QFile::decodeName(QByteArray(target, int(length))));
    }
    targets.sort();
    return targets;
}

void TestSandbox::forgetToolRuns()
{
    for (const char *tool : standInTools) {
        for (const char *record : {".args", ".input", ".leader", ".mode"})
            QFile::remove(tools() + QLatin1Char('/') + QLatin1String(tool) + QLatin1String(record));
        for (const QString &run :
             QDir(tools()).entryList({QLatin1String(tool) + QStringLiteral(".run.*")}))
            QFile::remove(tools() + QLatin1Char('/') + run);
    }
}
