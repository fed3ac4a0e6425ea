#pragma once

#include <QtGlobal>

// How the print helper ends, which the shell tells in words: its manual page names each. The
// platform's own pdftocairo ends with 1 to 4 and 99, never with Cancelled.
namespace PrintHelperStatus {

enum Status : quint8 {
    // CUPS accepted the job, or the PDF file was written.
    Printed = 0,
    DocumentNotPrintable = 1,
    OutputFileFailed = 2,
    JobRefused = 3,
    Cancelled = 10,
};

} // namespace PrintHelperStatus
