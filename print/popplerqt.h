#pragma once

#include <QtGlobal>

// Poppler's Qt binding has the same API for Qt 5 and Qt 6, but names its header after the major
// version it was built for.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
#include <poppler-qt6.h>
#else
#include <poppler-qt5.h>
#endif
