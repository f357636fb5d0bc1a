// What the desktop shows of the folder facts: the size switch against a report made in
// the other measure, the "Files (with subs)" and "Last change" columns, the marks of
// folders that were not read, hidden columns kept in the settings, the item change of
// a comparison, and numbers that stay whole.
#include "CChangesView.h"
#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFileTypesView.h"
#include "CFolderListCtrl.h"
#include "CMainFrame.h"
#include "CRankView.h"
#include "CTovalineApp.h"
#include "CTreemapView.h"
#include "FileTypes.h"
#include "FolderListModel.h"
#include "NumberFormat.h"
#include "ReportActions.h"
#include "ReportCompare.h"
#include "SizeMeasure.h"
#include "TreemapLayout.h"
#include "gui_fixture.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

namespace {

constexpr std::int64_t kMay2024 = 1715000000; // 2024-05-06
constexpr std::int64_t kJan2021 = 1610000000; // 2021-01-07

struct FileSpec {
    const char* name;
    std::int64_t length, space, change;
};

// A drive as a scan with folder facts leaves it, measured in file length or in space
// on disc; the same files give both, so the two drives are one tree scanned with either
// option. C:\a holds a sparse file (long, little space), C:\a\deep small files (short,
// a block each), C:\b a preallocated file, C:\locked could not be read, C:\mnt is another
// file system.
std::unique_ptr<tvl::DriveReport> FactsDrive(bool bDiscUsage, std::int64_t nManyFiles = 0)
{
    auto d = std::make_unique<tvl::DriveReport>();
    d->cDrive = 'C';
    d->bStoreFileNames = true;
    d->bFolderFacts = true;
    d->nRankingSize = 10;
    d->pFacts = std::make_unique<tvl::DriveFacts>();
    d->pFacts->options.bDiscUsage = bDiscUsage;
    tvl::ReportBuilder b(*d, tvl::ReportBuilder::Origin::Scan);
    auto add = [&](const FileSpec& f) {
        b.AddFile(f.name, bDiscUsage ? f.space : f.length, bDiscUsage ? f.length : f.space, f.change, true);
    };
    b.EnterFolder("C:\\", 0).nNewestChange = kJan2021;
    add({"top.txt", 5000, 8192, kJan2021});
    b.EnterFolder("C:\\a\\", 1);
    add({"sparse.img", 90000000, 4096, kMay2024});
    add({"note", 10, 4096, tvl::kNoTime});
    b.EnterFolder("C:\\a\\deep\\", 2);
    for (int i = 0; i < 3; ++i)
        add({"s", 100, 4096, kJan2021});
    b.LeaveFolder();
    b.LeaveFolder();
    // Larger than C:\a on disc, smaller in length: the order by size follows the measure.
    b.EnterFolder("C:\\b\\", 1);
    add({"prealloc", 50000, 409600, kJan2021});
    b.LeaveFolder();
    b.EnterFolder("C:\\locked\\", 1).state = tvl::FolderState::NoAccess;
    b.LeaveFolder();
    b.EnterFolder("C:\\mnt\\", 1).state = tvl::FolderState::OtherFs;
    b.LeaveFolder();
    b.Finish();
    // Hand-set counts for the widths: a folder with millions of files.
    if (nManyFiles > 0)
        d->GetFolder(1)->nFiles = static_cast<std::int32_t>(nManyFiles);
    tvl::SumSubtrees(*d);
    const std::int64_t total = d->GetFolder(0)->nSpaceWithSubs;
    for (tvl::FolderRecord* f : d->Folders())
        tvl::SetShares(*f, total);
    d->GetFolder(0)->dPercentOfParent = d->GetFolder(0)->dPercentOfDisc = -1.0;
    return d;
}

void Load(GuiFixture& f, std::unique_ptr<tvl::DriveReport> drive)
{
    f.doc.m_pDriveReports.push_back(std::move(drive));
    f.doc.m_nDrives = 1;
    f.doc.m_bRanking = true;
    f.doc.m_rankingAll = f.doc.m_pDriveReports[0]->ranking;
    f.doc.SendInitialUpdate();
}

QString Cell(const QAbstractItemModel& m, int row, int col, int role = Qt::DisplayRole)
{
    return m.index(row, col).data(role).toString();
}

int RowOf(const FolderListModel& m, const QString& name)
{
    for (int r = 0; r < m.rowCount(); ++r)
        if (Cell(m, r, 0) == name)
            return r;
    return -1;
}

// Every row of the folder view shown: each closed branch opened.
void ExpandAll(CDiscReportView& view)
{
    for (int r = 0; r < view.Model()->rowCount(); ++r) {
        const tvl::FolderRecord* f = view.Model()->FolderAt(r);
        if (f && f->bHasSubFolders && !f->bExpanded)
            view.OnItemActivate(r);
    }
}

QStringList FileColumn(const CFileListView& view, int column)
{
    QStringList out;
    for (int r = 0; r < view.Model().rowCount(); ++r)
        out << Cell(view.Model(), r, column);
    return out;
}

} // namespace

