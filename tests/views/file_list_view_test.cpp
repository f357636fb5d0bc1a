// The file list: the stored and the live listing, the two messages, sorting.
#include "CFileListView.h"
#include "gui_fixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

namespace {

QStringList Column(const CFileListView& view, int column)
{
    QStringList out;
    const auto& model = view.Model();
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.data(model.index(r, column), Qt::DisplayRole).toString();
    return out;
}

} // namespace

class FileListViewTest : public QObject {
    Q_OBJECT
private slots:
    void init() { CFileListView::SetSortDirection(1); }

    void storedNamesAreListedWhileTheDriveIsAbsent()
    {
        GuiFixture f;
        f.drives.Set('D', "/nonexistent-tovaline-drive");
        tvl::DriveReport& d = f.AddDrive('D', true);
        tvl::FolderRecord* root = d.GetFolder(0);
        root->files = {{"zeta.bin", 1234567}, {"Alpha.txt", 999}, {"beta", 0}};
        f.Select(root);
        CFileListView view;
        view.SetDocument(&f.doc);
        view.resize(400, 300);
        view.OnUpdate(nullptr, 1);

        QVERIFY(!view.List()->isHidden());
        QVERIFY(view.Message()->isHidden());
        QCOMPARE(Column(view, 0), QStringList({"Alpha.txt", "beta", "zeta.bin"}));
        QCOMPARE(Column(view, 1), QStringList({"999", "0", "1.234.567"}));
        // The offline listing neither tests nor clears the drive's availability, and
        // the report keeps its entries.
        QVERIFY(d.bAvailable);
        QCOMPARE(root->files.size(), std::size_t(3));
    }

    void liveListingShowsFilesButNoFolders()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("sub/only-dirs/inner");
        WriteFile(tmp.filePath("sub/b.dat"), 5000);
        WriteFile(tmp.filePath("sub/A.dat"), 10);
        GuiFixture f;
        f.drives.Set('C', tmp.path().toStdString());
        tvl::DriveReport& d = f.AddDrive('C', false, {{"C:\\sub\\", 1}, {"C:\\sub\\only-dirs\\", 2}});
        tvl::FolderRecord& sub = *d.GetFolder(1);
        tvl::FolderRecord& onlyDirs = *d.GetFolder(2);
        CFileListView view;
        view.SetDocument(&f.doc);

        f.Select(&sub);
        view.OnUpdate(nullptr, 1);
        QVERIFY(!view.List()->isHidden());
        QCOMPARE(Column(view, 0), QStringList({"A.dat", "b.dat"}));
        QCOMPARE(Column(view, 1), QStringList({"10", "5.000"}));

        // A folder holding only folders shows an empty list, not a message.
        f.Select(&onlyDirs);
        view.OnUpdate(nullptr, 1);
        QVERIFY(!view.List()->isHidden());
        QVERIFY(view.Message()->isHidden());
        QCOMPARE(view.Model().rowCount(), 0);

