// The scan options in the desktop program: the "Create report" dialog's controls and
// their settings, Stop on the step window with the incomplete report it leaves, and
// the question before such a report is saved.
#include "gui_support.h"

#include "CMainFrame.h"
#include "CFileListView.h"
#include "CLoadProgressDlg.h"
#include "CStepProgressDlg.h"
#include "ScanSettings.h"

#include <QFileInfo>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QtTest>

using namespace gui_test;

namespace {

// A document whose scan reports to the main frame's own step window, with a pump that
// fires at every folder.
struct FrameEnv {
    CMainFrame frame;
    tvl::DriveMap drives;
    tvl::RecordingMessageSink messages;
    SteppingClock clock{1000};
    CallbackPump hook;
    tvl::MessagePump pump{clock, &hook};
    tvl::ScanEnvironment env{tvl::RealFileSystem(), drives, frame.StepProgress(), messages, pump};
    CTovalineDoc doc{env, static_cast<tvl::ILoadProgress&>(frame.LoadProgress())};
    FrameEnv() { frame.SetDocument(&doc); }
    CStepProgressDlg& Steps() { return frame.StepProgress(); }
};

// Writes a file of `bytes` bytes, making its folders first.
void MakeFile(const QString& path, int bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    WriteFile(path, bytes);
}

void MakeWideTree(const QString& root)
{
    for (int i = 0; i < 40; ++i)
        MakeFile(root + QStringLiteral("/d%1/sub/f").arg(i), 10);
}

} // namespace

class ScanOptionsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void dialogOffersTheScanOptionsWithTheirDefaults()
    {
        tvl::DriveMap drives;
        CCreateReportDlg dlg(drives);
        QCOMPARE(dlg.m_wndSkipHidden->text(), QStringLiteral("Skip hidden folders"));
        QCOMPARE(dlg.m_wndLinksOnce->text(), QStringLiteral("Count hard-linked files once"));
        QCOMPARE(dlg.m_wndFileSize->text(), QStringLiteral("file size"));
        QCOMPARE(dlg.m_wndDiscUsage->text(), QStringLiteral("space used on disc"));
        QVERIFY(!dlg.m_wndSkipHidden->isChecked());
        QVERIFY(dlg.m_wndLinksOnce->isChecked());
        QVERIFY(dlg.m_wndFileSize->isChecked());
        QVERIFY(!dlg.m_wndDiscUsage->isChecked());
        QVERIFY(dlg.m_wndExclude->text().isEmpty());
        bool sizesLabel = false, excludeLabel = false;
        for (QLabel* l : dlg.findChildren<QLabel*>()) {
            sizesLabel |= l->text() == QStringLiteral("Sizes:");
            excludeLabel |= l->text() == QStringLiteral("Leave out folders matching") && l->buddy() == dlg.m_wndExclude;
        }
        QVERIFY(sizesLabel && excludeLabel);
    }

    void aBadPatternKeepsTheDialogOpenAndGoodChoicesReachTheScan()
    {
        QTemporaryDir dir;
        MakeFile(dir.path() + QStringLiteral("/.cache/big"), 5000);
        MakeFile(dir.path() + QStringLiteral("/tmp-1/x"), 7);
        MakeFile(dir.path() + QStringLiteral("/keep"), 3);
        DocEnv e;
        e.drives.Set('C', dir.path().toStdString());
        QSignalSpy chosen(&e.doc, &CTovalineDoc::scanOptionsChosen);

        std::vector<QString> texts;
        bool stayedOpen = false;
        QVERIFY(RunNew(e.doc, [&](CCreateReportDlg& dlg) {
            dlg.m_showMessage = [&](const QString&, const QString& t, QMessageBox::Icon) { texts.push_back(t); };
            dlg.m_wndDriveList->item(0)->setCheckState(Qt::Checked);
            dlg.m_wndExclude->setText(QStringLiteral("tmp-*; [oops"));
            dlg.m_wndStart->click();
            stayedOpen = dlg.isVisible();
            dlg.m_wndExclude->setText(QStringLiteral("tmp-*"));
            dlg.m_wndSkipHidden->setChecked(true);
            dlg.m_wndStart->click();
        }));
        QVERIFY(stayedOpen);
        QCOMPARE(texts.size(), std::size_t(1));
        QCOMPARE(texts[0], QStringLiteral("The pattern \"[oops\" has a '[' without its closing ']'."));
        QCOMPARE(e.doc.m_pDriveReports.at(0)->GetFolder(0)->nSpaceWithSubs, std::int64_t(3));
        QCOMPARE(chosen.count(), 1);
        QVERIFY(e.doc.ScanOptions().bSkipHidden);
        QCOMPARE(e.doc.ScanOptions().excludes, std::vector<std::string>{"tmp-*"});

        // The next dialog starts with these choices; by default hidden folders count.
        QVERIFY(RunNew(e.doc, [&](CCreateReportDlg& dlg) {
            QVERIFY(dlg.m_wndSkipHidden->isChecked());
            QCOMPARE(dlg.m_wndExclude->text(), QStringLiteral("tmp-*"));
            dlg.m_wndSkipHidden->setChecked(false);
            dlg.m_wndExclude->clear();
            StartWith("C")(dlg);
        }));
        QCOMPARE(e.doc.m_pDriveReports.at(0)->GetFolder(0)->nSpaceWithSubs, std::int64_t(5010));
    }

    void settingsRememberTheChoices()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
        const tvl::ScanOptions defaults = ReadScanOptions(settings);
        QVERIFY(!defaults.bSkipHidden && defaults.bCountLinksOnce && !defaults.bDiscUsage && defaults.excludes.empty());
        tvl::ScanOptions o;
        o.bSkipHidden = true;
        o.bCountLinksOnce = false;
        o.bDiscUsage = true;
        o.excludes = {"node_modules", "var/cache"};
        WriteScanOptions(settings, o);
        const tvl::ScanOptions back = ReadScanOptions(settings);
        QVERIFY(back.bSkipHidden && !back.bCountLinksOnce && back.bDiscUsage);
        QCOMPARE(back.excludes, o.excludes);
        settings.setValue(QStringLiteral("Scan/LeaveOut"), QStringLiteral("ok; [broken")); // edited by hand
        QVERIFY(ReadScanOptions(settings).excludes.empty());
    }

    // Stop during step 1 keeps the folders read so far, marks the window title, and
    // Save asks before it writes.
    void stopDuringTheWalkKeepsAPartialReportAndSaveAsks()
    {
        QTemporaryDir dir;
        MakeWideTree(dir.path());
        FrameEnv e;
        e.drives.Set('C', dir.path().toStdString());
        e.drives.Set('E', dir.path().toStdString());
        int pumps = 0;
        e.hook.onPump = [&] {
            if (++pumps == 5)
                e.Steps().m_wndStop->click();
        };
        QCOMPARE(e.Steps().m_wndStop->text(), QStringLiteral("Stop"));
        QVERIFY(RunNew(e.doc, StartWith("CE")));
        QVERIFY(e.doc.IsIncomplete());
        QCOMPARE(e.doc.m_nDrives, 1); // E was never reached
        const tvl::DriveReport& c = *e.doc.m_pDriveReports.at(0);
        QVERIFY(c.nFolders > 1 && c.nFolders < 81);
        QVERIFY(c.GetFolder(0)->nSpaceWithSubs < 400);
        QCOMPARE(c.GetFolder(0)->dPercentOfParent, -1.0);
        QVERIFY(e.frame.windowTitle().endsWith(QStringLiteral(" (incomplete)")));
        QVERIFY(e.messages.messages.empty());
        QVERIFY(!e.Steps().isVisible());

        QTemporaryDir out;
        const QString file = out.filePath(QStringLiteral("partial.tvl"));
        std::vector<QString> questions;
        bool answer = false;
        e.doc.m_askQuestion = [&](const QString& caption, const QString& text) {
            questions.push_back(caption + QStringLiteral(": ") + text);
            return answer;
        };
        QVERIFY(!e.doc.OnSaveDocument(file));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(questions.size(), std::size_t(1));
        QCOMPARE(questions[0], QStringLiteral("Save: This report is incomplete. Save it anyway?"));
        answer = true;
        QVERIFY(e.doc.OnSaveDocument(file));
        QVERIFY(QFile::exists(file));
        QVERIFY(e.frame.windowTitle().endsWith(QStringLiteral(" (incomplete)")));

        // The saved report keeps the mark when it is opened again; a complete scan
        // asks nothing on Save.
        QVERIFY(e.doc.OnOpenDocument(file));
        QVERIFY(e.doc.IsIncomplete());
        QVERIFY(e.frame.windowTitle().endsWith(QStringLiteral(" (incomplete)")));
        e.hook.onPump = nullptr;
        QVERIFY(RunNew(e.doc, StartWith("C")));
        QVERIFY(!e.doc.IsIncomplete());
        QCOMPARE(e.doc.m_pDriveReports.at(0)->GetFolder(0)->nSpaceWithSubs, std::int64_t(400));
        QVERIFY(e.doc.OnSaveDocument(file));
        QCOMPARE(questions.size(), std::size_t(2)); // nothing more asked for a complete report
    }

    void escapeInTheMainWindowStopsARunningScan()
    {
        QTemporaryDir dir;
        MakeWideTree(dir.path());
        FrameEnv e;
        e.drives.Set('C', dir.path().toStdString());
        e.frame.show();
        int pumps = 0;
        e.hook.onPump = [&] {
            if (++pumps == 3) {
                QApplication::setActiveWindow(&e.frame);
                QTest::keyClick(&e.frame, Qt::Key_Escape);
            }
        };
        QVERIFY(RunNew(e.doc, StartWith("C")));
        QVERIFY(e.doc.IsIncomplete());
        QVERIFY(e.doc.m_pDriveReports.at(0)->nFolders < 81);
    }

    // "q\r" (a folder whose name holds a backslash) beside "q/r": each is shown with its
    // own name and its live file listing shows its own files.
    void aBackslashInAFolderNameKeepsItsFilesApart()
    {
        QTemporaryDir dir;
        MakeFile(dir.path() + QStringLiteral("/q\\r/in-backslash-folder"), 5);
        MakeFile(dir.path() + QStringLiteral("/q/r/in-nested-folder"), 7);
        DocEnv e;
        e.drives.Set('C', dir.path().toStdString());
        QVERIFY(RunNew(e.doc, StartWith("C")));
        tvl::DriveReport& c = *e.doc.m_pDriveReports.at(0);
        CFileListView view;
        view.SetDocument(&e.doc);
        const struct {
            const char* path;
            const char* shown;
            const char* file;
        } cases[] = {{"C:\\q/r\\", "q\\r", "in-backslash-folder"}, {"C:\\q\\r\\", "r", "in-nested-folder"}};
        for (const auto& k : cases) {
            tvl::FolderRecord* folder = nullptr;
            for (tvl::FolderRecord* f : c.Folders())
                if (f->strPath == k.path)
                    folder = f;
            QVERIFY2(folder, k.path);
            QCOMPARE(tvl::FolderDisplayName(folder->strPath), std::string(k.shown));
            e.doc.m_pSelectedFolder = folder;
            e.doc.m_strSelectedPath = folder->strPath;
            view.OnUpdate(nullptr, 1);
            QVERIFY(view.Message()->isHidden());
            QCOMPARE(view.Model().rowCount(), 1);
            QCOMPARE(view.Model().data(view.Model().index(0, 0), Qt::DisplayRole).toString(), QString(k.file));
        }
    }

    void escapeOnTheStepWindowAsksToStop()
    {
        CStepProgressDlg dlg;
        QSignalSpy stop(&dlg, &CStepProgressDlg::stopRequested);
        dlg.Show();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(stop.count(), 1);
        QVERIFY(dlg.isVisible()); // the scan hides it, not the key
        dlg.Hide();
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QCOMPARE(stop.count(), 1);
    }
};

QTEST_MAIN(ScanOptionsTest)
#include "scan_options_test.moc"