class FolderFactsTest : public QObject {
    Q_OBJECT
private slots:
    // A report counted in file length, switched to space on disc, shows in the folder
    // view, the file list, the treemap and the file types what a report counted in
    // space on disc shows; the ranking stays and its tab says so; the status bar names
    // the measure; Open or New returns to the scan's measure.
    void switchingShowsWhatTheOtherScanShows()
    {
        GuiFixture byLength, byDisc;
        CMainFrame frame, other;
        frame.SetDocument(&byLength.doc);
        other.SetDocument(&byDisc.doc);
        Load(byLength, FactsDrive(false));
        Load(byDisc, FactsDrive(true));
        QVERIFY(frame.m_actSizeLength->isEnabled() && frame.m_actSizeLength->isChecked());
        QCOMPARE(frame.m_wndMeasure->text(), QStringLiteral("Size: file length"));
        const QString rankingBefore = Cell(*frame.m_pRankView->List()->model(), 0, 2);

        frame.m_actSizeDisc->trigger();
        QVERIFY(byLength.doc.WantedKind() == std::optional<tvl::SizeKind>(tvl::SizeKind::DiscUsage));
        QVERIFY(frame.m_actSizeDisc->isChecked());
        QCOMPARE(frame.m_wndMeasure->text(), QStringLiteral("Size: space on disc"));
        ExpandAll(*frame.m_pDiscView);
        ExpandAll(*other.m_pDiscView);
        const FolderListModel& m = *frame.m_pDiscView->Model();
        const FolderListModel& o = *other.m_pDiscView->Model();
        QCOMPARE(m.rowCount(), 6);
        QCOMPARE(o.rowCount(), m.rowCount());
        for (int r = 0; r < m.rowCount(); ++r)
            for (int c = 0; c < FolderListModel::ColCount; ++c) {
                QCOMPARE(Cell(m, r, c), Cell(o, r, c));
                QCOMPARE(m.index(r, c).data(FolderListModel::PercentRole), o.index(r, c).data(FolderListModel::PercentRole));
            }
        QCOMPARE(Cell(m, RowOf(m, "a"), FolderListModel::ColSpaceWithSubs), QStringLiteral("20.480")); // 5 blocks
        // Sorted by size, the rows follow the measure shown: "a" is larger by length.
        frame.m_pDiscView->SetSort({FolderListModel::ColSpaceWithSubs, true});
        other.m_pDiscView->SetSort({FolderListModel::ColSpaceWithSubs, true});
        for (int r = 0; r < m.rowCount(); ++r)
            QCOMPARE(Cell(m, r, 0), Cell(o, r, 0));

        // The file list of the selected folder.
        QVERIFY(frame.m_pDiscView->SelectFolder(byLength.doc.m_pDriveReports[0]->GetFolder(1)));
        QVERIFY(other.m_pDiscView->SelectFolder(byDisc.doc.m_pDriveReports[0]->GetFolder(1)));
        QCOMPARE(FileColumn(*frame.m_pFileView, CFileListModel::ColSize), FileColumn(*other.m_pFileView, CFileListModel::ColSize));
        QCOMPARE(FileColumn(*frame.m_pFileView, CFileListModel::ColSize), QStringList({"4.096", "4.096"}));
        // Move to trash and the report's edit go by the size the scan counted, whatever
        // the list shows: a file changed on disc is told by that one.
        CReportActions actions(frame, byLength.doc);
        QCOMPARE(actions.FileTarget(1).strName, std::string("sparse.img"));
        QCOMPARE(actions.FileTarget(1).nSize, std::int64_t(90000000));

        // The treemap's and the file types' copies of the drive.
        const tvl::DriveReport& a = *byLength.doc.m_pDriveReports[0];
        const tvl::DriveReport& b = *byDisc.doc.m_pDriveReports[0];
        const tvl::TreemapTree ta(a, tvl::SizeKind::DiscUsage), tb(b);
        const tvl::FileTypeIndex ia(a, tvl::SizeKind::DiscUsage), ib(b);
        for (int p = 0; p < a.nFolders; ++p) {
            QCOMPARE(ta.SpaceWithSubs(p), tb.SpaceWithSubs(p));
            QCOMPARE(ta.SpaceWithoutSubs(p), tb.SpaceWithoutSubs(p));
            QCOMPARE(ia.SpaceWithSubs(p), ib.SpaceWithSubs(p));
            for (int k = 0; k < ta.FileCount(p); ++k)
                QCOMPARE(ta.FileSize(p, k), tb.FileSize(p, k));
        }
        frame.m_actFileTypes->setChecked(true);
        other.m_actFileTypes->setChecked(true);
        frame.show();
        other.show();
        QTRY_VERIFY(frame.m_pTypesView->StatisticsReady() && other.m_pTypesView->StatisticsReady());
        QCOMPARE(frame.m_pTypesView->Statistics().nTotalBytes, other.m_pTypesView->Statistics().nTotalBytes);

        // The ranking is the scan's, and its tabs say so.
        QCOMPARE(Cell(*frame.m_pRankView->List()->model(), 0, 2), rankingBefore);
        QVERIFY2(frame.m_pRankView->Tabs()->tabToolTip(0).contains("by file length"),
                 qPrintable(frame.m_pRankView->Tabs()->tabToolTip(0)));
        QCOMPARE(other.m_pRankView->Tabs()->tabToolTip(0), QString());

        // Back to the scan's measure: the numbers of the start.
        frame.m_actSizeLength->trigger();
        QCOMPARE(frame.m_pRankView->Tabs()->tabToolTip(0), QString());
        QCOMPARE(Cell(m, RowOf(m, "a"), FolderListModel::ColSpaceWithSubs), QStringLiteral("90.000.310"));
        // A new report is shown as its scan measured it.
        frame.m_actSizeDisc->trigger();
        byLength.doc.SendInitialUpdate();
        QVERIFY(!byLength.doc.WantedKind());
        QVERIFY(frame.m_actSizeLength->isChecked());

        // A report without folder facts cannot switch.
        GuiFixture plain;
        CMainFrame third;
        third.SetDocument(&plain.doc);
        plain.AddDrive('C', false);
        plain.doc.SendInitialUpdate();
        QVERIFY(!third.m_actSizeDisc->isEnabled());
        QVERIFY(!third.m_actSizeLength->isEnabled());
        QCOMPARE(third.m_wndMeasure->text(), QString());
    }

