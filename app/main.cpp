// tovaline: the desktop program.
//
//   tovaline               asks for the drives of a new report and scans them
//   tovaline REPORT.tvl    opens a report file
#include "CTovalineApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(kSettingsOrganization));
    QApplication::setApplicationName(QString::fromLatin1(kSettingsApplication));
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
