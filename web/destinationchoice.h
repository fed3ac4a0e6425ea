#pragma once

#include "web/downloadnaming.h"

#include <QString>

class QWidget;

// Where a download goes: the plain name in the download's own folder for a print job, and for
// an archive too once the user has chosen where to unpack it ("Select Directory"), or the path
// that the user chooses in "Save File" for any other file. While a dialog is open, the window
// beneath stays enabled, or it would disable the dialog with it.
namespace DestinationChoice {

// The path to write, or nothing when the user cancelled a dialog; an archive's folder goes into
// unpackFolder, also when it is empty.
QString choose(DownloadKind kind, const QString &baseName, const QString &endName,
               const QString &downloadFolder, QWidget *window, QString &unpackFolder);

} // namespace DestinationChoice