    // The same through real scans of one tree, once in each measure, and through Save
    // and Open: the report counted in file length, switched, shows every number of the
    // report counted in space on disc.
    void aRealScanSwitchedShowsTheOtherScan()
    {
        QTemporaryDir tree;
        QDir(tree.path()).mkpath("a/deep");
        QDir(tree.path()).mkpath(".hidden");
        WriteFile(tree.filePath("a/sparse.img"), 50 * 1000 * 1000); // a hole: length, few blocks
        WriteFile(tree.filePath("a/deep/small"), 10);
        {
            QFile full(tree.filePath("full.bin"));
            QVERIFY(full.open(QIODevice::WriteOnly));
            full.write(QByteArray(300000, 'x'));
        }
        WriteFile(tree.filePath(".hidden/h"), 7);
        GuiFixture byLength, byDisc, reopened;
        CMainFrame frame, other, third;
        frame.SetDocument(&byLength.doc);
        other.SetDocument(&byDisc.doc);
        third.SetDocument(&reopened.doc);
        for (GuiFixture* f : {&byLength, &byDisc, &reopened})
            f->drives.Set('C', tree.path().toStdString());
        tvl::NewReportOptions options;
        options.strDrives = "C";
        options.bStoreFileNames = true;
        QVERIFY(byLength.doc.CreateReports(options));
        byLength.doc.SendInitialUpdate();
        options.scan.bDiscUsage = true;
        QVERIFY(byDisc.doc.CreateReports(options));
        byDisc.doc.SendInitialUpdate();
        QVERIFY(byLength.doc.m_pDriveReports[0]->bFolderFacts);
        const QString saved = QDir(tree.path()).filePath("../" + QFileInfo(tree.path()).fileName() + "-length.tvl");
        QVERIFY(byLength.doc.OnSaveDocument(saved));
        QVERIFY(reopened.doc.OnOpenDocument(saved));
        QFile::remove(saved);

        for (CMainFrame* f : {&frame, &third}) {
            QVERIFY(f->m_actSizeDisc->isEnabled());
            f->m_actSizeDisc->trigger();
        }
        for (CMainFrame* f : {&frame, &other, &third})
            ExpandAll(*f->m_pDiscView);
        const FolderListModel& o = *other.m_pDiscView->Model();
        QCOMPARE(o.rowCount(), 4); // C:, .hidden, a, a\deep
        for (CMainFrame* f : {&frame, &third}) {
            const FolderListModel& m = *f->m_pDiscView->Model();
            QCOMPARE(m.rowCount(), o.rowCount());
            for (int r = 0; r < m.rowCount(); ++r)
                for (int c = 0; c < FolderListModel::ColCount; ++c)
                    QCOMPARE(Cell(m, r, c), Cell(o, r, c));
            QVERIFY(f->m_pDiscView->SelectFolder(f->Document()->m_pDriveReports[0]->GetFolder(0)));
        }
        QVERIFY(other.m_pDiscView->SelectFolder(byDisc.doc.m_pDriveReports[0]->GetFolder(0)));
        QCOMPARE(FileColumn(*frame.m_pFileView, CFileListModel::ColSize), FileColumn(*other.m_pFileView, CFileListModel::ColSize));
        QCOMPARE(FileColumn(*third.m_pFileView, CFileListModel::ColSize), FileColumn(*other.m_pFileView, CFileListModel::ColSize));
        QCOMPARE(FileColumn(*third.m_pFileView, CFileListModel::ColChange), FileColumn(*other.m_pFileView, CFileListModel::ColChange));
    }

