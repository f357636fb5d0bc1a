// Acting on the report from the window: the context menu, Move to trash (into a trash
// folder under a temporary XDG_DATA_HOME), refresh, the save question of a changed
// report, and Find.
#include "CCreateReportDlg.h"
#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFolderListCtrl.h"
#include "CNavigator.h"
#include "FolderListModel.h"
#include "CMainFrame.h"
#include "CRankView.h"
#include "CTovalineApp.h"
#include "ReportActions.h"
#include "format_support.h"
#include "gui_fixture.h"

#include <QClipboard>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QMenu>
#include <QMessageBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int PosOf(const tvl::DriveReport& d, const std::string& path)
{
    for (int i = 0; i < d.nFolders; ++i)
        if (d.GetFolder(i)->strPath == path)
            return i;
    return -1;
}

} // namespace

class ActionsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    tvl::RecordingMessageSink m_messages;
    QStringList m_questions;
    QList<QUrl> m_opened;
    bool m_answer = true;
    int m_saveAnswer = QMessageBox::Cancel;
    int m_newCalls = 0;
    bool m_openWorks = true;
    QString m_folder; // what the folder chooser returns
    std::unique_ptr<CTovalineApp> m_app;

    QString Drive(const QString& rel = {}) const { return m_tmp.filePath("drive/" + rel); }
    QString Trash(const QString& rel) const { return m_tmp.filePath("data/Trash/" + rel); }
    tvl::DriveReport& C() const { return *m_app->Document()->DriveOf('C'); }
    CReportActions& Actions() const { return *m_app->Actions(); }
    CReportActions::Target FolderOf(const std::string& path) const
    {
        return {'C', PosOf(C(), path), false, {}, C().GetFolder(PosOf(C(), path))->nSpaceWithSubs};
    }

    void Start(bool bStoreFileNames)
    {
        CTovalineApp::Options o;
        o.bShowSplash = false;
        o.strSettingsFile = m_tmp.filePath("settings.ini");
        o.pMessages = &m_messages;
        o.newDocument = [this, bStoreFileNames](CTovalineDoc& doc) {
            ++m_newCalls;
            tvl::NewReportOptions n;
            n.strDrives = "C";
            n.nRankingSize = 3;
            n.bStoreFileNames = bStoreFileNames;
            const bool ok = doc.CreateReports(n);
            doc.SendInitialUpdate();
            emit doc.titleChanged(doc.GetTitle());
            return ok;
        };
        o.saveQuestion = [this](QWidget*, const QString& text) {
            m_questions << text;
            return m_saveAnswer;
        };
        o.saveFileName = [this](QWidget*, const QString&) { return m_tmp.filePath("saved.tvl"); };
        o.folderName = [this](QWidget*) { return m_folder; };
        o.actionHooks.confirm = [this](const QString& text) {
            m_questions << text;
            return m_answer;
        };
        o.actionHooks.open = [this](const QUrl& url) {
            m_opened << url;
            return m_openWorks;
        };
        m_app = std::make_unique<CTovalineApp>(o);
        QVERIFY(m_app->InitInstance({}));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        // The trash goes under the temporary folder, on the same file system as the tree.
        qputenv("HOME", m_tmp.path().toUtf8());
        qputenv("XDG_DATA_HOME", m_tmp.filePath("data").toUtf8());
    }

    void init()
    {
        m_app.reset();
        m_messages.messages.clear();
        m_questions.clear();
        m_opened.clear();
        m_answer = true;
        m_saveAnswer = QMessageBox::Cancel;
        m_newCalls = 0;
        m_openWorks = true;
        QFile::remove(m_tmp.filePath("settings.ini"));
        QDir(Drive()).removeRecursively();
        QDir(m_tmp.filePath("data")).removeRecursively();
        QDir().mkpath(m_tmp.filePath("data"));
        QDir().mkpath(Drive("a/sub"));
        QDir().mkpath(Drive("b"));
        WriteFile(Drive("a/big"), 4000);
        WriteFile(Drive("a/sub/s"), 1000);
        WriteFile(Drive("b/x"), 500);
        WriteFile(Drive("top"), 100);
        qputenv("TOVALINE_DRIVES", ("C=" + Drive()).toUtf8());
    }
    void cleanup() { m_app.reset(); }

    void trashAFileFromTheRankingAndAFolderFromTheFolderView_data()
    {
        QTest::addColumn<bool>("store");
        QTest::newRow("stored names") << true;
        QTest::newRow("live listing") << false;
    }
    void trashAFileFromTheRankingAndAFolderFromTheFolderView()
    {
        QFETCH(bool, store);
        Start(store);
        CMainFrame& frame = *m_app->MainFrame();
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 5600);
        QCOMPARE(frame.windowTitle(), QString("Report - Tovaline"));

        // The ranking's first row is the largest file.
        const CReportActions::Target big = Actions().RankTarget(0);
        QCOMPARE(big.strName, std::string("big"));
        QVERIFY(Actions().MoveToTrash(big));
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].contains(Drive("a/big")));
        QVERIFY(m_questions[0].contains("4.000 bytes"));
        QVERIFY(!QFileInfo::exists(Drive("a/big")));
        QCOMPARE(QFileInfo(Trash("files/big")).size(), 4000);
        QVERIFY(QFileInfo::exists(Trash("info/big.trashinfo")));
        const tvl::FolderRecord* a = C().GetFolder(PosOf(C(), "C:\\a\\"));
        QCOMPARE(a->nSpaceWithoutSubs, 0);
        QCOMPARE(a->nSpaceWithSubs, 1000);
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 1600);
        QCOMPARE(a->dPercentOfDisc, 1000 * 100.0 / 1600);
        QCOMPARE(C().ranking.front().strName, std::string("s"));
        QCOMPARE(m_app->Document()->m_rankingAll.front().strName, std::string("s"));
        QCOMPARE(frame.m_pRankView->List()->topLevelItem(0)->text(1), QString("s"));
        QCOMPARE(frame.windowTitle(), QString("Report * - Tovaline"));

        // A folder with everything below it.
        QVERIFY(Actions().MoveToTrash(FolderOf("C:\\a\\sub\\")));
        QVERIFY(QFileInfo(Trash("files/sub")).isDir());
        QCOMPARE(QFileInfo(Trash("files/sub/s")).size(), 1000);
        QCOMPARE(PosOf(C(), "C:\\a\\sub\\"), -1);
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 600);
        QCOMPARE(C().GetFolder(0)->nDescendants, 2);
        QCOMPARE(C().ranking.front().strName, std::string("x"));
        QVERIFY(m_messages.messages.empty());

        // The root of the drive is never offered to the trash.
        QVERIFY(!Actions().MoveToTrash(FolderOf("C:\\")));
        QVERIFY(QFileInfo::exists(Drive("top")));
    }

    void anItemChangedOnDiscOrARefusedTrashChangesNothing()
    {
        Start(true);
        WriteFile(Drive("a/big"), 4001); // grew since the scan
        QVERIFY(!Actions().MoveToTrash(Actions().RankTarget(0)));
        QCOMPARE(m_messages.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(m_messages.messages[0].text).contains("has changed on disc"));
        QVERIFY(QFileInfo::exists(Drive("a/big")));
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 5600);
        QVERIFY(!m_app->Document()->IsModified());

        // A trash that cannot be made (a file where its folder should be).
        WriteFile(m_tmp.filePath("data/Trash"), 1);
        m_messages.messages.clear();
        QVERIFY(!Actions().MoveToTrash(FolderOf("C:\\b\\")));
        QCOMPARE(m_messages.messages.size(), size_t(1));
        QVERIFY(QString::fromStdString(m_messages.messages[0].text).contains("could not be moved to the trash"));
        QVERIFY(QFileInfo::exists(Drive("b/x")));
        QVERIFY(PosOf(C(), "C:\\b\\") > 0);
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 5600);
        QVERIFY(!m_app->Document()->IsModified());

        // "No" at the question.
        QFile::remove(m_tmp.filePath("data/Trash"));
        m_answer = false;
        QVERIFY(!Actions().MoveToTrash(FolderOf("C:\\b\\")));
        QVERIFY(QFileInfo::exists(Drive("b/x")));
    }

    void theMenuIsDisabledWithAReasonWhenTheDriveIsNotMapped()
    {
        Start(true);
        QMenu* menu = Actions().BuildMenu(FolderOf("C:\\a\\"), nullptr);
        QStringList texts;
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) {
                texts << a->text();
                QVERIFY(a->isEnabled());
            }
        QCOMPARE(texts, QStringList({"&Open", "Open containing &folder", "&Copy path", "Move to &trash",
                                     "&Refresh folder"}));
        delete menu;
        QVERIFY(QDir(Drive("a")).removeRecursively());
        menu = Actions().BuildMenu(FolderOf("C:\\a\\"), nullptr);
        for (QAction* a : menu->actions())
            QVERIFY(a->isSeparator() || !a->isEnabled());
        QVERIFY(m_app->MainFrame()->statusBar()->currentMessage().contains("no longer exists on disc"));
        delete menu;
        QVERIFY(!Actions().CopyPath(FolderOf("C:\\a\\")));
    }

    void aNameThatIsNotUtf8IsActedOnByItsOwnBytes()
    {
        // "caf\xE9" (Latin-1) beside the name its text form would turn into.
        const std::string root = QFile::encodeName(Drive()).toStdString();
        const std::string bad = "caf\xE9", twin = "caf\xEF\xBF\xBD";
        for (const std::string& dir : {bad, twin}) {
            QVERIFY(::mkdir((root + dir).c_str(), 0755) == 0);
            const int fd = ::open((root + dir + "/inner").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0 && ::ftruncate(fd, dir == bad ? 300 : 200) == 0 && ::close(fd) == 0);
            const int file = ::open((root + "n" + dir.substr(3)).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(file >= 0 && ::ftruncate(file, 50) == 0 && ::close(file) == 0);
        }
        Start(true);
        const CReportActions::Target folder = FolderOf("C:\\" + bad + "\\");
        QMenu* menu = Actions().BuildMenu(folder, nullptr);
        for (QAction* a : menu->actions())
            QVERIFY(a->isSeparator() || a->isEnabled());
        delete menu;
        QVERIFY(Actions().CopyPath(folder));
        QCOMPARE(QGuiApplication::clipboard()->text(), CReportActions::DisplayPath(root + bad));
        QVERIFY(Actions().Open(folder));
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_opened[0].toEncoded().endsWith("/caf%E9"));

        QVERIFY(Actions().MoveToTrash(folder));
        struct stat st {};
        QVERIFY(::lstat((root + bad).c_str(), &st) != 0);
        QVERIFY(::lstat((root + twin + "/inner").c_str(), &st) == 0 && st.st_size == 200);
        const std::string trash = QFile::encodeName(Trash("files/")).toStdString();
        QVERIFY(::lstat((trash + bad + "/inner").c_str(), &st) == 0 && st.st_size == 300);
        QCOMPARE(PosOf(C(), "C:\\" + bad + "\\"), -1);
        QVERIFY(PosOf(C(), "C:\\" + twin + "\\") > 0);

        // A file of that name, its twin of the same size beside it.
        QVERIFY(Actions().MoveToTrash(CReportActions::Target{'C', 0, true, "n\xE9", 50}));
        QVERIFY(::lstat((root + "n\xE9").c_str(), &st) != 0);
        QVERIFY(::lstat((root + "n\xEF\xBF\xBD").c_str(), &st) == 0);
        QVERIFY(::lstat((trash + "n\xE9").c_str(), &st) == 0);
        QVERIFY(m_messages.messages.empty());
        // QDir cannot remove names that are not UTF-8.
        std::filesystem::remove_all(QFile::encodeName(m_tmp.filePath("data")).toStdString());
        std::filesystem::remove_all(root);
    }

    void aReportPathOutsideItsDriveIsKeptAsDataAndNeverActedOn()
    {
        // A crafted report: folders with ".." and empty steps, a file name with '/'.
        QDir().mkpath(m_tmp.filePath("outside"));
        WriteFile(m_tmp.filePath("outside/secret"), 10);
        tvl::test::DocFixture crafted;
        tvl::test::AddDrive(crafted.doc, 'C', true,
                            {{"C:\\", 0, 0, 10, -1, -1, {{"../outside/secret", 10}, {"..", 10}}},
                             {"C:\\..\\", 1, 0, 10, 100, 100, {{"secret", 10}}},
                             {"C:\\..\\outside\\", 2, 10, 10, 100, 100, {}},
                             {"C:\\a\\\\b\\", 1, 0, 0, 0, 0, {}}});
        QFile out(m_tmp.filePath("crafted.tvl"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray::fromStdString(tvl::test::Serialize(crafted.doc)));
        out.close();
        Start(true);
        QVERIFY(m_app->OpenDocumentFile(m_tmp.filePath("crafted.tvl")));
        QCOMPARE(C().nFolders, 4);
        QCOMPARE(C().GetFolder(1)->strPath, std::string("C:\\..\\")); // kept as it was
        QCOMPARE(C().GetFolder(3)->strPath, std::string("C:\\a\\\\b\\"));

        const CReportActions::Target targets[] = {{'C', 1, false, {}, 10},
                                                  {'C', 2, false, {}, 10},
                                                  {'C', 3, false, {}, 0},
                                                  {'C', 1, true, "secret", 10},
                                                  {'C', 0, true, "../outside/secret", 10},
                                                  {'C', 0, true, "..", 10}};
        for (const CReportActions::Target& t : targets) {
            QMenu* menu = Actions().BuildMenu(t, nullptr);
            for (QAction* a : menu->actions())
                QVERIFY(a->isSeparator() || !a->isEnabled());
            delete menu;
            QVERIFY(m_app->MainFrame()->statusBar()->currentMessage().contains("cannot be a"));
            QVERIFY(!Actions().Open(t));
            QVERIFY(!Actions().CopyPath(t));
            QVERIFY(!Actions().MoveToTrash(t));
            QVERIFY(t.nPos == 0 || !Actions().Refresh(t));
        }
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(QFileInfo(m_tmp.filePath("outside/secret")).size(), 10);
        QVERIFY(QFileInfo::exists(Drive("a/big")));
        QVERIFY(!QFileInfo::exists(Trash("files")) || QDir(Trash("files")).isEmpty());
        QCOMPARE(C().nFolders, 4);
    }

    void aRankingThatMayMissFilesIsMarkedWhereItIsSeen()
    {
        Start(false); // ranks 3 of the 4 files, without stored names
        CRankView* rank = m_app->MainFrame()->m_pRankView;
        QVERIFY(!rank->IncompleteLine()->isVisibleTo(rank));
        QVERIFY(Actions().MoveToTrash(FolderOf("C:\\b\\")));
        QVERIFY(C().bRankingIncomplete);
        QVERIFY(rank->IncompleteLine()->isVisibleTo(rank));
        QVERIFY(rank->IncompleteLine()->text().contains("Refresh all"));
        QCOMPARE(rank->Tabs()->tabText(0), QString("All !"));
        QCOMPARE(rank->Tabs()->tabText(1), QString("C: !"));
        // The line stands above the list, not over it.
        QVERIFY(rank->List()->geometry().top() > rank->IncompleteLine()->geometry().bottom());
        Actions().m_actRefreshAll->trigger();
        QVERIFY(!rank->IncompleteLine()->isVisibleTo(rank));
        QCOMPARE(rank->Tabs()->tabText(1), QString("C:"));
        QCOMPARE(rank->List()->geometry().top(), 0);
    }

    void openingWithoutAnApplicationSaysSo()
    {
        Start(true);
        QVERIFY(Actions().Open(FolderOf("C:\\a\\")));
        QVERIFY(m_messages.messages.empty());
        m_openWorks = false;
        QVERIFY(!Actions().Open(FolderOf("C:\\a\\")));
        QVERIFY(!Actions().OpenContainingFolder(FolderOf("C:\\a\\")));
        QCOMPARE(m_messages.messages.size(), std::size_t(2));
        QCOMPARE(m_messages.messages[0].caption, std::string("Open"));
        QVERIFY(m_messages.messages[0].text.find("No application could be found to open") != std::string::npos);
        QVERIFY(m_messages.messages[0].text.find("/drive/a") != std::string::npos);
        QCOMPARE(m_messages.messages[1].caption, std::string("Open containing folder"));
        QVERIFY(QFileInfo::exists(Drive("a/big"))); // nothing happened to the item
    }

    void refreshReadsTheFolderAgainAndMarksTheReport()
    {
        Start(false);
        WriteFile(Drive("a/sub/new"), 3000);
        QFile::remove(Drive("b/x"));
        m_app->Document()->m_pSelectedFolder = C().GetFolder(PosOf(C(), "C:\\a\\"));
        m_app->Document()->m_strSelectedPath = "C:\\a\\";
        Actions().m_actRefresh->trigger();
        QCOMPARE(C().GetFolder(PosOf(C(), "C:\\a\\sub\\"))->nSpaceWithSubs, 4000);
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 8600); // b/x is outside: not read again
        QVERIFY(m_app->Document()->IsModified());
        Actions().m_actRefreshAll->trigger();
        QCOMPARE(C().GetFolder(0)->nSpaceWithSubs, 8100);
        QVERIFY(!C().bRankingIncomplete);
    }

    void aChangedReportAsksBeforeNewOpenAndClose()
    {
        Start(true);
        QVERIFY(Actions().MoveToTrash(FolderOf("C:\\b\\")));
        QCOMPARE(m_newCalls, 1);
        m_questions.clear();

        m_saveAnswer = QMessageBox::Cancel;
        m_app->OnFileNew();
        QCOMPARE(m_newCalls, 1);
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].contains("was changed"));
        m_app->OnFileOpen(); // cancelled before any file dialog
        QVERIFY(!m_app->MainFrame()->close());
        QVERIFY(m_app->MainFrame()->isVisible());
        QVERIFY(m_app->Document()->IsModified());

        m_saveAnswer = QMessageBox::Save;
        QVERIFY(m_app->MainFrame()->close());
        QVERIFY(QFileInfo(m_tmp.filePath("saved.tvl")).size() > 0);
        QVERIFY(!m_app->Document()->IsModified());
        QCOMPARE(m_app->MainFrame()->windowTitle(), QString("saved.tvl - Tovaline"));

        m_app->MainFrame()->show();
        QVERIFY(Actions().MoveToTrash(FolderOf("C:\\a\\sub\\")));
        m_saveAnswer = QMessageBox::Discard;
        m_app->OnFileNew();
        QCOMPARE(m_newCalls, 2);
        QVERIFY(!m_app->Document()->IsModified());
    }

    void closingAfterANewScanAsksToSaveIt()
    {
        Start(false);
        QVERIFY(!m_app->Document()->IsModified());
        m_saveAnswer = QMessageBox::Cancel;
        QVERIFY(!m_app->MainFrame()->close());
        QCOMPARE(m_questions.size(), 1);
        QVERIFY(m_questions[0].contains("has not been saved"));
        QCOMPARE(m_app->Document()->m_nDrives, 1); // the scan is still there

        m_saveAnswer = QMessageBox::Save;
        QVERIFY(m_app->MainFrame()->close());
        QVERIFY(QFileInfo(m_tmp.filePath("saved.tvl")).size() > 0);
        // Saved once, it closes without a question; so does an opened report.
        m_app->MainFrame()->show();
        m_questions.clear();
        QVERIFY(m_app->MainFrame()->close());
        QVERIFY(m_app->OpenDocumentFile(m_tmp.filePath("saved.tvl")));
        m_app->MainFrame()->show();
        QVERIFY(m_app->MainFrame()->close());
        QVERIFY(m_questions.isEmpty());
    }

    void rankingRowsBackForwardAndHomeEndNavigate()
    {
        Start(true);
        CMainFrame* frame = m_app->MainFrame();
        CTovalineDoc* doc = m_app->Document();
        QTreeWidget* rank = frame->m_pRankView->List();
        auto currentFile = [&] {
            const QModelIndex i = frame->m_pFileView->List()->currentIndex();
            return i.isValid() ? frame->m_pFileView->Model().EntryAt(i.row()).strName : std::string();
        };
        // Enter on a ranking row: its folder in the folder view, the file in the list.
        rank->setFocus();
        rank->setCurrentItem(rank->topLevelItem(1));
        QTest::keyClick(rank, Qt::Key_Return);
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\a\\sub\\"));
        QCOMPARE(currentFile(), std::string("s"));
        // A double click does the same, opening the branches on the way.
        const QRect r0 = rank->visualItemRect(rank->topLevelItem(0));
        QTest::mouseClick(rank->viewport(), Qt::LeftButton, {}, r0.center());
        QTest::mouseDClick(rank->viewport(), Qt::LeftButton, {}, r0.center());
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\a\\"));
        QCOMPARE(currentFile(), std::string("big"));
        // A folder chosen in the folder list counts too.
        frame->m_pDiscView->SelectFolder(doc->DriveOf('C')->GetFolder(PosOf(C(), "C:\\b\\")));

        CNavigator& nav = *frame->m_pNavigator;
        QVERIFY(nav.m_actBack->isEnabled());
        QVERIFY(!nav.m_actForward->isEnabled());
        // The mouse's back button, then Back from the tool bar.
        QTest::mouseClick(frame->m_pDiscView->m_list->viewport(), Qt::BackButton);
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\a\\"));
        nav.m_actBack->trigger();
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\a\\sub\\"));
        QVERIFY(!nav.m_actBack->isEnabled());
        nav.m_actForward->trigger();
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\a\\"));
        QTest::mouseClick(frame->m_pDiscView->m_list->viewport(), Qt::ForwardButton);
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\b\\"));
        // A folder gone from the report is skipped.
        QVERIFY(Actions().MoveToTrash(FolderOf("C:\\a\\")));
        QVERIFY(!nav.GoBack());

        // Home and End: the first and the last row of the folder list.
        CFolderListCtrl* list = frame->m_pDiscView->m_list;
        list->setFocus();
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(list->currentIndex().row(), list->model()->rowCount() - 1);
        QCOMPARE(doc->m_pSelectedFolder, frame->m_pDiscView->Model()->FolderAt(list->model()->rowCount() - 1));
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(list->currentIndex().row(), 0);
        QCOMPARE(doc->m_strSelectedPath, std::string("C:\\"));
    }

    void aFolderIsScannedAsTheNextFreeLetter()
    {
        Start(true);
        m_saveAnswer = QMessageBox::Discard;
        m_folder = Drive("a");
        // The dialog opens with the folder's letter (D: C is the only drive) checked.
        QString shown;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dlg = qobject_cast<CCreateReportDlg*>(w); dlg && dlg->isVisible()) {
                    for (int i = 0; i < dlg->m_wndDriveList->count(); ++i)
                        if (dlg->m_wndDriveList->item(i)->checkState() == Qt::Checked)
                            shown += dlg->m_wndDriveList->item(i)->text();
                    dlg->m_wndStart->click();
                }
        });
        m_app->OnFileNewFolder();
        QCOMPARE(shown, QString(" Drive D: a"));
        CTovalineDoc* doc = m_app->Document();
        QCOMPARE(doc->m_nDrives, 1);
        const tvl::DriveReport* d = doc->DriveOf('D');
        QVERIFY(d);
        QCOMPARE(d->GetFolder(0)->nSpaceWithSubs, 5000); // a/big and a/sub/s
        QCOMPARE(d->GetFolder(1)->strPath, std::string("D:\\sub\\"));
        // The same folder again keeps its letter; a cancelled chooser does nothing.
        m_folder.clear();
        m_app->OnFileNewFolder();
        QCOMPARE(doc->DriveOf('D'), d);
    }

    void sizesInUnitsEverywhereWithTheExactNumberInTheToolTip()
    {
        Start(true);
        CMainFrame* frame = m_app->MainFrame();
        const FolderListModel* folders = frame->m_pDiscView->Model();
        QTreeWidget* rank = frame->m_pRankView->List();
        QVERIFY(!frame->m_actUnits->isChecked()); // off by default
        QCOMPARE(folders->index(0, 1).data().toString(), QString("5.600"));
        frame->m_actUnits->trigger();
        QCOMPARE(folders->index(0, 1).data().toString(), QString("5.5 KiB"));
        QCOMPARE(folders->index(0, 1).data(Qt::ToolTipRole).toString(), QString("5.600 bytes"));
        QCOMPARE(rank->topLevelItem(0)->text(2), QString("3.9 KiB"));
        QCOMPARE(rank->topLevelItem(0)->toolTip(2), QString("4.000 bytes"));
        frame->m_pDiscView->SelectFolder(C().GetFolder(PosOf(C(), "C:\\a\\")));
        const CFileListModel& files = frame->m_pFileView->Model();
        QCOMPARE(files.index(0, 1).data().toString(), QString("3.9 KiB"));
        // The choice is remembered for the next start.
        m_app.reset();
        Start(true);
        QVERIFY(m_app->MainFrame()->m_actUnits->isChecked());
        m_app->MainFrame()->m_actUnits->trigger();
        QCOMPARE(m_app->MainFrame()->m_pDiscView->Model()->index(0, 1).data().toString(), QString("5.600"));
        QVERIFY(!m_app->MainFrame()->m_pDiscView->Model()->index(0, 1).data(Qt::ToolTipRole).isValid());
    }

    void findBySubstringAndPatternAndShowAResult()
    {
        Start(true);
        Actions().ShowFind();
        CFindDlg& dlg = *Actions().m_pFindDlg;
        dlg.m_edit->setText("S");
        QCOMPARE(dlg.Search(), size_t(2)); // the folder "sub" and the file "s"
        QCOMPARE(dlg.m_results->topLevelItem(0)->text(0), QString("sub\\"));
        QCOMPARE(dlg.m_results->topLevelItem(0)->text(1), QString("1.000"));
        QCOMPARE(dlg.m_results->topLevelItem(0)->text(2), QString("C:\\a\\"));
        dlg.m_edit->setText("[bx]*");
        QCOMPARE(dlg.Search(), size_t(3)); // b, big, x
        QCOMPARE(dlg.m_results->topLevelItem(0)->text(0), QString("big"));
        dlg.m_edit->setText("sub");
        QCOMPARE(dlg.Search(), size_t(1));
        QVERIFY(dlg.Choose(0));
        QCOMPARE(m_app->Document()->m_strSelectedPath, std::string("C:\\a\\sub\\"));
        dlg.m_edit->setText("big");
        dlg.Search();
        QVERIFY(dlg.Choose(0));
        QCOMPARE(m_app->Document()->m_strSelectedPath, std::string("C:\\a\\"));
        QVERIFY(m_app->MainFrame()->m_pFileView->List()->currentIndex().isValid());
        QVERIFY(!dlg.m_count->text().contains("folder names"));
    }

    void findWithoutStoredFileNamesSaysOnlyFoldersWereSearched()
    {
        Start(false);
        Actions().ShowFind();
        CFindDlg& dlg = *Actions().m_pFindDlg;
        dlg.m_edit->setText("s");
        QCOMPARE(dlg.Search(), size_t(1)); // the folder "sub"; the file "s" is not known
        QVERIFY(dlg.m_count->text().startsWith("1 found"));
        QVERIFY(dlg.m_count->text().contains("Only folder names were searched"));
    }
};

QTEST_MAIN(ActionsTest)
#include "actions_test.moc"
