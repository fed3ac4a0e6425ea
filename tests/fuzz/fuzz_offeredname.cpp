// libFuzzer target: any Content-Disposition header the instrument (or anything posing as it)
// may send must name a file inside the directory chosen for its kind, never beside or above it.

#include "web/downloadnaming.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Empty directories of this run's own. They exist, as the home and the temporary directory
// always do: "<directory>/.." is then taken, and the offered name ".." is proposed as "._1."
// inside the directory.
const QTemporaryDir runDirectory;
const QString tempDirectory = runDirectory.filePath(QStringLiteral("temp"));
const QString homeDirectory = runDirectory.filePath(QStringLiteral("home"));

void discardMessages(QtMsgType, const QMessageLogContext &, const QString &) {}

[[noreturn]] void violated(const char *rule, const QString &path)
{
    std::fprintf(stderr, "invariant violated: %s: %s\n", rule, path.toUtf8().constData());
    std::abort();
}

void expectInside(const QString &directory, const QString &path)
{
    const QFileInfo cleaned(QDir::cleanPath(path));
    if (cleaned.path() != directory)
        violated("destination left its directory", path);
    if (cleaned.fileName() == QLatin1String(".") || cleaned.fileName() == QLatin1String(".."))
        violated("destination names a directory", path);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Every call logs the header and the name parts; printing them would only slow the fuzzer.
    qInstallMessageHandler(discardMessages);
    if (!QDir().mkdir(tempDirectory) || !QDir().mkdir(homeDirectory)) {
        std::perror("cannot create the fuzzer's directories");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray header(reinterpret_cast<const char *>(data), static_cast<int>(size));
    QString baseName;
    QString endName;
    DownloadNaming::splitOfferedName(header, baseName, endName);
    if (baseName.isEmpty())
        violated("empty base name", QString::fromUtf8(header));

    const DownloadKind kind = DownloadNaming::kindOf(baseName, endName);
    const bool inTemp = kind != DownloadKind::OrdinaryFile;
    const QString directory = inTemp ? tempDirectory : homeDirectory;
    const QString prefix = directory + QLatin1Char('/');

    // The proposal is formed for every kind. Print jobs and archives keep the plain name; an
    // ordinary file gets the proposal of the "Save File" dialog, as when the user accepts it.
    const QString defaultFileName = DownloadNaming::uniqueFileName(prefix, baseName, endName);
    expectInside(directory, defaultFileName);
    expectInside(directory, inTemp ? DownloadNaming::storedFileName(prefix, baseName, endName)
                                   : defaultFileName);
    return 0;
}