    // The facts' columns show counts and dates (empty where the time is not known or the
    // drive has none), folders that were not read are marked with their reason in the
    // tool tip and the status bar, and the file list has its "Last change".
    void countsDatesAndMarks()
    {
        GuiFixture f;
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        Load(f, FactsDrive(false));
        CDiscReportView& view = *frame.m_pDiscView;
        ExpandAll(view);
        const FolderListModel& m = *view.Model();
        const QString may = QLocale().toString(QDateTime::fromSecsSinceEpoch(kMay2024).date(), QLocale::ShortFormat);
        QCOMPARE(Cell(m, 0, FolderListModel::ColFilesWithSubs), QStringLiteral("7"));
        QCOMPARE(Cell(m, 0, FolderListModel::ColLastChange), may); // the newest below
        QCOMPARE(Cell(m, RowOf(m, "a"), FolderListModel::ColFilesWithSubs), QStringLiteral("5"));
        QCOMPARE(Cell(m, RowOf(m, "locked"), FolderListModel::ColLastChange), QString()); // not known
        QVERIFY(!view.m_list->isColumnHidden(FolderListModel::ColFilesWithSubs));
        QVERIFY(!view.m_list->isColumnHidden(FolderListModel::ColLastChange));

        const int locked = RowOf(m, "locked"), mnt = RowOf(m, "mnt"), a = RowOf(m, "a");
        QCOMPARE(Cell(m, locked, 0, Qt::ToolTipRole), QStringLiteral("C:\\locked\\\nCould not be read: permission denied"));
        QCOMPARE(Cell(m, mnt, 0, Qt::ToolTipRole), QStringLiteral("C:\\mnt\\\nOther file system, not entered"));
        QCOMPARE(Cell(m, a, 0, Qt::ToolTipRole), QStringLiteral("C:\\a\\"));
        QVERIFY(m.index(locked, 0).data(FolderListModel::MarkRole).toInt() !=
                m.index(mnt, 0).data(FolderListModel::MarkRole).toInt());
        QCOMPARE(m.index(a, 0).data(FolderListModel::MarkRole).toInt(), 0);
        QVERIFY(view.SelectFolder(m.FolderAt(locked)));
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Could not be read: permission denied"));
        QVERIFY(view.SelectFolder(m.FolderAt(mnt)));
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("Other file system, not entered"));
        QVERIFY(view.SelectFolder(m.FolderAt(a)));
        QCOMPARE(frame.statusBar()->currentMessage(), QString());

