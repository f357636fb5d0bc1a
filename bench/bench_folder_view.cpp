// Benchmark of the folder view on a large report: opens a report file of about a
// million folders (drive C with 100,000 first-level folders of 9 sub-folders each,
// written once by this program) and times, each including the repaint of the view:
//   open      reading the file (CTovalineDoc::OnOpenDocument, with its initial update)
//   expand    expanding the drive row: 100,000 rows appear
//   refill    a full refill (hint 0) with those 100,001 rows shown
//   select    a selection change in the middle of the list (hint 1 to the document)
//   expand2   expanding one first-level folder in the middle (9 rows)
//   collapse  collapsing the drive row again (100,009 rows go)
//
//   tvl-bench-folder-view [REPORT.tvl] [RUNS]
//   tvl-bench-folder-view --grab PNG DIR    scan DIR as drive C and save the view
//   tvl-bench-folder-view --scan DIR [RUNS] scan DIR as drive C headless (no progress
//                                          display, no event pump) and as the desktop
//                                          does it (five-step window, Qt event pump)
//
// Run under QT_QPA_PLATFORM=offscreen (bench/bench-folder-view.sh does).
#include "CCreateReportDlg.h"
#include "CDiscReportView.h"
#include "CStepProgressDlg.h"
#include "CFolderListCtrl.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
#include "QtPlatform.h"
#include "ReportBuilder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QTimer>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr int kChildren = 100000;
constexpr int kGrandChildren = 9;

