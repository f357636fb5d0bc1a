// The "File types" pane in the main window: on for a report with file names, the
// types of the selected folder largest first and sortable, a chosen type lighting
// exactly its tiles in the treemap, its largest files leading to the folder view and
// file list; a report without names says how to make one.
#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFileTypesView.h"
#include "CMainFrame.h"
#include "CTreemapView.h"
#include "gui_fixture.h"

#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

class FileTypesViewTest : public QObject {
    Q_OBJECT
private:
    static QStringList Column(QTreeView* view, int column)
    {
        QStringList texts;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            texts << view->model()->index(r, column).data().toString();
        return texts;
    }

private slots:
    void typesOfTheSelectedFolderLightTheirTilesAndLeadToTheirFiles()
    {
        GuiFixture f;
        tvl::DriveReport& d = f.AddDrive('C', true, {{"C:\\a\\", 1}, {"C:\\b\\", 1}});
        tvl::FolderRecord *root = d.GetFolder(0), *a = d.GetFolder(1), *b = d.GetFolder(2);
        a->files = {{"x.MP4", 5000}, {"python3.11", 1000}, {"y.mp4", 2000}};
        b->files = {{"z.txt", 3000}};
        root->files = {{"r.mp4", 500}};
        a->nSpaceWithoutSubs = a->nSpaceWithSubs = 8000;
        b->nSpaceWithoutSubs = b->nSpaceWithSubs = 3000;
        root->nSpaceWithoutSubs = 500;
        root->nSpaceWithSubs = 11500;
        root->bVisible = root->bHasSubFolders = true;

        CMainFrame frame;
        frame.resize(1200, 900);
        frame.m_actTreemap->setChecked(true);
        frame.SetDocument(&f.doc);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        f.doc.SendInitialUpdate();
        CFileTypesView* pane = frame.m_pTypesView;
        QVERIFY(frame.m_actFileTypes->isChecked());
        QVERIFY(pane->isVisible());
        QTRY_VERIFY(pane->StatisticsReady());
        QCOMPARE(Column(pane->TypeList(), CFileTypesView::ColType),
                 QStringList({".mp4", ".txt", "(no extension)"}));
        QCOMPARE(Column(pane->TypeList(), CFileTypesView::ColBytes), QStringList({"7.500", "3.000", "1.000"}));
        QCOMPARE(Column(pane->TypeList(), CFileTypesView::ColShare), QStringList({"65.22", "26.09", "8.70"}));
        // Every column sorts.
        pane->TypeList()->sortByColumn(CFileTypesView::ColType, Qt::AscendingOrder);
        QCOMPARE(Column(pane->TypeList(), CFileTypesView::ColType),
                 QStringList({"(no extension)", ".mp4", ".txt"}));
        pane->TypeList()->sortByColumn(CFileTypesView::ColFiles, Qt::DescendingOrder);
        QCOMPARE(Column(pane->TypeList(), CFileTypesView::ColType).first(), QString(".mp4"));

        // Choosing .mp4 lights exactly the tiles of .mp4 files; the others are dimmed.
        CTreemapView* map = frame.m_pTreemapView;
        QTRY_VERIFY(map->PictureReady());
        QVERIFY(pane->ChooseType(".mp4"));
        const tvl::TreemapLayout& L = map->Layout();
        const std::vector<std::uint8_t>& lit = map->HighlightedTiles();
        QCOMPARE(lit.size(), L.tiles.size());
        int n = 0;
        for (std::size_t i = 0; i < L.tiles.size(); ++i) {
            const tvl::TreemapTile& t = L.tiles[i];
            const bool bMp4 = t.kind == tvl::TileKind::File &&
                              tvl::FileExtension(d.GetFolder(t.nFolder)->files[std::size_t(t.nFile)].strName) == ".mp4";
            QCOMPARE(lit[i] != 0, bMp4);
            n += lit[i];
        }
        QCOMPARE(n, 3);
        // The swatch shows the colour of those tiles.
        const QModelIndex swatch = pane->TypeList()->model()->index(0, CFileTypesView::ColSwatch);
        const tvl::Rgb c = tvl::TreemapColour(L.legend.front().nColour);
        QCOMPARE(L.legend.front().strLabel, std::string(".mp4"));
        QCOMPARE(swatch.data(Qt::DecorationRole).value<QColor>(), QColor(c.r, c.g, c.b));

        // Its largest files, largest first; a double click shows one in the folder view
        // and the file list.
        QTreeWidget* files = pane->FileList();
        QCOMPARE(files->topLevelItemCount(), 3);
        QCOMPARE(files->topLevelItem(0)->text(0), QString("x.MP4"));
        QCOMPARE(files->topLevelItem(0)->text(2), QString("C:\\a\\"));
        QCOMPARE(files->topLevelItem(2)->text(0), QString("r.mp4"));
        emit files->itemActivated(files->topLevelItem(1), 0);
        QCOMPARE(f.doc.m_pSelectedFolder, a);
        QTreeView* fileList = frame.m_pFileView->List();
        QCOMPARE(fileList->currentIndex().data().toString(), QString("y.mp4"));

        // The pane follows the selection and keeps the chosen type.
        QTRY_VERIFY(pane->StatisticsReady());
        QCOMPARE(pane->Statistics().nTotalBytes, 8000);
        QCOMPARE(files->topLevelItemCount(), 2);
        QCOMPARE(pane->ChosenType(), std::optional<std::string>(".mp4"));

        // Hidden, it leaves the treemap plain.
        frame.m_actFileTypes->setChecked(false);
        QVERIFY(map->HighlightedTiles().empty());
    }

    void reportWithoutNamesSaysHowToMakeOne()
    {
        GuiFixture f;
        f.AddDrive('C', false, {{"C:\\a\\", 1}});
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        f.doc.SendInitialUpdate();
        QVERIFY(!frame.m_actFileTypes->isChecked());
        frame.m_actFileTypes->setChecked(true);
        QVERIFY(frame.m_pTypesView->isVisible());
        QVERIFY(frame.m_pTypesView->MessageText().contains("File types need a report with file names"));
        QVERIFY(frame.m_pTypesView->MessageText().contains("Store filenames in database"));
    }
};

QTEST_MAIN(FileTypesViewTest)
#include "file_types_view_test.moc"
