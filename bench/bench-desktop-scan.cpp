// Times the desktop program's scan: the same new-report flow as the desktop document
// after its dialog, with the real five-step progress window shown and Qt's event pump
// running through the message pump, on one directory mapped as drive C.
//
//   bench-desktop-scan DIR [THREADS]      (THREADS 0 = one per core and more while reads wait, the default)
//
// Prints "SECONDS FOLDERS". Run under Xvfb or with QT_QPA_PLATFORM=offscreen.
#include "CStepProgressDlg.h"
#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "QtPlatform.h"
#include "ReportDocument.h"
#include "Scan.h"

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-desktop-scan DIR [THREADS]\n");
        return 2;
    }
    tvl::DriveMap drives;
    drives.Set('C', argv[1]);
    CStepProgressDlg progress;
    QtMessageSink messages;
    QtEventPump events;
    tvl::MessagePump pump(tvl::SystemClock(), &events);
    tvl::ScanEnvironment env{tvl::RealFileSystem(), drives, progress, messages, pump};
    env.nThreads = argc > 2 ? std::atoi(argv[2]) : 0;
    tvl::ReportDocument doc(env);
    tvl::NewReportOptions options;
    options.strDrives = "C";
    const auto start = std::chrono::steady_clock::now();
    const bool ok = doc.CreateReports(options);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.2f %d\n", took.count(), ok && doc.m_nDrives > 0 ? doc.m_pDriveReports[0]->nFolders : -1);
    return ok ? 0 : 1;
}
