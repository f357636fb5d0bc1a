// The treemap pane in the main window: a click on a folder's tile selects that folder's
// row (opening the branches above it) and the file list follows; double-click zooms
// in, Backspace zooms out; a new report lets go of the old one; the View toggle is
// remembered and, off, leaves the window as it was.
#include "CDiscReportView.h"
#include "CFolderListCtrl.h"
#include "CMainFrame.h"
#include "CTovalineApp.h"
#include "CTreemapView.h"
#include "FolderListModel.h"
#include "gui_fixture.h"

#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QtTest>

class TreemapViewTest : public QObject {
    Q_OBJECT
private:
    // C:\ holds a\ (with a\inner\ of 6000 bytes and 1000 own bytes) and b\ (3000
    // bytes); the root holds 500 bytes of its own.
    struct Report {
        GuiFixture f;
        tvl::FolderRecord *root, *a, *inner, *b;
        Report()
        {
            tvl::DriveReport& d = f.AddDrive('C', false, {{"C:\\a\\", 1}, {"C:\\a\\inner\\", 2}, {"C:\\b\\", 1}});
            root = d.GetFolder(0);
            a = d.GetFolder(1);
            inner = d.GetFolder(2);
            b = d.GetFolder(3);
            inner->nSpaceWithoutSubs = inner->nSpaceWithSubs = 6000;
            a->nSpaceWithoutSubs = 1000;
            a->nSpaceWithSubs = 7000;
            b->nSpaceWithoutSubs = b->nSpaceWithSubs = 3000;
            root->nSpaceWithoutSubs = 500;
            root->nSpaceWithSubs = 10500;
            root->bHasSubFolders = a->bHasSubFolders = true;
            root->bVisible = true;
        }
    };

    static int SelectedRow(CDiscReportView* view)
    {
        const QModelIndexList rows = view->m_list->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.front().row();
    }

private slots:
    void clickSelectsTheFolderAndZoomGoesInAndOut()
    {
        Report r;
        CMainFrame frame;
        frame.resize(1000, 700);
        frame.m_actTreemap->setChecked(true);
        frame.SetDocument(&r.f.doc);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        r.f.doc.SendInitialUpdate();
        CTreemapView* map = frame.m_pTreemapView;
        QTRY_VERIFY(map->PictureReady());
        QCOMPARE(map->ShownFolder(), 0);
        QVERIFY(!map->ZoomOutAction()->isEnabled());

        // The tile of C:\a\inner\: hover names it, a click selects its row.
        const QPoint innerPoint = map->FolderPoint(2);
        QVERIFY(map->MapRect().contains(innerPoint));
        QCOMPARE(map->TileText(innerPoint), QString("C:\\a\\inner\\  6.000 bytes"));
        QVERIFY(!r.a->bExpanded);
        QTest::mouseClick(map, Qt::LeftButton, {}, innerPoint);
        QCOMPARE(r.f.doc.m_pSelectedFolder, r.inner);
        QVERIFY(r.root->bExpanded);
        QVERIFY(r.a->bExpanded);
        CDiscReportView* folders = frame.m_pDiscView;
        QCOMPARE(folders->Model()->FolderAt(SelectedRow(folders)), r.inner);
        // The click came from the pane: it keeps showing the drive.
        QCOMPARE(map->ShownFolder(), 0);

        // Double-click on inner\ zooms one level in, to a\; again, to inner\.
        QTest::mouseDClick(map, Qt::LeftButton, {}, innerPoint);
        QCOMPARE(map->ShownFolder(), 1);
        QTRY_VERIFY(map->PictureReady());
        QCOMPARE(map->Layout().tiles[0].nSize, 7000);
        QVERIFY(map->ZoomOutAction()->isEnabled());
        QTest::mouseDClick(map, Qt::LeftButton, {}, map->FolderPoint(2));
        QCOMPARE(map->ShownFolder(), 2);
        QTRY_VERIFY(map->PictureReady());
        map->setFocus();
        QTest::keyClick(map, Qt::Key_Backspace);
        QCOMPARE(map->ShownFolder(), 1);
        // The way back shows the picture it came from, at once.
        QVERIFY(map->PictureReady());
        QCOMPARE(map->Layout().tiles[0].nSize, 7000);
        QCOMPARE(map->TileText(map->FolderPoint(2)), QString("C:\\a\\inner\\  6.000 bytes"));
        map->ZoomOutAction()->trigger(); // the tool button's action
        QCOMPARE(map->ShownFolder(), 0);
        QVERIFY(!map->ZoomOut()); // the drive's root has nothing above it

        // A folder selected in the folder view inside the folder shown keeps the
        // picture (it is framed there); one outside it is shown instead.
        auto rowOf = [&](const tvl::FolderRecord* f) {
            for (int i = 0; i < folders->Model()->rowCount(); ++i)
                if (folders->Model()->FolderAt(i) == f)
                    return i;
            return -1;
        };
        QVERIFY(rowOf(r.b) >= 0);
        folders->m_list->selectRow(rowOf(r.b));
        QCOMPARE(r.f.doc.m_pSelectedFolder, r.b);
        QCOMPARE(map->ShownFolder(), 0);
        map->ZoomIn(1);
        QCOMPARE(map->ShownFolder(), 1);
        folders->m_list->selectRow(rowOf(r.inner));
        QCOMPARE(map->ShownFolder(), 1);
        folders->m_list->selectRow(rowOf(r.b));
        QCOMPARE(map->ShownFolder(), 3);

        // A new report: nothing of the old one stays in the pane.
        r.f.doc.FreeReports();
        r.f.doc.SendInitialUpdate();
        QVERIFY(map->Layout().Empty());
        QCOMPARE(map->ShownDrive(), -1);
        QCOMPARE(map->TileText(innerPoint), QString());
        QTest::mouseClick(map, Qt::LeftButton, {}, innerPoint); // nothing to select, no crash
        QCOMPARE(r.f.doc.m_pSelectedFolder, nullptr);
    }

