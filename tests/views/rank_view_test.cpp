// The ranking view: tabs per drive, reused rows, hiding without a ranking, layout.
#include "CRankView.h"
#include "gui_fixture.h"

#include <QHeaderView>
#include <QTabBar>
#include <QTreeWidget>
#include <QToolButton>
#include <QtTest>

namespace {

std::vector<tvl::RankEntry> Ranking(int n, const char* prefix)
{
    std::vector<tvl::RankEntry> r;
    for (int i = 0; i < n; ++i)
        r.push_back({std::string(prefix) + std::to_string(i), "C:\\dir\\", 1000000 - i});
    return r;
}

QStringList Tabs(const QTabBar* tabs)
{
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        out << tabs->tabText(i);
    return out;
}

} // namespace

class RankViewTest : public QObject {
    Q_OBJECT
private slots:
    void tabsPerDriveAndReusedRows()
    {
        GuiFixture f;
        f.AddDrive('C', false).ranking = Ranking(3, "c");
        f.AddDrive('D', false).ranking = Ranking(5, "d");
        f.AddDrive('E', false).ranking = {};
        f.doc.m_bRanking = true;
        f.doc.m_rankingAll = Ranking(20, "all");
        f.doc.m_rankingAll[1] = {"", "", 1234567};
        CRankView view;
        view.SetDocument(&f.doc);
        view.OnInitialUpdate();

        QCOMPARE(Tabs(view.Tabs()), QStringList({"All", "C:", "D:", "E:"}));
        QCOMPARE(view.Tabs()->currentIndex(), 0);
        QTreeWidget* list = view.List();
        QCOMPARE(list->topLevelItemCount(), 20);
        QTreeWidgetItem* first = list->topLevelItem(0);
        QCOMPARE(first->text(0), QString("1"));
        QCOMPARE(first->text(1), QString("all0"));
        QCOMPARE(first->text(2), QString("1.000.000"));
        QCOMPARE(first->text(3), QString("C:\\dir\\"));
        // Empty name and location give empty cells.
        QCOMPARE(list->topLevelItem(1)->text(1), QString());
        QCOMPARE(list->topLevelItem(1)->text(2), QString("1.234.567"));
        QCOMPARE(list->topLevelItem(1)->text(3), QString());

        view.Tabs()->setCurrentIndex(2); // D: with 5 entries
        QCOMPARE(list->topLevelItemCount(), 5);
        QCOMPARE(list->topLevelItem(0), first); // the rows are reused, not rebuilt
        QCOMPARE(list->topLevelItem(0)->text(1), QString("d0"));
        QCOMPARE(list->topLevelItem(4)->text(0), QString("5"));

        view.Tabs()->setCurrentIndex(0);
        QCOMPARE(list->topLevelItemCount(), 20);
        QCOMPARE(list->topLevelItem(19)->text(0), QString("20"));

        // An empty ranking leaves the list shown and empty.
        view.Tabs()->setCurrentIndex(3);
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(!list->isHidden());

        // Another folder selected (hint 1) changes nothing; a new report (hint 0)
        // rebuilds the tabs and selects "All" again.
        view.Tabs()->setCurrentIndex(1);
        view.OnUpdate(nullptr, 1);
        QCOMPARE(view.Tabs()->currentIndex(), 1);
        QCOMPARE(list->topLevelItemCount(), 3);
        view.OnUpdate(nullptr, 0);
        QCOMPARE(view.Tabs()->currentIndex(), 0);
        QCOMPARE(list->topLevelItemCount(), 20);
    }

    void withoutRankingOnlyTheBackgroundShows()
    {
        GuiFixture f;
        f.AddDrive('C', false);
        f.doc.m_bRanking = false;
        CRankView view;
        view.SetDocument(&f.doc);
        view.OnInitialUpdate();
        QVERIFY(view.Tabs()->isHidden());
        QVERIFY(view.List()->isHidden());
        QCOMPARE(view.Tabs()->count(), 2); // the tabs are rebuilt all the same
    }

    void layoutMeasuresTheTabStrip()
    {
        GuiFixture f;
        f.AddDrive('C', false);
        f.doc.m_bRanking = true;
        CRankView view;
        view.SetDocument(&f.doc);
        view.resize(800, 300);
        view.show();
        view.OnInitialUpdate();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        int w = 10;
        for (int i = 0; i < view.Tabs()->count(); ++i)
            w = std::max(w, view.Tabs()->tabRect(i).x() + view.Tabs()->tabRect(i).width());
        QCOMPARE(view.Tabs()->geometry(), QRect(0, CRankView::kTabTop, w, 300 - CRankView::kTabTop));
        QCOMPARE(view.List()->geometry(), QRect(w + 1, 0, 800 - w - 1, 300));
        QHeaderView* header = view.List()->header();
        QCOMPARE(header->sectionSize(0), 50);
        QCOMPARE(header->sectionSize(1), (800 - w - 166) / 2);
        QCOMPARE(header->sectionSize(2), 100);
    }

    // Six drives in a pane of the height the main window gives it at its default
    // size: every tab is shown without scroll arrows, and the keyboard reaches them.
    void sixDriveTabsFitWithoutScrollArrows()
    {
        GuiFixture f;
        for (char c : std::string("CDEFGH"))
            f.AddDrive(c, false);
        f.doc.m_bRanking = true;
        f.doc.m_rankingAll = {{"big.img", "C:\\", 9223372036854775807LL}};
        CRankView view;
        view.SetDocument(&f.doc);
        view.resize(900, 160);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnInitialUpdate();
        DriveTabBar* tabs = view.Tabs();
        QCOMPARE(tabs->count(), 7);
        QTRY_VERIFY(tabs->AllTabsShown());
        for (QToolButton* arrow : tabs->findChildren<QToolButton*>())
            QVERIFY(!arrow->isVisible());
        // Keyboard: Down and End move along the tabs, and the list follows.
        tabs->setFocus();
        QTest::keyClick(tabs, Qt::Key_Down);
        QCOMPARE(tabs->currentIndex(), 1);
        QTest::keyClick(tabs, Qt::Key_End);
        QCOMPARE(tabs->currentIndex(), 6);
        QTest::keyClick(tabs, Qt::Key_Home);
        QCOMPARE(tabs->currentIndex(), 0);
        // The largest size there is stays whole in "Size".
        const QString size = QStringLiteral("9.223.372.036.854.775.807");
        QCOMPARE(view.List()->topLevelItem(0)->text(2), size);
        QVERIFY(view.List()->header()->sectionSize(2) >= view.List()->fontMetrics().horizontalAdvance(size));
    }
};

QTEST_MAIN(RankViewTest)
#include "rank_view_test.moc"
