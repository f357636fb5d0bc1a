// tovaline: the desktop program.
//
//   tovaline               asks for the drives of a new report and scans them
//   tovaline REPORT.tvl    opens a report file
//   tovaline FOLDER        offers a new report of a folder (the next free letter)
//   tovaline --help | --version
#include "CTovalineApp.h"
#include "TovalineVersion.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char* const kHelp = R"HELP(Usage: tovaline [REPORT.tvl | FOLDER]
Tovaline measures how the space of drives is used, folder by folder.

Without an argument tovaline asks for the drives of a new report and scans them;
with the name of a report file (.tvl) it opens that report; with a folder it offers
a new report of that folder, mapped to the next free drive letter.

Options:
  --help              print this help and exit
  --version           print the version and exit
The options of Qt applications (such as -platform or -style) are understood too.

Drives are the letters C to Z, each standing for a directory: as the environment
variable TOVALINE_DRIVES says (e.g. "C=/srv;D=/home/me"), otherwise C is "/", and
D, E, ... are the other mounted block-device file systems in mount-point order.
Exit status: 0 when the main window was closed, 1 when the first report could not
be created or opened.
)HELP";

} // namespace

int main(int argc, char** argv)
{
    // Answered before Qt starts, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("tovaline " TOVALINE_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        }
    }

    QApplication qapp(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganization));
    QApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
    QApplication::setApplicationVersion(QStringLiteral(TOVALINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tovaline"));

    CTovalineApp app;
    QStringList args = QApplication::arguments();
    args.removeFirst();
    if (!app.InitInstance(args))
        return 1;
    const int rc = QApplication::exec();
    app.ExitInstance();
    return rc;
}