    void hiddenTreemapLeavesTheRowsAsTheyWere()
    {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const int menu = frame.height() - frame.ClientSize().height();
        frame.resize(1000, 600 + menu);
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), 400);
        QCOMPARE(frame.m_wndSplitter->sizes().value(1), 0);

        frame.m_actTreemap->setChecked(true);
        QTRY_VERIFY(frame.m_wndSplitter->sizes().value(1) > 150);
        // The folder row and the treemap share the upper row's two thirds.
        const QList<int> s = frame.m_wndSplitter->sizes();
        QCOMPARE(s.value(0) + s.value(1), 400);
        QCOMPARE(frame.m_wndSplitterTop->sizes().value(0), 750);

        frame.m_actTreemap->setChecked(false);
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), 400);
        QVERIFY(frame.m_pTreemapView->isHidden());
    }

    void theToggleIsRememberedAndOnByDefault()
    {
        QTemporaryDir tmp;
        tvl::RecordingMessageSink messages;
        CTovalineApp::Options o;
        o.bShowSplash = false;
        o.strSettingsFile = tmp.filePath("settings.ini");
        o.pMessages = &messages;
        o.newDocument = [](CTovalineDoc&) { return true; };
        {
            CTovalineApp app(o);
            QVERIFY(app.InitInstance({}));
            QVERIFY(app.MainFrame()->m_actTreemap->isChecked());
            QVERIFY(!app.MainFrame()->m_pTreemapView->isHidden());
            app.MainFrame()->m_actTreemap->setChecked(false);
        }
        QCOMPARE(QSettings(o.strSettingsFile, QSettings::IniFormat).value("View/Treemap").toBool(), false);
        CTovalineApp again(o);
        QVERIFY(again.InitInstance({}));
        QVERIFY(!again.MainFrame()->m_actTreemap->isChecked());
        QVERIFY(again.MainFrame()->m_pTreemapView->isHidden());
    }
};

QTEST_MAIN(TreemapViewTest)
#include "treemap_view_test.moc"