        // No folder selected: neither list nor message.
        f.Select(nullptr);
        view.OnUpdate(nullptr, 1);
        QVERIFY(view.List()->isHidden());
        QVERIFY(view.Message()->isHidden());
        QVERIFY(f.messages.messages.empty());
    }

    void deletedFolderShowsTheFolderMessage()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("gone");
        GuiFixture f;
        f.drives.Set('C', tmp.path().toStdString());
        tvl::DriveReport& d = f.AddDrive('C', false, {{"C:\\gone\\", 1}});
        tvl::FolderRecord& gone = *d.GetFolder(1);
        QDir(tmp.filePath("gone")).removeRecursively();
        CFileListView view;
        view.SetDocument(&f.doc);
        f.Select(&gone);
        view.OnUpdate(nullptr, 1);

        QVERIFY(view.List()->isHidden());
        QVERIFY(!view.Message()->isHidden());
        QCOMPARE(view.Message()->text(),
                 QString("View of files is deactivated because the folder is not available.\n\n"
                         "Store the filenames in database when creating the report in order to make "
                         "this view available offline."));
        // Only the listing failed: the drive stays available and the report intact.
        QVERIFY(d.bAvailable);
        QCOMPARE(d.nFolders, 2);
    }

    void missingDriveStaysUnavailableForTheReport()
    {
        QTemporaryDir tmp;
        const QString drive = tmp.filePath("drive");
        QDir().mkpath(drive);
        WriteFile(drive + "/file", 1);
        GuiFixture f;
        f.drives.Set('E', drive.toStdString());
        tvl::DriveReport& d = f.AddDrive('E', false);
        CFileListView view;
        view.SetDocument(&f.doc);
        f.Select(d.GetFolder(0));
        view.OnUpdate(nullptr, 1);
        QCOMPARE(view.Model().rowCount(), 1);

        QVERIFY(QDir(drive).removeRecursively());
        view.OnUpdate(nullptr, 1);
        const QString message =
            "View of files is deactivated because drive E: is not available.\n\n"
            "Store the filenames in database when creating the report in order to make this view "
            "available in offline mode.";
        QVERIFY(view.List()->isHidden());
        QCOMPARE(view.Message()->text(), message);
        QVERIFY(!d.bAvailable);

        // Put back, the drive still counts as missing for as long as the report is open.
        QDir().mkpath(drive);
        view.OnUpdate(nullptr, 1);
        QCOMPARE(view.Message()->text(), message);
        QCOMPARE(d.nFolders, 1);
        QVERIFY(d.GetFolder(0));
    }

    void columnClicksShareOneDirection()
    {
        GuiFixture f;
        tvl::DriveReport& d = f.AddDrive('C', true);
        d.GetFolder(0)->files = {{"b", 30}, {"C", 10}, {"a", 20}};
        f.Select(d.GetFolder(0));
        CFileListView view;
        view.SetDocument(&f.doc);
        view.OnUpdate(nullptr, 1);
        QCOMPARE(Column(view, 0), QStringList({"a", "b", "C"}));

        view.List()->header()->sectionClicked(0); // "File" first: names descending
        QCOMPARE(Column(view, 0), QStringList({"C", "b", "a"}));
        view.OnColumnClick(1); // "Size": sizes in the current, descending, direction
        QCOMPARE(Column(view, 1), QStringList({"30", "20", "10"}));
        view.OnColumnClick(1); // "Size" again: ascending
        QCOMPARE(Column(view, 1), QStringList({"10", "20", "30"}));
        view.OnColumnClick(0); // back to "File": the direction last used stays
        QCOMPARE(Column(view, 0), QStringList({"a", "b", "C"}));
        QCOMPARE(CFileListView::SortDirection(), 1);

        // Every file list sorts with the same direction, also a new one.
        view.OnColumnClick(0);
        CFileListView other;
        other.SetDocument(&f.doc);
        other.OnUpdate(nullptr, 1);
        QCOMPARE(Column(other, 0), QStringList({"C", "b", "a"}));
    }

    void namesCompareWithoutCase()
    {
        QVERIFY(CFileListView::CompareNames("ABC", "abc") == 0);
        QVERIFY(CFileListView::CompareNames("ab", "ABC") < 0);
        QVERIFY(CFileListView::CompareNames("Zeta", "alpha") > 0);
        QVERIFY(CFileListView::CompareNames("_x", "ax") < 0); // '_' (0x5F) before 'a'
    }

    void columnWidthRule()
    {
        // 515 less a 15-pixel scroll bar: three fifths and two fifths.
        QCOMPARE(CFileListView::ColumnWidths(500, 0), std::make_pair(300, 200));
        // "Size" keeps its minimum; "File" gives way, never below 0.
        QCOMPARE(CFileListView::ColumnWidths(200, 120), std::make_pair(80, 120));
        QCOMPARE(CFileListView::ColumnWidths(100, 120), std::make_pair(0, 120));
        QCOMPARE(CFileListView::ColumnWidths(-3, 0), std::make_pair(0, 0));
    }

    // A folder long enough for a vertical scroll bar: the columns end exactly at the
    // scroll bar, no horizontal scroll bar appears, and every size is shown whole,
    // down to a narrow pane; the names elide instead.
    void columnsFitBesideTheScrollBarAndSizesStayWhole()
    {
        GuiFixture f;
        tvl::DriveReport& d = f.AddDrive('D', true);
        tvl::FolderRecord* root = d.GetFolder(0);
        for (int i = 0; i < 80; ++i)
            root->files.push_back({"a-rather-long-file-name-number-" + std::to_string(i) + ".bin", 7 + i});
        root->files.push_back({"huge.img", 98765432109LL});
        f.Select(root);
        CFileListView view;
        view.SetDocument(&f.doc);
        view.resize(515, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnUpdate(nullptr, 1);
        QTreeView* list = view.List();
        const QFontMetrics fm = list->fontMetrics();
        const int widest = fm.horizontalAdvance(QStringLiteral("98.765.432.109"));
        for (const int cx : {515, 300, 180}) {
            view.resize(cx, 300);
            QTRY_VERIFY(list->verticalScrollBar()->isVisible());
            QTRY_COMPARE(list->viewport()->width(), cx - list->verticalScrollBar()->width() - 2 * list->frameWidth());
            const int name = list->header()->sectionSize(0);
            const int size = list->header()->sectionSize(1);
            QCOMPARE(name + size, list->viewport()->width());
            QTRY_VERIFY(!list->horizontalScrollBar()->isVisible());
            QVERIFY2(size >= widest + 2, qPrintable(QStringLiteral("width %1: Size %2").arg(cx).arg(size)));
            // What the list draws for the size is the whole number.
            const QModelIndex huge = view.Model().index(0, 1);
            QVERIFY(list->visualRect(huge).width() >= widest);
        }
    }
};

QTEST_MAIN(FileListViewTest)
#include "file_list_view_test.moc"