        // The file list of C:\a: its dates, one unknown.
        QVERIFY(frame.m_pFileView->ShowsChanges());
        QCOMPARE(FileColumn(*frame.m_pFileView, CFileListModel::ColFile), QStringList({"note", "sparse.img"}));
        QCOMPARE(FileColumn(*frame.m_pFileView, CFileListModel::ColChange), QStringList({QString(), may}));

        // A report without facts: nothing to show, so neither the columns nor marks.
        GuiFixture plain;
        CMainFrame third;
        third.SetDocument(&plain.doc);
        tvl::DriveReport& d = plain.AddDrive('C', true, {{"C:\\x\\", 1}});
        d.GetFolder(1)->state = tvl::FolderState::NoAccess; // meaningless without facts
        d.GetFolder(1)->bVisible = true;
        plain.doc.SendInitialUpdate();
        const FolderListModel& pm = *third.m_pDiscView->Model();
        QVERIFY(third.m_pDiscView->m_list->isColumnHidden(FolderListModel::ColFilesWithSubs));
        QVERIFY(third.m_pDiscView->m_list->isColumnHidden(FolderListModel::ColLastChange));
        QCOMPARE(Cell(pm, 0, FolderListModel::ColLastChange), QString());
        QCOMPARE(pm.index(RowOf(pm, "x"), 0).data(FolderListModel::MarkRole).toInt(), 0);
        QVERIFY(third.m_pDiscView->SelectFolder(d.GetFolder(1)));
        QVERIFY(!third.m_pFileView->ShowsChanges());
        third.resize(1000, 700);
        third.show();
        QVERIFY(QTest::qWaitForWindowExposed(&third));
        QVERIFY(third.m_pFileView->List()->isColumnHidden(CFileListModel::ColChange));
    }

    // Columns hidden from the heading's menu stay hidden in the next run; the others
    // share the row area.
    void hiddenColumnsAreRemembered()
    {
        QTemporaryDir tmp;
        tvl::RecordingMessageSink messages;
        CTovalineApp::Options o;
        o.bShowSplash = false;
        o.strSettingsFile = tmp.filePath("settings.ini");
        o.pMessages = &messages;
        o.newDocument = [](CTovalineDoc& doc) {
            doc.m_pDriveReports.push_back(FactsDrive(false));
            doc.m_nDrives = 1;
            doc.SendInitialUpdate();
            return true;
        };
        {
            CTovalineApp app(o);
            QVERIFY(app.InitInstance({}));
            CDiscReportView* view = app.MainFrame()->m_pDiscView;
            std::unique_ptr<QMenu> menu(view->MakeColumnMenu(nullptr));
            QCOMPARE(menu->actions().size(), FolderListModel::ColCount - 1); // all but "Folder"
            for (QAction* a : menu->actions())
                if (a->text() == QStringLiteral("Last change") || a->text() == QStringLiteral("% of disc")) {
                    QVERIFY(a->isChecked());
                    a->setChecked(false);
                }
            QVERIFY(view->m_list->isColumnHidden(FolderListModel::ColLastChange));
            QVERIFY(view->m_list->isColumnHidden(FolderListModel::ColPercentOfDisc));
            app.ExitInstance();
        }
        QSettings settings(tmp.filePath("settings.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("View/HiddenColumns").toStringList(), QStringList({"percentOfDisc", "lastChange"}));

        CTovalineApp again(o);
        QVERIFY(again.InitInstance({}));
        CDiscReportView* view = again.MainFrame()->m_pDiscView;
        again.MainFrame()->resize(1000, 700);
        QVERIFY(QTest::qWaitForWindowExposed(again.MainFrame()));
        QVERIFY(view->m_list->isColumnHidden(FolderListModel::ColLastChange));
        QVERIFY(view->m_list->isColumnHidden(FolderListModel::ColPercentOfDisc));
        QVERIFY(!view->m_list->isColumnHidden(FolderListModel::ColFilesWithSubs));
        QTRY_COMPARE(view->m_list->horizontalHeader()->length(), view->m_list->viewport()->width());
        // Shown again from the menu.
        std::unique_ptr<QMenu> menu(view->MakeColumnMenu(nullptr));
        for (QAction* a : menu->actions())
            if (!a->isChecked())
                a->setChecked(true);
        QVERIFY(!view->m_list->isColumnHidden(FolderListModel::ColLastChange));
        QCOMPARE(view->HiddenColumns(), QStringList());
        again.ExitInstance();
    }

    // The Changes pane shows the change in items beside the change in bytes where both
    // reports know the items, and nothing where one does not.
    void itemChangeBesideTheByteChange()
    {
        auto before = FactsDrive(false);
        auto now = FactsDrive(false);
        // One more file in C:\a\deep now.
        for (tvl::FolderRecord* f : {now->GetFolder(0), now->GetFolder(1), now->GetFolder(2)}) {
            f->nItemsWithSubs += 1;
            f->nSpaceWithSubs += 1000;
        }
        const tvl::DriveComparison d = tvl::CompareDrives(before.get(), now.get());
        tvl::ReportComparison rc;
        rc.drives.push_back(d);
        ChangesListModel model;
        model.SetComparisonSource([&rc] { return &rc; });
        model.Refill();
        QVERIFY(model.KnowsItems());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(Cell(model, 0, ChangesListModel::ColChange), QStringLiteral("+1.000"));
        QCOMPARE(Cell(model, 0, ChangesListModel::ColItems), QStringLiteral("+1"));
        QVERIFY(Cell(model, 0, ChangesListModel::ColFolder, Qt::ToolTipRole).endsWith("\nItems: +1"));
        before->bFolderFacts = false; // a baseline without the facts
        rc.drives[0] = tvl::CompareDrives(before.get(), now.get());
        model.Refill();
        QVERIFY(!model.KnowsItems());
        QCOMPARE(Cell(model, 0, ChangesListModel::ColItems), QString());
    }

    // At 800x600 and with a large font, the facts' numbers and dates are whole in the
    // folder view and the file list, beside a file list that keeps its sizes whole.
    void numbersStayWhole()
    {
        for (const double scale : {1.0, 1.5}) {
            GuiFixture f;
            CMainFrame frame;
            QFont font = frame.font();
            font.setPointSizeF(font.pointSizeF() * scale);
            frame.setFont(font);
            frame.SetDocument(&f.doc);
            frame.resize(800, 600);
            frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&frame));
            Load(f, FactsDrive(false, 1234567));
            CDiscReportView& view = *frame.m_pDiscView;
            ExpandAll(view);
            QVERIFY(view.SelectFolder(f.doc.m_pDriveReports[0]->GetFolder(1)));
            QApplication::processEvents();
            const FolderListModel& m = *view.Model();
            const QFontMetrics fm = view.m_list->fontMetrics();
            for (int col = 1; col < m.columnCount(); ++col) {
                int widest = 0;
                for (int row = 0; row < m.rowCount(); ++row)
                    widest = std::max(widest, fm.horizontalAdvance(Cell(m, row, col)));
                QVERIFY2(view.m_list->columnWidth(col) >= widest + FolderRowDelegate::kTextMargins,
                         qPrintable(QStringLiteral("scale %1, column %2").arg(scale).arg(col)));
            }
            QCOMPARE(Cell(m, 0, FolderListModel::ColFilesWithSubs), QStringLiteral("1.234.572"));
            QTreeView* files = frame.m_pFileView->List();
            for (int col : {CFileListModel::ColSize, CFileListModel::ColChange}) {
                if (files->isColumnHidden(col))
                    continue; // "Last change" gives way in a narrow list
                int widest = 0;
                for (int row = 0; row < frame.m_pFileView->Model().rowCount(); ++row)
                    widest = std::max(widest, files->fontMetrics().horizontalAdvance(Cell(frame.m_pFileView->Model(), row, col)));
                QVERIFY2(files->columnWidth(col) >= widest + 2, qPrintable(QStringLiteral("file list column %1").arg(col)));
            }
            QVERIFY(frame.m_pFileView->width() >= frame.m_pFileView->MinimumWidth());
        }
    }
};

QTEST_MAIN(FolderFactsTest)
#include "folder_facts_test.moc"
