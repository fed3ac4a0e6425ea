#pragma once

#include <QString>

// The platform's own pdftocairo, to which every call that is not a print dialog request goes:
// the helper stands in front of it on PATH and must never find itself there.
class RealPdftocairo
{
public:
    // The first executable pdftocairo in the absolute folders of the colon-separated searchPath
    // after the folder of
    // ownProgram (the whole path when that folder is not on it) that is not ownProgram itself,
    // followed through links; else the system's one.
    static QString locate(const QString &searchPath, const QString &ownProgram);
    static QString locate();

    // Replaces this process with program, given argv[1..] byte for byte, so that its output
    // and exit status are the caller's. Returns only when the program cannot be started.
    static int exec(const QString &program, char *argv[]);
};