void WriteReport(const QString& path)
{
    tvl::PosixFileSystem fs;
    tvl::DriveMap drives;
    tvl::NullStepProgress steps;
    tvl::RecordingMessageSink messages;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env{fs, drives, steps, messages, pump};
    tvl::ReportDocument doc(env);
    auto drive = std::make_unique<tvl::DriveReport>();
    drive->cDrive = 'C';
    tvl::ReportBuilder builder(*drive, tvl::ReportBuilder::Origin::File);
    tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
    root.nSpaceWithSubs = std::int64_t(kChildren) * kGrandChildren * 1000;
    root.dPercentOfParent = root.dPercentOfDisc = -1.0;
    root.bHasSubFolders = true;
    char name[32];
    for (int i = 0; i < kChildren; ++i) {
        std::snprintf(name, sizeof name, "C:\\d%06d\\", i);
        tvl::FolderRecord& c = builder.EnterFolder(name, 1);
        c.nSpaceWithSubs = kGrandChildren * 1000;
        c.dPercentOfParent = c.dPercentOfDisc = 100.0 / kChildren;
        c.bHasSubFolders = true;
        for (int j = 0; j < kGrandChildren; ++j) {
            tvl::FolderRecord& g = builder.EnterFolder(c.strPath + "e" + std::to_string(j) + "\\", 2);
            g.nSpaceWithoutSubs = g.nSpaceWithSubs = 1000;
            g.dPercentOfParent = 100.0 / kGrandChildren;
            g.dPercentOfDisc = 100.0 / kChildren / kGrandChildren;
        }
    }
    builder.Finish();
    doc.m_pDriveReports.push_back(std::move(drive));
    doc.m_nDrives = 1;
    doc.m_bRanking = false;
    if (!doc.OnSaveDocument(QFile::encodeName(path).toStdString())) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

// Time of fn plus the repaint it causes.
double TimeMs(CDiscReportView& view, const std::function<void()>& fn)
{
    QElapsedTimer t;
    t.start();
    fn();
    QCoreApplication::processEvents();
    view.m_list->viewport()->repaint();
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

int Grab(const QString& png, const QString& dir)
{
    tvl::PosixFileSystem fs;
    tvl::DriveMap drives;
    drives.Set('C', QFile::encodeName(dir).toStdString());
    tvl::NullStepProgress steps;
    tvl::NullLoadProgress load;
    QtMessageSink messages;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env{fs, drives, steps, messages, pump};
    CTovalineDoc doc(env, load);
    CDiscReportView view;
    view.SetDocument(&doc);
    view.resize(760, 520);
    view.show();
    tvl::NewReportOptions options;
    options.strDrives = "C";
    if (!doc.CreateReports(options))
        return 2;
    view.OnInitialUpdate();
    // Open the largest first-level folder and the largest folder below it.
    FolderListModel& m = *view.Model();
    for (int level = 1; level <= 2; ++level) {
        int best = -1;
        std::int64_t bestSize = -1;
        for (int r = 0; r < m.rowCount(); ++r) {
            const tvl::FolderRecord* f = m.FolderAt(r);
            if (f && f->nLevel == level && f->bHasSubFolders && f->nSpaceWithSubs > bestSize) {
                best = r;
                bestSize = f->nSpaceWithSubs;
            }
        }
        if (best >= 0) {
            view.OnItemActivate(best);
            view.m_list->selectRow(best + 1);
        }
    }
    view.m_list->setFocus();
    QCoreApplication::processEvents();
    if (!view.grab().save(png))
        return 2;
    // The top of the list, and the dialog and the progress windows, beside it.
    view.m_list->scrollToTop();
    QCoreApplication::processEvents();
    QString base = png;
    base.chop(4);
    view.grab().save(base + QStringLiteral("-top.png"));
    CCreateReportDlg dlg(drives);
    dlg.show();
    dlg.grab().save(base + QStringLiteral("-dialog.png"));
    CStepProgressDlg stepDlg;
    stepDlg.SetCaption("Creating report for drive C: ...");
    stepDlg.SetStep1Text("Step 1: Reading disc structure and creating ranking");
    stepDlg.SetStep(2);
    stepDlg.SetProgress(42, 100);
    stepDlg.SetStatus("C:\\share\\doc\\some-package\\");
    stepDlg.Show();
    stepDlg.Redraw();
    stepDlg.grab().save(base + QStringLiteral("-steps.png"));
    return 0;
}

double MedianMs(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int Scan(const QString& dir, int runs)
{
    tvl::PosixFileSystem fs;
    tvl::DriveMap drives;
    drives.Set('C', QFile::encodeName(dir).toStdString());
    tvl::RecordingMessageSink messages;
    tvl::NullLoadProgress load;
    tvl::NewReportOptions options;
    options.strDrives = "C";
    std::vector<double> headless, desktop, headlessCpu, desktopCpu;
    int folders = 0;
    for (int run = 0; run < runs; ++run) {
        {
            tvl::NullStepProgress steps;
            tvl::MessagePump pump;
            tvl::ScanEnvironment env{fs, drives, steps, messages, pump};
            tvl::ReportDocument doc(env);
            QElapsedTimer t;
            t.start();
            const std::clock_t c0 = std::clock();
            if (!doc.CreateReports(options))
                return 2;
            headless.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            headlessCpu.push_back(1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
            folders = doc.m_pDriveReports[0]->nFolders;
        }
        {
            CStepProgressDlg steps;
            QtEventPump hook;
            tvl::MessagePump pump(tvl::SystemClock(), &hook);
            tvl::ScanEnvironment env{fs, drives, steps, messages, pump};
            CTovalineDoc doc(env, load);
            steps.show();
            QElapsedTimer t;
            t.start();
            const std::clock_t c0 = std::clock();
            if (!doc.CreateReports(options))
                return 2;
            desktop.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            desktopCpu.push_back(1000.0 * static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
        }
    }
    const double h = MedianMs(headless), d = MedianMs(desktop);
    const double hc = MedianMs(headlessCpu), dc = MedianMs(desktopCpu);
    std::printf("scan of %s, %d folders, median of %d runs:\n"
                "  wall: headless %.1f ms, desktop %.1f ms, ratio %.3f\n"
                "  cpu:  headless %.1f ms, desktop %.1f ms, ratio %.3f\n",
                qPrintable(dir), folders, runs, h, d, d / h, hc, dc, dc / hc);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--grab"))
        return Grab(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc >= 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--scan"))
        return Scan(QString::fromLocal8Bit(argv[2]), argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);

    const QString report = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/tvl-bench-folder-view.tvl");
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!QFile::exists(report))
        WriteReport(report);

    tvl::PosixFileSystem fs;
    tvl::DriveMap drives;
    tvl::NullStepProgress steps;
    tvl::NullLoadProgress load;
    tvl::RecordingMessageSink messages;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env{fs, drives, steps, messages, pump};
    CTovalineDoc doc(env, load);
    CDiscReportView view;
    view.SetDocument(&doc);
    view.resize(800, 600);
    view.show();
    QCoreApplication::processEvents();

    std::map<std::string, std::vector<double>> times;
    for (int run = 0; run < runs; ++run) {
        bool ok = false;
        times["open"].push_back(TimeMs(view, [&] { ok = doc.OnOpenDocument(report); }));
        if (!ok || doc.m_nDrives != 1) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(report));
            return 2;
        }
        FolderListModel& m = *view.Model();
        times["expand"].push_back(TimeMs(view, [&] { view.OnItemActivate(0); }));
        if (m.rowCount() != kChildren + 1) {
            std::fprintf(stderr, "unexpected row count %d\n", m.rowCount());
            return 2;
        }
        times["refill"].push_back(TimeMs(view, [&] { view.OnUpdate(nullptr, 0); }));
        times["select"].push_back(TimeMs(view, [&] {
            view.m_list->selectRow(kChildren / 2);
            view.m_list->scrollTo(m.index(kChildren / 2, 0));
        }));
        times["expand2"].push_back(TimeMs(view, [&] { view.OnItemActivate(kChildren / 2); }));
        times["collapse"].push_back(TimeMs(view, [&] { view.OnItemActivate(0); }));
        if (m.rowCount() != 1) {
            std::fprintf(stderr, "unexpected row count %d after collapse\n", m.rowCount());
            return 2;
        }
    }
    std::printf("folder view, %d folders, %d runs (median / max ms):\n", doc.m_pDriveReports[0]->nFolders, runs);
    for (const char* name : {"open", "expand", "refill", "select", "expand2", "collapse"}) {
        std::vector<double>& v = times[name];
        std::sort(v.begin(), v.end());
        std::printf("  %-9s %8.2f %8.2f\n", name, v[v.size() / 2], v.back());
    }
    return 0;
}
