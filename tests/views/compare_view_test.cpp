// Comparing the report on screen with a baseline report: the change columns of the
// folder view, the "Changes" pane leading to folders, the marks of the rank view, the
// title, Stop comparing, a baseline that cannot be read, and Open ending a comparison.
#include "CChangesView.h"
#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFolderListCtrl.h"
#include "CMainFrame.h"
#include "CRankView.h"
#include "FolderListModel.h"
#include "ReportCompare.h"
#include "gui_fixture.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

void MakeFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).path());
    WriteFile(path, size);
}

QString Cell(const FolderListModel* m, int row, int col)
{
    return m->data(m->index(row, col), Qt::DisplayRole).toString();
}

int RowOfPath(const FolderListModel* m, const std::string& path)
{
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->FolderAt(r) && m->FolderAt(r)->strPath == path)
            return r;
    return -1;
}

} // namespace

class CompareViewTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QString m_before, m_after;

    // Scans the tree into a report file, as New and Save would.
    static void ScanTo(const QString& tree, const QString& file)
    {
        GuiFixture f;
        f.drives.Set('C', QFile::encodeName(tree).toStdString());
        tvl::NewReportOptions options;
        options.strDrives = "C";
        options.bStoreFileNames = true;
        QVERIFY(f.doc.CreateReports(options));
        QVERIFY(f.doc.OnSaveDocument(file));
    }

