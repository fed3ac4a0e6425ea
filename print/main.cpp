#include "printsession.h"
#include "realpdftocairo.h"

#include <QApplication>

#include <cstring>

// Stands in front of the platform's pdftocairo, whose -printdlg option the platform does not
// build: that one call shows a print dialog here, and every other call goes on to the real tool
// unchanged, without a display.
int main(int argc, char *argv[])
{
    if (argc != 3 || std::strcmp(argv[1], "-printdlg") != 0)
        return RealPdftocairo::exec(RealPdftocairo::locate(), argv);

    QApplication application(argc, argv);
    return PrintSession(QString::fromLocal8Bit(argv[2])).run();
}
