// The "Create report" dialog, the progress windows and the New/Open/Save flows of the
// desktop document, driven through the real widgets.
#include "gui_support.h"

#include "CLoadProgressDlg.h"
#include "CStepProgressDlg.h"
#include "Scan.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QtTest>

#include <functional>

using namespace gui_test;

namespace {

struct Message {
    QString caption, text;
    QMessageBox::Icon icon;
};

void Record(CCreateReportDlg& dlg, std::vector<Message>& out)
{
    dlg.m_showMessage = [&out](const QString& c, const QString& t, QMessageBox::Icon i) { out.push_back({c, t, i}); };
}

// The real file system, noting whether the step window had been painted when the
// scan opened the drive's root folder.
class PaintCheckingFileSystem final : public tvl::IFileSystem {
public:
    explicit PaintCheckingFileSystem(const ProgressWindow& window) : m_window(window) {}
    int nPaintsAtFirstOpen = -1;
    Handle OpenDir(const std::string& realPath) override
    {
        if (nPaintsAtFirstOpen < 0)
            nPaintsAtFirstOpen = m_window.PaintsSinceShown();
        return m_fs.OpenDir(realPath);
    }
    Handle OpenChild(Handle parent, const std::string& name) override { return m_fs.OpenChild(parent, name); }
    tvl::ListStatus ReadListing(Handle dir, tvl::DirListing& out) override { return m_fs.ReadListing(dir, out); }
    int HandleBudget() override { return m_fs.HandleBudget(); }
    void Close(Handle dir) override { m_fs.Close(dir); }

private:
    const ProgressWindow& m_window;
    tvl::PosixFileSystem m_fs;
};

} // namespace

class DocumentDialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dirC, m_dirE;
    tvl::DriveMap m_drives;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dirC.isValid() && m_dirE.isValid());
        MakeTree(m_dirC.path());
        m_drives.Set('C', m_dirC.path().toStdString());
        m_drives.Set('D', "/nonexistent-tovaline-dir");
        m_drives.Set('E', m_dirE.path().toStdString());
    }

    void dialogShowsDefaultsAndAvailableDrives()
    {
        CCreateReportDlg dlg(m_drives);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Create report"));
        QVERIFY(dlg.m_wndRanking->isChecked());
        QCOMPARE(dlg.m_wndRanking->text(), QStringLiteral("Create &ranking of"));
        QCOMPARE(dlg.m_wndRankingSize->text(), QStringLiteral("100"));
        QVERIFY(dlg.m_wndRankingSize->isEnabled());
        QVERIFY(!dlg.m_wndStoreFileNames->isChecked());
        QCOMPARE(dlg.m_wndStoreFileNames->text(), QStringLiteral("Store filenames in database"));
        QCOMPARE(dlg.m_wndStart->text(), QStringLiteral("Start!"));
        QVERIFY(dlg.m_wndStart->isDefault());
        // D is mapped to a missing directory: not offered.
        QCOMPARE(dlg.m_wndDriveList->count(), 2);
        QCOMPARE(dlg.m_wndDriveList->item(0)->text(), QStringLiteral(" Drive C:"));
        QCOMPARE(dlg.m_wndDriveList->item(1)->text(), QStringLiteral(" Drive E:"));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(dlg.m_wndDriveList->item(i)->checkState(), Qt::Unchecked);
        QVERIFY(dlg.m_wndDriveList->selectedItems().isEmpty());
    }

    void rankingCheckBoxEnablesTheCount()
    {
        CCreateReportDlg dlg(m_drives);
        dlg.show();
        QTest::mouseClick(dlg.m_wndRanking, Qt::LeftButton);
        QVERIFY(!dlg.m_wndRankingSize->isEnabled());
        QTest::mouseClick(dlg.m_wndRanking, Qt::LeftButton);
        QVERIFY(dlg.m_wndRankingSize->isEnabled());
    }

    void startCollectsDrivesInListOrder()
    {
        CCreateReportDlg dlg(m_drives);
        dlg.show();
        dlg.m_wndDriveList->item(1)->setCheckState(Qt::Checked); // E first
        dlg.m_wndDriveList->item(0)->setCheckState(Qt::Checked); // then C
        dlg.m_wndRankingSize->setText(QStringLiteral("1000"));
        dlg.m_wndStoreFileNames->setChecked(true);
        dlg.m_wndStart->click();
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.m_strDrives, std::string("CE"));
        QCOMPARE(dlg.m_nRankingSize, 1000u);
        QVERIFY(dlg.m_bStoreFileNames);
        QVERIFY(dlg.m_bRanking);
    }

    void addFolderMapsItAndChecksItInLetterOrder()
    {
        tvl::DriveMap drives = m_drives; // C and E available, D mapped but missing
        {
            CCreateReportDlg plain(drives);
            QVERIFY(plain.m_wndAddFolder->isHidden()); // no chooser: no button
        }
        CCreateReportDlg dlg(drives);
        QString chosen = m_dirC.filePath("a");
        dlg.SetFolderChooser([&](QWidget*) { return chosen.isEmpty() ? char(0) : drives.MapFolder(chosen.toStdString()); });
        dlg.show();
        QVERIFY(dlg.m_wndAddFolder->isVisible());
        dlg.m_wndAddFolder->click(); // the folder gets F, the first letter not mapped
        QCOMPARE(dlg.m_wndDriveList->count(), 3);
        QListWidgetItem* item = dlg.m_wndDriveList->item(2);
        QCOMPARE(item->text(), QStringLiteral(" Drive F: a"));
        QCOMPARE(item->toolTip(), chosen);
        QCOMPARE(item->checkState(), Qt::Checked);
        // The same folder again: the same item; a cancelled chooser changes nothing.
        dlg.m_wndAddFolder->click();
        chosen.clear();
        dlg.m_wndAddFolder->click();
        QCOMPARE(dlg.m_wndDriveList->count(), 3);
        // A drive's own folder checks that drive.
        dlg.CheckDrives("C");
        dlg.m_wndStart->click();
        QCOMPARE(dlg.m_strDrives, std::string("CF"));
    }

    void startWithoutDriveKeepsTheDialogOpen()
    {
        CCreateReportDlg dlg(m_drives);
        std::vector<Message> messages;
        Record(dlg, messages);
        dlg.show();
        dlg.m_wndStart->click();
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages[0].caption, QStringLiteral("Create report"));
        QCOMPARE(messages[0].text, QStringLiteral("You must mark at least one drive!"));
        QCOMPARE(messages[0].icon, QMessageBox::Information);
    }

    void badCountIsRefusedWithFocusOnTheField_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<bool>("rankingChecked");
        QTest::newRow("0") << "0" << true;
        QTest::newRow("1001") << "1001" << true;
        QTest::newRow("text") << "12a" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("negative") << "-5" << true;
        QTest::newRow("disabled but checked") << "0" << false;
    }
    void badCountIsRefusedWithFocusOnTheField()
    {
        QFETCH(QString, count);
        QFETCH(bool, rankingChecked);
        CCreateReportDlg dlg(m_drives);
        std::vector<Message> messages;
        Record(dlg, messages);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.m_wndRanking->setChecked(rankingChecked);
        dlg.m_wndDriveList->item(0)->setCheckState(Qt::Checked);
        dlg.m_wndRankingSize->setText(count);
        dlg.m_wndStart->click();
        QVERIFY(dlg.isVisible());
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(messages[0].text, QStringLiteral("Please enter an integer between 1 and 1000."));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(dlg.m_wndRankingSize));
    }

    void cancelAfterRefusedStartGivesEmptyDocument()
    {
        DocEnv e;
        e.drives = m_drives;
        // First a real report, so that Cancel has something to discard.
        QVERIFY(RunNew(e.doc, StartWith("C")));
        QCOMPARE(e.doc.m_nDrives, 1);
        std::vector<Message> messages;
        const bool ok = RunNew(e.doc, [&messages](CCreateReportDlg& dlg) {
            Record(dlg, messages);
            dlg.m_wndDriveList->item(0)->setCheckState(Qt::Checked);
            dlg.m_wndRanking->setChecked(false);
            dlg.m_wndRankingSize->setText(QStringLiteral("0"));
            dlg.m_wndStart->click(); // refused: count 0
            dlg.m_wndCancel->click();
        });
        QVERIFY(ok);
        QCOMPARE(messages.size(), std::size_t(1));
        QCOMPARE(e.doc.m_nDrives, 0);
        QVERIFY(e.doc.m_pDriveReports.empty());
        QVERIFY(e.doc.m_rankingAll.empty());
        QVERIFY(e.doc.m_bRanking); // the dialog's default
        QVERIFY(e.messages.messages.empty());
    }

    void newScansMarkedDrivesAndUpdatesViews()
    {
        DocEnv e;
        e.drives = m_drives;
        SpyView spy;
        spy.SetDocument(&e.doc);
        QSignalSpy busy(&e.doc, &CTovalineDoc::busyChanged);
        QVERIFY(RunNew(e.doc, StartWith("CE")));
        QCOMPARE(e.doc.m_nDrives, 2);
        QCOMPARE(e.doc.m_pDriveReports[0]->cDrive, 'C');
        QCOMPARE(e.doc.m_pDriveReports[1]->cDrive, 'E');
        QVERIFY(e.doc.m_bRanking);
        QCOMPARE(e.doc.m_rankingAll.size(), std::size_t(3)); // f3, f1, f2 of C
        QCOMPARE(e.doc.m_rankingAll[0].nSize, std::int64_t(300));
        QCOMPARE(busy.count(), 2);
        QCOMPARE(busy.at(0).at(0).toBool(), true);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
        QVERIFY(spy.Count(0) >= 1);
        QCOMPARE(e.doc.GetTitle(), QStringLiteral("Report"));
    }

    // During a scan the pump lets events through: New, Open and Save must be refused
    // then, and a stop request (the main window closing) ends the scan without leaving
    // a partial report.
    void scanRefusesReentryAndStopsOnRequest()
    {
        DocEnv e(1000); // the pump fires at every folder
        e.drives = m_drives;
        QTemporaryDir tmp;
        const QString file = tmp.path() + QStringLiteral("/r.tvl");
        std::vector<bool> reentered;
        e.hook.onPump = [&] {
            if (!reentered.empty())
                return; // the steps after the walk still pump
            reentered.push_back(e.doc.OnNewDocument());
            reentered.push_back(e.doc.OnOpenDocument(file));
            reentered.push_back(e.doc.OnSaveDocument(file));
            e.doc.RequestStop();
        };
        SpyView spy;
        spy.SetDocument(&e.doc);
        QVERIFY(!RunNew(e.doc, StartWith("C")));
        QCOMPARE(reentered, std::vector<bool>({false, false, false}));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(e.doc.m_nDrives, 0);
        QVERIFY(e.doc.m_pDriveReports.empty());
        QVERIFY(e.doc.m_rankingAll.empty());
        QVERIFY(!e.doc.IsBusy());
        QVERIFY(e.messages.messages.empty());
        QCOMPARE(spy.hints.back(), 0);
    }

    // The drive's directory disappears between the dialog and the scan: the drive is
    // reported with its root alone, the other drives in full, and nothing is lost.
    void newOnVanishedDriveRecordsItsRootAlone()
    {
        QTemporaryDir gone;
        tvl::DriveMap drives = m_drives;
        drives.Set('F', gone.path().toStdString());
        DocEnv e;
        e.drives = drives;
        SpyView spy;
        spy.SetDocument(&e.doc);
        QVERIFY(RunNew(e.doc, [&gone](CCreateReportDlg& dlg) {
            StartWith("CF")(dlg);
            gone.remove();
        }));
        QCOMPARE(e.doc.m_nDrives, 2);
        QCOMPARE(e.doc.m_pDriveReports[0]->nFolders, 6);
        QCOMPARE(e.doc.m_pDriveReports[1]->cDrive, 'F');
        QCOMPARE(e.doc.m_pDriveReports[1]->nFolders, 1);
        QVERIFY(!e.doc.IsBusy());
        QCOMPARE(spy.hints.back(), 0);
    }

    void saveAndOpenRoundTripAndFailedOpenEmptiesDocument()
    {
        DocEnv e;
        e.drives = m_drives;
        QVERIFY(RunNew(e.doc, StartWith("C")));
        QTemporaryDir tmp;
        const QString file = tmp.path() + QStringLiteral("/report ü.tvl");
        QVERIFY(e.doc.OnSaveDocument(file));
        QCOMPARE(e.doc.GetTitle(), QStringLiteral("report ü.tvl"));
        const int folders = e.doc.m_pDriveReports[0]->nFolders;

        QVERIFY(e.doc.OnOpenDocument(file));
        QCOMPARE(e.doc.m_nDrives, 1);
        QCOMPARE(e.doc.m_pDriveReports[0]->nFolders, folders);

        // A truncated file: the user is told, and no half-read report stays. Cut in the
        // report itself (a cut in the extension block after it only leaves the block out).
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        const qint64 block = f.readAll().lastIndexOf("TvlFacts");
        QVERIFY(block > 0);
        QVERIFY(f.resize(block / 2));
        f.close();
        SpyView spy;
        spy.SetDocument(&e.doc);
        QVERIFY(!e.doc.OnOpenDocument(file));
        QCOMPARE(e.messages.messages.size(), std::size_t(1));
        QCOMPARE(e.messages.messages[0].icon, tvl::MessageIcon::Error);
        QCOMPARE(e.doc.m_nDrives, 0);
        QVERIFY(e.doc.m_pDriveReports.empty());
        QVERIFY(e.doc.m_pSelectedFolder == nullptr);
        QVERIFY(spy.Count(0) >= 1);

        QVERIFY(!e.doc.OnOpenDocument(tmp.path() + QStringLiteral("/missing.tvl")));
        QCOMPARE(e.messages.messages.back().caption, std::string("Open"));
        QCOMPARE(e.messages.messages.back().text, std::string("Cannot open file!"));
    }

    void stepWindowShowsPercentAndBoldStep()
    {
        CStepProgressDlg dlg;
        QVERIFY(!dlg.isVisible());
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!(dlg.windowFlags() & Qt::WindowSystemMenuHint));
        QVERIFY(!dlg.isModal());
        struct Case {
            int pos, total, bar;
            const char* text;
        };
        for (const Case c : {Case{0, 7, 0, "0%\n"}, Case{6, 7, 85, "85%\n"}, Case{-1, 0, 0, ""},
                             Case{5, 0, 0, "0%\n"}, Case{30000000, 30000000, 100, "100%\n"}}) {
            dlg.SetProgress(c.pos, c.total);
            QCOMPARE(dlg.m_wndProgress->value(), c.bar);
            QCOMPARE(dlg.m_wndPercent->text(), QString::fromLatin1(c.text));
        }
        dlg.SetStep(3);
        QCOMPARE(dlg.m_wndStep3->text(), QStringLiteral("Step 3: Adding up sub folder spaces"));
        for (int i = 1; i <= 5; ++i)
            QCOMPARE(dlg.StepLabel(i)->font().bold(), i == 3);
        dlg.SetStep(4);
        QVERIFY(!dlg.m_wndStep3->font().bold());
        QVERIFY(dlg.m_wndStep4->font().bold());
        dlg.SetStep(0);
        for (int i = 1; i <= 5; ++i)
            QVERIFY(!dlg.StepLabel(i)->font().bold());

        dlg.SetCaption("Creating report for drive C: ...");
        dlg.Show();
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Creating report for drive C: ..."));
        // No frame of the window manager (whose buttons could not be honoured); the
        // window's own caption line shows the title.
        QVERIFY(dlg.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(dlg.Caption()->text(), dlg.windowTitle());
        dlg.close(); // the user cannot close it
        QVERIFY(dlg.isVisible());
        // Many status texts in a row: the last one is on screen after the repaint.
        for (int i = 0; i < 1000; ++i)
            dlg.SetStatus("C:\\folder" + std::to_string(i) + "\\");
        dlg.Redraw();
        QCOMPARE(dlg.m_wndStatus->text(), QStringLiteral("C:\\folder999\\"));
        dlg.Hide();
        QVERIFY(!dlg.isVisible());
    }

    void stopIsShownAtOnceAndTheWindowGoesSoonAfter()
    {
        CStepProgressDlg dlg;
        int requests = 0;
        connect(&dlg, &CStepProgressDlg::stopRequested, [&] { ++requests; });
        dlg.Show();
        dlg.SetStatus("C:\\walking\\");
        QTest::mouseClick(dlg.m_wndStop, Qt::LeftButton);
        QCOMPARE(requests, 1);
        QVERIFY(!dlg.m_wndStop->isEnabled());
        QCOMPARE(dlg.m_wndStatus->text(), QStringLiteral("Stopping..."));
        // Escape and the scan's own status texts change nothing while it winds down.
        QTest::keyClick(&dlg, Qt::Key_Escape);
        dlg.SetStatus("C:\\summing\\");
        dlg.Redraw();
        QCOMPARE(requests, 1);
        QCOMPARE(dlg.m_wndStatus->text(), QStringLiteral("Stopping..."));
        QVERIFY(dlg.isVisible());
        // The summing-up after a stop may take long; the window does not wait for it.
        QTest::qWait(CStepProgressDlg::kStoppingShownMs + 50);
        dlg.SetProgress(10, 100);
        QVERIFY(!dlg.isVisible());
        dlg.SetStep(3);
        QVERIFY(!dlg.isVisible());
        // The next scan starts with a working button.
        dlg.Show();
        QVERIFY(dlg.m_wndStop->isEnabled());
        dlg.SetStatus("C:\\");
        dlg.Redraw();
        QCOMPARE(dlg.m_wndStatus->text(), QStringLiteral("C:\\"));
        dlg.Hide();
    }

    // The scan lets events through only about once a second; the window must be on the
    // screen before the walk starts, not only at the first pump.
    void stepWindowIsPaintedBeforeTheFirstFolderIsRead()
    {
        CStepProgressDlg dlg;
        PaintCheckingFileSystem fs(dlg);
        tvl::RecordingMessageSink messages;
        SteppingClock clock(0); // the pump never fires
        CallbackPump hook;
        tvl::MessagePump pump(clock, &hook);
        tvl::ScanEnvironment env{fs, m_drives, dlg, messages, pump};
        env.nThreads = 1;
        tvl::DriveReport drive;
        QVERIFY(drive.CreateReport('C', false, 10, env));
        QVERIFY(fs.nPaintsAtFirstOpen > 0);
        QCOMPARE(hook.nCalls, 0);
        QVERIFY(!dlg.isVisible());
    }

    // Every step line holds the longest step text in bold; the status line is one
    // line that elides a long path in the middle.
    void stepWindowFitsItsTexts()
    {
        CStepProgressDlg dlg;
        dlg.SetStep1Text(std::string(tvl::kStepTexts[0]) + tvl::kStep1Ranking);
        dlg.SetStep(1);
        dlg.Show();
        QVERIFY(dlg.PaintsSinceShown() > 0);
        // The first folder after showing is on the screen at once, not a moment later.
        dlg.SetStatus("C:\\first\\");
        QCOMPARE(dlg.m_wndStatus->text(), QStringLiteral("C:\\first\\"));
        const QFontMetrics bold(dlg.m_fontBold);
        for (int i = 1; i <= 5; ++i)
            QVERIFY(dlg.StepLabel(i)->contentsRect().width() >= bold.horizontalAdvance(dlg.m_wndStep1->text()));
        std::string deep = "C:\\tmp";
        for (int i = 0; i < 40; ++i)
            deep += "\\level" + std::to_string(i);
        deep += "\\deep\\d\\";
        dlg.SetStatus(deep);
        dlg.Redraw();
        const QString shown = dlg.m_wndStatus->ShownText();
        QVERIFY(shown.startsWith(QStringLiteral("C:\\tmp")));
        QVERIFY(shown.endsWith(QStringLiteral("\\d\\")));
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(dlg.m_wndStatus->height() < 2 * dlg.fontMetrics().height());
        QCOMPARE(dlg.m_wndStatus->text(), QString::fromStdString(deep));
        // Hidden and shown again, it waits for its new expose.
        dlg.Hide();
        QCOMPARE(dlg.PaintsSinceShown(), 0);
        dlg.Show();
        QVERIFY(dlg.PaintsSinceShown() > 0);
        dlg.Hide();
    }

    // The screen never shows a path older than the bar: a repaint for a new percentage
    // takes the latest path along, and so does a wait that lets no events through.
    void progressWindowsNeverShowAStalePath()
    {
        CLoadProgressDlg load;
        CStepProgressDlg step;
        struct Window {
            ProgressWindow& window;
            QLabel& path;
            std::function<void(const std::string&)> setPath;
            std::function<void(int)> setProgress;
            std::function<void()> showPending;
        } windows[] = {{load, *load.m_wndPath, [&](const std::string& t) { load.SetPathText(t); },
                        [&](int pos) { load.SetProgress(pos, 100); }, [&] { load.ShowPendingText(); }},
                       {step, *step.m_wndStatus, [&](const std::string& t) { step.SetStatus(t); },
                        [&](int pos) { step.SetProgress(pos, 100); }, [&] { step.ShowPendingText(); }}};
        load.Show();
        step.Show();
        for (Window& w : windows) {
            w.setPath("C:\\first\\"); // the first one after Show is shown at once
            w.setPath("C:\\second\\");
            QCOMPARE(w.path.text(), QStringLiteral("C:\\first\\"));
            // The bar moves on once the paint interval has passed: the path goes with it.
            QThread::msleep(ProgressWindow::kTextIntervalMs + 10);
            const int paints = w.window.PaintsSinceShown();
            w.setProgress(63);
            QVERIFY(w.window.PaintsSinceShown() > paints);
            QCOMPARE(w.path.text(), QStringLiteral("C:\\second\\"));
            // A path set just before a wait is shown before the wait.
            w.setPath("C:\\third\\");
            QCOMPARE(w.path.text(), QStringLiteral("C:\\second\\"));
            const int before = w.window.PaintsSinceShown();
            w.showPending();
            QCOMPARE(w.path.text(), QStringLiteral("C:\\third\\"));
            QVERIFY(w.window.PaintsSinceShown() > before);
        }
        load.Hide();
        step.Hide();
    }

    void loadWindowShowsBoldStepAndPath()
    {
        CLoadProgressDlg dlg;
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(dlg.m_wndStep->font().bold());
        dlg.SetStepText("Loading report for drive C:");
        dlg.SetPathText("C:\\a\\");
        dlg.SetProgress(6, 7);
        dlg.Show();
        QVERIFY(dlg.PaintsSinceShown() > 0); // painted before the reading goes on
        dlg.Redraw();
        QCOMPARE(dlg.m_wndStep->text(), QStringLiteral("Loading report for drive C:"));
        QCOMPARE(dlg.m_wndPath->text(), QStringLiteral("C:\\a\\"));
        // The path is drawn, in one line.
        const QImage path = dlg.m_wndPath->grab().toImage();
        int ink = 0;
        for (int y = 0; y < path.height(); ++y)
            for (int x = 0; x < path.width(); ++x)
                ink += qGray(path.pixel(x, y)) < 100 ? 1 : 0;
        QVERIFY2(ink > 5, qPrintable(QStringLiteral("%1x%2").arg(path.width()).arg(path.height())));
        QCOMPARE(dlg.m_wndPercent->text(), QStringLiteral("85%\n"));
        QCOMPARE(dlg.m_wndProgress->value(), 85);
        dlg.close();
        QVERIFY(dlg.isVisible());
        dlg.Hide();
        QVERIFY(!dlg.isVisible());
    }
};

QTEST_MAIN(DocumentDialogsTest)
#include "document_dialogs_test.moc"