private slots:
    void initTestCase()
    {
        // Before: a/a1 100, a/b/b1 1000, old/o1 200, keep/k1 7 (1307 bytes). After: a
        // big file in a/b, old/ gone, fresh/f1 33 (51140 bytes).
        const QString t = m_dir.filePath("t");
        MakeFile(t + "/a/a1", 100);
        MakeFile(t + "/a/b/b1", 1000);
        MakeFile(t + "/old/o1", 200);
        MakeFile(t + "/keep/k1", 7);
        m_before = m_dir.filePath("before.tvl");
        m_after = m_dir.filePath("after.tvl");
        ScanTo(t, m_before);
        MakeFile(t + "/a/b/big", 50000);
        QDir(t + "/old").removeRecursively();
        MakeFile(t + "/fresh/f1", 33);
        ScanTo(t, m_after);
    }

    void changeColumnsChangesListRankMarksAndStop()
    {
        GuiFixture f;
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        frame.resize(1000, 700);
        frame.show();
        // Columns come and go with the comparison; the models announce it properly.
        QAbstractItemModelTester folderTester(frame.m_pDiscView->Model(),
                                              QAbstractItemModelTester::FailureReportingMode::QtTest);
        QAbstractItemModelTester changesTester(frame.m_pChangesView->Model(),
                                               QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(f.doc.OnOpenDocument(m_after));
        const FolderListModel* model = frame.m_pDiscView->Model();
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCount));
        QVERIFY(frame.m_pChangesView->isHidden());
        QVERIFY(!frame.m_actStopCompare->isEnabled());

        QVERIFY(f.doc.CompareWith(m_before));
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCountComparing));
        QCOMPARE(model->headerData(FolderListModel::ColChange, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Change"));
        QCOMPARE(model->headerData(FolderListModel::ColChangePercent, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Change %"));
        QCOMPARE(Cell(model, 0, FolderListModel::ColChange), QString("+49.833")); // 51140 - 1307
        QCOMPARE(Cell(model, 0, FolderListModel::ColChangePercent), QString("+3812.78")); // 49833 / 1307
        QVERIFY(frame.windowTitle().contains("after.tvl compared with before.tvl"));
        QVERIFY(!frame.m_pChangesView->isHidden());
        QVERIFY(frame.m_actStopCompare->isEnabled());
        // Both change columns are wide enough for their numbers.
        const QFontMetrics fm = frame.m_pDiscView->m_list->fontMetrics();
        QVERIFY(frame.m_pDiscView->m_list->columnWidth(FolderListModel::ColChange) > fm.horizontalAdvance("+49.833") + 5);

        // The changes list, by change: a (+50000), a\b (+50000), C:\ (+49833),
        // fresh (+33, new), then old (-200, removed).
        QTableView* list = frame.m_pChangesView->List();
        const ChangesListModel* changes = frame.m_pChangesView->Model();
        QCOMPARE(changes->rowCount(), 5);
        auto changeCell = [&](int row, int col) { return changes->data(changes->index(row, col), Qt::DisplayRole).toString(); };
        QCOMPARE(changeCell(0, 0), QString("C:\\a\\"));
        QCOMPARE(changeCell(1, 0), QString("C:\\a\\b\\"));
        QCOMPARE(changeCell(1, 1), QString("+50.000"));
        QCOMPARE(changeCell(1, 2), QString("+5000.00"));
        QCOMPARE(changeCell(1, ChangesListModel::ColBefore), QString("1.000"));
        QCOMPARE(changeCell(1, ChangesListModel::ColNow), QString("51.000"));
        QCOMPARE(changeCell(3, 2), QString("new"));
        QCOMPARE(changeCell(4, 0), QString("C:\\old\\"));
        QCOMPARE(changeCell(4, 1), QString("-200"));
        QCOMPARE(changeCell(4, 2), QString("removed"));

        // A click on C:\a\b\ opens the branch down to it and selects it.
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(changes->index(1, 0)).center());
        QCOMPARE(f.doc.m_strSelectedPath, std::string("C:\\a\\b\\"));
        const int row = RowOfPath(model, "C:\\a\\b\\");
        QVERIFY(row > 0);
        QVERIFY(frame.m_pDiscView->m_list->selectionModel()->isRowSelected(row, QModelIndex()));
        QCOMPARE(Cell(model, row, FolderListModel::ColChange), QString("+50.000"));
        QCOMPARE(Cell(model, row, FolderListModel::ColChangePercent), QString("+5000.00"));
        QCOMPARE(Cell(model, RowOfPath(model, "C:\\keep\\"), FolderListModel::ColChange), QString("0"));
        QCOMPARE(Cell(model, RowOfPath(model, "C:\\keep\\"), FolderListModel::ColChangePercent), QString()); // unchanged: no percentage
        QCOMPARE(Cell(model, RowOfPath(model, "C:\\fresh\\"), FolderListModel::ColChangePercent), QString("new"));
        QCOMPARE(RowOfPath(model, "C:\\old\\"), -1); // only in the baseline: not in the tree
        // A folder that is gone leads to its nearest ancestor that is still there.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(changes->index(4, 0)).center());
        QCOMPARE(f.doc.m_strSelectedPath, std::string("C:\\"));

        // The rank view marks the file that entered the ranking.
        QTreeWidget* rank = frame.m_pRankView->List();
        QCOMPARE(rank->topLevelItem(0)->text(1), QString("big"));
        QVERIFY(rank->topLevelItem(0)->font(1).bold());
        QCOMPARE(rank->topLevelItem(0)->toolTip(1), CRankView::NewEntryTip());
        QCOMPARE(rank->topLevelItem(1)->text(1), QString("b1"));
        QVERIFY(!rank->topLevelItem(1)->font(1).bold());

        // Saving while comparing writes the report alone, byte for byte as it was read.
        const QString copy = m_dir.filePath("copy.tvl");
        QVERIFY(f.doc.OnSaveDocument(copy));
        QFile a(m_after), b(copy);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
        QVERIFY(f.doc.Comparison());

        frame.m_actStopCompare->trigger();
        QVERIFY(!f.doc.Comparison());
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCount));
        QVERIFY(frame.m_pChangesView->isHidden());
        QVERIFY(!rank->topLevelItem(0)->font(1).bold());
        QVERIFY(!frame.windowTitle().contains("compared"));
        QCOMPARE(f.doc.m_strSelectedPath, std::string("C:\\")); // the report is as it was
        QVERIFY(f.messages.messages.empty());
    }

    void numbersAreNeverCutInCompareModeAt800x600()
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
            QVERIFY(f.doc.OnOpenDocument(m_after));
            QVERIFY(f.doc.CompareWith(m_before));
            CDiscReportView* view = frame.m_pDiscView;
            view->OnItemActivate(0); // all rows of C:\ shown
            view->OnItemActivate(0);
            QApplication::processEvents();
            const FolderListModel* model = view->Model();
            const QFontMetrics fm = view->m_list->fontMetrics();
            const QFontMetrics hfm = view->m_list->horizontalHeader()->fontMetrics();
            for (int col = 1; col < model->columnCount(); ++col) {
                if (view->m_list->isColumnHidden(col))
                    continue; // the folder facts' columns of a report without them
                // The report's long headings may elide; the change columns' short ones not.
                int widest = col < FolderListModel::ColCount
                                 ? 0
                                 : hfm.horizontalAdvance(model->headerData(col, Qt::Horizontal, Qt::DisplayRole).toString());
                for (int row = 0; row < model->rowCount(); ++row)
                    widest = std::max(widest, fm.horizontalAdvance(Cell(model, row, col)));
                QVERIFY2(view->m_list->columnWidth(col) >= widest + 5, qPrintable(QString("column %1").arg(col)));
            }
            // The file list made way: everything fits without sideways scrolling, or, with
            // the folder facts' two columns and a large font, the file list is down to
            // the width that keeps its own sizes whole.
            if (view->m_list->horizontalHeader()->length() > view->m_list->viewport()->width())
                QCOMPARE(frame.m_pFileView->width(),
                         std::max(CMainFrame::kMinPane, frame.m_pFileView->MinimumWidth()));
            QVERIFY(frame.m_pFileView->width() >= CMainFrame::kMinPane);
            QVERIFY(frame.m_pFileView->width() >= frame.m_pFileView->MinimumWidth()); // its sizes whole
            // The Changes pane: the item change of two scans with folder facts, and
            // "Before" and "Now" as columns where there is room for them beside it (in
            // half of 800 pixels there is not: they make way first), and no sideways
            // scroll bar while everything fits.
            QTableView* changes = frame.m_pChangesView->List();
            if (scale == 1.0) {
                QVERIFY(!changes->isColumnHidden(ChangesListModel::ColItems));
                QCOMPARE(changes->isColumnHidden(ChangesListModel::ColBefore), changes->isColumnHidden(ChangesListModel::ColNow));
                frame.m_wndSplitterBottom->setSizes({100, 700});
                QTRY_VERIFY(!changes->isColumnHidden(ChangesListModel::ColBefore));
                QVERIFY(!changes->isColumnHidden(ChangesListModel::ColItems));
            }
            QApplication::processEvents();
            QVERIFY(!changes->horizontalScrollBar()->isVisible());
        }
    }

    void anEditKeepsTheComparisonMadeAgain()
    {
        GuiFixture f;
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        frame.resize(1000, 700);
        QVERIFY(f.doc.OnOpenDocument(m_after));
        QVERIFY(f.doc.CompareWith(m_before));
        const FolderListModel* model = frame.m_pDiscView->Model();
        tvl::DriveReport& c = *f.doc.DriveOf('C');
        int fresh = 0;
        while (c.GetFolder(fresh)->strPath != "C:\\fresh\\")
            ++fresh;
        // fresh/ (33 bytes, new since the baseline) goes, as Move to trash takes it.
        QVERIFY(f.doc.RemoveFolder('C', fresh));
        f.doc.ReportEdited();
        QVERIFY(f.doc.Comparison());
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCountComparing));
        QCOMPARE(Cell(model, 0, FolderListModel::ColChange), QString("+49.800")); // 51107 - 1307
        QCOMPARE(frame.m_pChangesView->Model()->rowCount(), 4);
        QVERIFY(!frame.m_pChangesView->isHidden());
        QVERIFY(frame.windowTitle().contains("compared with before.tvl"));
        QVERIFY(frame.windowTitle().contains("*"));
    }

    void unreadableBaselineLeavesEverythingAndOpenEndsTheComparison()
    {
        GuiFixture f;
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        QVERIFY(f.doc.OnOpenDocument(m_after));
        QVERIFY(f.doc.CompareWith(m_after)); // the report against itself: no change
        const FolderListModel* model = frame.m_pDiscView->Model();
        QCOMPARE(Cell(model, 0, FolderListModel::ColChange), QString("0"));
        QCOMPARE(frame.m_pChangesView->Model()->rowCount(), 0);

        const QString bad = m_dir.filePath("bad.tvl");
        {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is no report");
        }
        QVERIFY(!f.doc.CompareWith(bad));
        QCOMPARE(f.messages.messages.size(), std::size_t(1));
        QCOMPARE(f.messages.messages[0].caption, std::string("Open"));
        QCOMPARE(f.messages.messages[0].text, std::string("This is not a valid disc space report!"));
        // The running comparison and the report stay.
        QVERIFY(f.doc.Comparison());
        QCOMPARE(f.doc.BaselinePathName(), m_after);
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCountComparing));
        QCOMPARE(f.doc.m_nDrives, 1);

        QVERIFY(!f.doc.CompareWith(m_dir.filePath("missing.tvl")));
        QCOMPARE(f.messages.messages.back().text, std::string("Cannot open file!"));
        QVERIFY(f.doc.Comparison());

        QVERIFY(f.doc.OnOpenDocument(m_before));
        QVERIFY(!f.doc.Comparison());
        QCOMPARE(model->columnCount(), int(FolderListModel::ColCount));
        QVERIFY(frame.m_pChangesView->isHidden());
    }
};

QTEST_MAIN(CompareViewTest)
#include "compare_view_test.moc"
