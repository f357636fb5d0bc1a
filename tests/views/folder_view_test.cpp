// The folder view over real scans and hand-made reports: the rows, expanding and
// collapsing, the selection reaching the document, the size rule and the drawing.
#include "gui_support.h"

#include "CDiscReportView.h"
#include "CFolderListCtrl.h"
#include "ElidingHeaderView.h"
#include "FolderListModel.h"
#include "NumberFormat.h"
#include "ReportBuilder.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QtTest>

#include <cmath>
#include <cstdio>

using namespace gui_test;

namespace {

struct Row {
    int level;
    QString name;
    int image;
};

std::vector<Row> Rows(const FolderListModel& m)
{
    std::vector<Row> rows;
    for (int r = 0; r < m.rowCount(); ++r) {
        const QModelIndex i = m.index(r, 0);
        rows.push_back({i.data(FolderListModel::LevelRole).toInt(), i.data().toString(),
                        i.data(FolderListModel::ImageRole).toInt()});
    }
    return rows;
}

QString Describe(const std::vector<Row>& rows)
{
    QStringList parts;
    for (const Row& r : rows)
        parts << QStringLiteral("%1|%2#%3").arg(r.level).arg(r.name).arg(r.image);
    return parts.join(QLatin1Char(' '));
}

int RowOf(const FolderListModel& m, const QString& name)
{
    for (int r = 0; r < m.rowCount(); ++r)
        if (m.index(r, 0).data().toString() == name)
            return r;
    return -1;
}

// Shows what the header hands the style for a section.
class HeaderProbe : public ElidingHeaderView {
public:
    using ElidingHeaderView::ElidingHeaderView;
    QString DrawnText(int section) const
    {
        QStyleOptionHeader opt;
        initStyleOption(&opt);
        initStyleOptionForIndex(&opt, section);
        return opt.text;
    }
};

} // namespace

class FolderViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dirC, m_dirD;

    // A view over a fresh New of the given drives.
    struct Fixture {
        DocEnv e;
        CDiscReportView view;
        SpyView spy;
        explicit Fixture(const tvl::DriveMap& drives)
        {
            e.drives = drives;
            view.SetDocument(&e.doc);
            spy.SetDocument(&e.doc);
            view.resize(615, 300);
        }
        FolderListModel& m() { return *view.Model(); }
    };

    tvl::DriveMap Drives() const
    {
        tvl::DriveMap d;
        d.Set('C', m_dirC.path().toStdString());
        d.Set('D', m_dirD.path().toStdString());
        return d;
    }

private slots:
    void initTestCase()
    {
        MakeTree(m_dirC.path());
        QDir(m_dirD.path()).mkpath(QStringLiteral("z"));
    }

    void newShowsDrivesAndFirstLevel()
    {
        Fixture f(Drives());
        QAbstractItemModelTester tester(f.view.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(RunNew(f.e.doc, StartWith("CD")));
        QCOMPARE(Describe(Rows(f.m())), QStringLiteral("0|C:#0 1|a#1 1|b#1 1|c#1 0|D:#0 1|z#1"));
        // The root rows carry no shares; sizes are grouped.
        QCOMPARE(f.m().index(0, 2).data().toString(), QStringLiteral("-1.00"));
        QCOMPARE(f.m().index(0, 3).data(FolderListModel::PercentRole).toDouble(), -1.0);
        QCOMPARE(f.m().index(0, 1).data().toString(), QStringLiteral("450"));
        QCOMPARE(f.m().index(0, 4).data().toString(), QStringLiteral("100"));
        QCOMPARE(f.m().index(2, 2).data().toString(), QStringLiteral("66.67"));
        QCOMPARE(f.m().index(2, 2).data(FolderListModel::PercentRole).toDouble(), 66.67);
        QCOMPARE(f.m().headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Space (w/o subs)"));
        QStringList headings;
        for (int c = 0; c < 5; ++c)
            headings << f.m().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QCOMPARE(headings, QStringList({QStringLiteral("Folder"), QStringLiteral("Space (with subs)"),
                                        QStringLiteral("% of parent folder"), QStringLiteral("% of disc"),
                                        QStringLiteral("Space (w/o subs)")}));

        // An empty document afterwards deletes every row.
        QVERIFY(RunNew(f.e.doc, [](CCreateReportDlg& dlg) { dlg.m_wndCancel->click(); }));
        QCOMPARE(f.m().rowCount(), 0);
    }

    void expandCollapseSequences()
    {
        Fixture f(Drives());
        QAbstractItemModelTester tester(f.view.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(RunNew(f.e.doc, StartWith("CD")));
        FolderListModel& m = f.m();
        const QString start = Describe(Rows(m));

        // First activation of a drive row: its first level is shown already.
        f.view.OnItemActivate(0);
        QCOMPARE(Describe(Rows(m)), start);
        // The second hides the branch.
        f.view.OnItemActivate(0);
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 0|D:#0 1|z#1"));
        f.view.OnItemActivate(0);
        QCOMPARE(Describe(Rows(m)), start);

        // a: children below it, indented, collapsed; then deeper.
        f.view.OnItemActivate(RowOf(m, "a"));
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#1 1|b#1 1|c#1 0|D:#0 1|z#1"));
        f.view.OnItemActivate(RowOf(m, "x"));
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#2 3|deep#3 1|b#1 1|c#1 0|D:#0 1|z#1"));
        // A folder without sub-folders: nothing changes.
        f.view.OnItemActivate(RowOf(m, "deep"));
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#2 3|deep#3 1|b#1 1|c#1 0|D:#0 1|z#1"));
        // Collapsing a hides the whole open branch; reopening shows x closed again.
        f.view.OnItemActivate(RowOf(m, "a"));
        QCOMPARE(Describe(Rows(m)), start);
        f.view.OnItemActivate(RowOf(m, "a"));
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#1 1|b#1 1|c#1 0|D:#0 1|z#1"));

        // A first-level folder without sub-folders only switches its image.
        f.view.OnItemActivate(RowOf(m, "b"));
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#1 1|b#2 1|c#1 0|D:#0 1|z#1"));

        // The drive row's collapse closes what was open below; the other drive stays.
        f.view.OnItemActivate(0);
        f.view.OnItemActivate(0);
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#1 1|b#1 1|c#1 0|D:#0 1|z#1"));
    }

    // Only a double-click or Enter opens a branch, also under a desktop style that
    // activates items on a single click.
    void doubleClickAndEnterActivate_data()
    {
        QTest::addColumn<bool>("singleClickStyle");
        QTest::newRow("default style") << false;
        QTest::newRow("single-click style") << true;
    }
    void doubleClickAndEnterActivate()
    {
        QFETCH(bool, singleClickStyle);
        struct SingleClickStyle : QProxyStyle {
            int styleHint(StyleHint hint, const QStyleOption* o, const QWidget* w, QStyleHintReturn* r) const override
            {
                return hint == SH_ItemView_ActivateItemOnSingleClick ? 1 : QProxyStyle::styleHint(hint, o, w, r);
            }
        };
        SingleClickStyle style;
        Fixture f(Drives());
        QVERIFY(RunNew(f.e.doc, StartWith("C")));
        CFolderListCtrl* list = f.view.m_list;
        if (singleClickStyle)
            list->setStyle(&style);
        f.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        const int rowA = RowOf(f.m(), "a");
        const QPoint p = list->visualRect(f.m().index(rowA, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
        QCOMPARE(f.m().rowCount(), 4);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
        QCOMPARE(f.m().rowCount(), 5);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(f.m().rowCount(), 4);
        QTest::keyClick(list, Qt::Key_Enter);
        QCOMPARE(f.m().rowCount(), 5);
        list->setStyle(nullptr);
    }

    // Folders far down a big drive (positions beyond 16 bits) are found again by
    // their row: selection and expansion reach the right record.
    void rowsBeyondSixteenBitPositions()
    {
        constexpr int kFolders = 70000;
        DocEnv e;
        auto drive = std::make_unique<tvl::DriveReport>();
        drive->cDrive = 'C';
        tvl::ReportBuilder builder(*drive, tvl::ReportBuilder::Origin::File);
        tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
        root.bVisible = root.bHasSubFolders = root.bExpanded = true;
        tvl::FolderRecord* last = nullptr;
        for (int i = 0; i < kFolders; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "C:\\d%06d\\", i);
            last = &builder.EnterFolder(name, 1);
            last->bVisible = true;
        }
        builder.EnterFolder("C:\\d069999\\sub\\", 2);
        builder.Finish();
        e.doc.m_pDriveReports.push_back(std::move(drive));
        e.doc.m_nDrives = 1;

        CDiscReportView view;
        view.SetDocument(&e.doc);
        view.OnInitialUpdate();
        FolderListModel& m = *view.Model();
        QCOMPARE(m.rowCount(), kFolders + 1);
        view.m_list->selectionModel()->select(m.index(kFolders, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(e.doc.m_strSelectedPath, std::string("C:\\d069999\\"));
        QCOMPARE(e.doc.m_pSelectedFolder, last);
        view.OnItemActivate(kFolders);
        QCOMPARE(m.rowCount(), kFolders + 2);
        QCOMPARE(m.index(kFolders + 1, 0).data().toString(), QStringLiteral("sub"));
        QCOMPARE(m.index(kFolders + 1, 0).data(FolderListModel::LevelRole).toInt(), 2);
    }

    void selectionReachesDocumentOncePerPath()
    {
        Fixture f(Drives());
        QVERIFY(RunNew(f.e.doc, StartWith("C")));
        QItemSelectionModel* sel = f.view.m_list->selectionModel();
        const int rowB = RowOf(f.m(), "b");
        sel->select(f.m().index(rowB, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(f.e.doc.m_strSelectedPath, std::string("C:\\b\\"));
        QCOMPARE(f.e.doc.m_pSelectedFolder, f.m().FolderAt(rowB));
        QCOMPARE(f.spy.Count(1), 1);
        // The same row again, and a refill that keeps b in the selected row: nothing.
        sel->select(f.m().index(rowB, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        f.view.OnUpdate(nullptr, 0);
        QCOMPARE(f.spy.Count(1), 1);
        // Hint 1 does not refill the folder view.
        f.view.OnUpdate(nullptr, 1);
        // Expanding a puts x into the selected row number: the document follows.
        f.view.OnItemActivate(RowOf(f.m(), "a"));
        QCOMPARE(sel->selectedRows().front().row(), rowB);
        QCOMPARE(f.e.doc.m_strSelectedPath, std::string("C:\\a\\x\\"));
        QCOMPARE(f.spy.Count(1), 2);
        // Clearing the selection keeps the document's.
        sel->clearSelection();
        QCOMPARE(f.e.doc.m_strSelectedPath, std::string("C:\\a\\x\\"));
        QCOMPARE(f.spy.Count(1), 2);
    }

    void treeLinesFollowTheShownRows()
    {
        Fixture f(Drives());
        QVERIFY(RunNew(f.e.doc, StartWith("CD")));
        FolderListModel& m = f.m();
        f.view.OnItemActivate(RowOf(m, "a"));
        f.view.OnItemActivate(RowOf(m, "x"));
        // Per row: the depths whose line goes on below it, and "L" for a last child.
        auto lines = [&](const QString& name) {
            const quint64 bits = m.index(RowOf(m, name), 0).data(FolderListModel::BranchRole).toULongLong();
            QString out;
            for (int d = 0; d < 4; ++d)
                if (bits & (quint64{1} << d))
                    out += QString::number(d);
            if (bits & (quint64{1} << FolderListModel::kLastChildBit))
                out += QLatin1Char('L');
            return out;
        };
        QCOMPARE(Describe(Rows(m)), QStringLiteral("0|C:#0 1|a#2 2|x#2 3|deep#3 1|b#1 1|c#1 0|D:#0 1|z#1"));
        QCOMPARE(lines("a"), QStringLiteral("0"));    // b and c follow
        QCOMPARE(lines("x"), QStringLiteral("0L"));   // a's line goes on; x is a's last
        QCOMPARE(lines("deep"), QStringLiteral("0L"));
        QCOMPARE(lines("c"), QStringLiteral("L"));    // the drive's last: its line ends
        QCOMPARE(lines("z"), QStringLiteral("L"));    // D's own line, not C's
        // Collapsing a ends the lines of its branch.
        f.view.OnItemActivate(RowOf(m, "a"));
        QCOMPARE(lines("a"), QStringLiteral("0"));
        QCOMPARE(lines("b"), QStringLiteral("0"));
    }

    void theSelectedRowShowsWithoutTheFocus()
    {
        Fixture f(Drives());
        QLineEdit elsewhere; // another pane with the keyboard
        f.view.show();
        elsewhere.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.view));
        QVERIFY(RunNew(f.e.doc, StartWith("C")));
        const int row = RowOf(f.m(), "b");
        f.view.SelectFolder(f.m().FolderAt(row));
        elsewhere.setFocus();
        QVERIFY(!f.view.m_list->hasFocus());
        const QImage img = f.view.m_list->viewport()->grab().toImage();
        const QRect cell = f.view.m_list->visualRect(f.m().index(row, FolderListModel::ColSpaceWithSubs));
        const QPalette pal = f.view.m_list->palette();
        QCOMPARE(img.pixelColor(cell.left() + 3, cell.top() + 1), pal.color(QPalette::Inactive, QPalette::Highlight));
    }

    void headingClicksSortChildrenKeepingTheTree()
    {
        Fixture f(Drives());
        QAbstractItemModelTester tester(f.view.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        f.view.show();
        QVERIFY(RunNew(f.e.doc, StartWith("CD")));
        FolderListModel& m = f.m();
        f.view.OnItemActivate(RowOf(m, "a"));
        f.view.SelectFolder(m.FolderAt(RowOf(m, "a")));
        std::vector<tvl::FolderSort> told;
        connect(&f.view, &CDiscReportView::sortChanged, [&](const tvl::FolderSort& s) { told.push_back(s); });
        QHeaderView* header = f.view.m_list->horizontalHeader();
        auto click = [&](int section) {
            const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                            header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        };
        auto names = [&] {
            QStringList n;
            for (const Row& r : Rows(m))
                n << r.name;
            return n.join(' ');
        };
        // Largest first (b 300, a 50, c 0), a's branch still right below it.
        click(FolderListModel::ColSpaceWithSubs);
        QCOMPARE(names(), QStringLiteral("C: b a x c D: z"));
        QVERIFY(header->isSortIndicatorShown());
        QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
        // The selected folder stays selected wherever its row went.
        QCOMPARE(m.FolderAt(f.view.m_list->selectionModel()->selectedRows().front().row())->strPath,
                 std::string("C:\\a\\"));
        QCOMPARE(f.e.doc.m_strSelectedPath, std::string("C:\\a\\"));
        click(FolderListModel::ColSpaceWithSubs);
        QCOMPARE(names(), QStringLiteral("C: c a x b D: z"));
        QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
        // Expanding while sorted puts the children in order too.
        f.view.OnItemActivate(RowOf(m, "x"));
        QCOMPARE(names(), QStringLiteral("C: c a x deep b D: z"));
        click(FolderListModel::ColSpaceWithSubs);
        QCOMPARE(names(), QStringLiteral("C: a x deep b c D: z"));
        QVERIFY(!header->isSortIndicatorShown());
        // "Space (w/o subs)": b's own 300 first, ties (a and c hold no files of their
        // own) in path order; the name column sorts by name, then reverses.
        click(FolderListModel::ColSpaceWithoutSubs);
        QCOMPARE(names(), QStringLiteral("C: b a x deep c D: z"));
        click(FolderListModel::ColFolder);
        QCOMPARE(names(), QStringLiteral("C: a x deep b c D: z"));
        click(FolderListModel::ColFolder);
        QCOMPARE(names(), QStringLiteral("C: c b a x deep D: z"));
        QCOMPARE(told.size(), std::size_t(6));
        QCOMPARE(told.back().nColumn, int(FolderListModel::ColFolder));
        QVERIFY(told.back().bDescending);
        // A new report keeps the order; so does RowOf.
        QVERIFY(RunNew(f.e.doc, StartWith("C")));
        QCOMPARE(names(), QStringLiteral("C: c b a"));
        QCOMPARE(m.RowOf({0, 1}), 3);
        // A sort by a change column is path order without a comparison.
        f.view.SetSort({FolderListModel::ColChange, true});
        QVERIFY(f.view.Sort().IsPathOrder());
        QCOMPARE(names(), QStringLiteral("C: a b c"));
    }

    void sizeRuleSharesTheRowArea()
    {
        // A 615-pixel view with a 15-pixel scroll bar; the two columns of the folder
        // facts take their parts as well.
        QCOMPARE(CDiscReportView::ColumnWidths(600, 5), std::vector<int>({200, 100, 100, 100, 100}));
        QCOMPARE(CDiscReportView::ColumnWidths(601, 7), std::vector<int>({200, 66, 66, 66, 66, 66, 71}));
        QCOMPARE(CDiscReportView::ColumnWidths(600, 1), std::vector<int>({600}));
        for (int x : CDiscReportView::ColumnWidths(-5, 7))
            QVERIFY(x >= 0);
    }

    // A report of many rows with large numbers: the columns fill exactly the area the
    // rows are shown in, beside a scroll bar of whatever width the style gives it,
    // and the byte-count columns hold the widest number whole.
    void columnsFitTheViewportAndTheWidestNumber()
    {
        DocEnv e;
        auto drive = std::make_unique<tvl::DriveReport>();
        drive->cDrive = 'C';
        tvl::ReportBuilder builder(*drive, tvl::ReportBuilder::Origin::File);
        tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
        root.nSpaceWithSubs = 4889508115;
        root.nSpaceWithoutSubs = 123;
        root.dPercentOfParent = root.dPercentOfDisc = -1.0;
        root.bVisible = root.bHasSubFolders = true;
        for (int i = 0; i < 60; ++i) {
            tvl::FolderRecord& c = builder.EnterFolder("C:\\lib" + std::to_string(i) + "\\", 1);
            c.nSpaceWithSubs = c.nSpaceWithoutSubs = 81491801 + i;
            c.dPercentOfParent = c.dPercentOfDisc = 1.67;
            c.bVisible = true;
        }
        builder.Finish();
        e.doc.m_pDriveReports.push_back(std::move(drive));
        e.doc.m_nDrives = 1;

        CDiscReportView view;
        view.SetDocument(&e.doc);
        view.resize(615, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnInitialUpdate();
        CFolderListCtrl* list = view.m_list;
        QHeaderView* header = list->horizontalHeader();
        const QFontMetrics fm = list->fontMetrics();
        const int widest = fm.horizontalAdvance(QStringLiteral("4.889.508.115"));
        for (const int cx : {615, 480, 360, 900}) {
            view.resize(cx, 300);
            QTRY_VERIFY(list->verticalScrollBar()->isVisible());
            QTRY_COMPARE(list->viewport()->width(), cx - list->verticalScrollBar()->width());
            int sum = 0;
            for (int c = 0; c < FolderListModel::ColCount; ++c)
                sum += header->sectionSize(c);
            if (cx >= 480) {
                QCOMPARE(sum, list->viewport()->width());
                QTRY_VERIFY(!list->horizontalScrollBar()->isVisible());
            }
            for (int c : {FolderListModel::ColSpaceWithSubs, FolderListModel::ColSpaceWithoutSubs})
                QVERIFY2(header->sectionSize(c) - FolderRowDelegate::kTextMargins >= widest,
                         qPrintable(QStringLiteral("width %1, column %2").arg(cx).arg(c)));
        }
    }

    // A heading wider than its column keeps its start and ends in an ellipsis.
    void headingsElideAtTheirEnd()
    {
        FolderListModel model;
        QTableView table;
        auto* header = new HeaderProbe(&table);
        table.setHorizontalHeader(header);
        table.setModel(&model);
        header->resizeSection(FolderListModel::ColSpaceWithSubs, 400);
        QCOMPARE(header->DrawnText(FolderListModel::ColSpaceWithSubs), QStringLiteral("Space (with subs)"));
        header->resizeSection(FolderListModel::ColSpaceWithSubs, 70);
        const QString shown = header->DrawnText(FolderListModel::ColSpaceWithSubs);
        QVERIFY2(shown.startsWith(QStringLiteral("Sp")) && shown.endsWith(QChar(0x2026)), qPrintable(shown));
    }

    // A number wider than its cell shows the overflow mark, never its last digits.
    void numberWiderThanItsColumnIsNotCut()
    {
        const QFontMetrics fm(QApplication::font());
        const QString n = QStringLiteral("4.889.508.115");
        const int w = fm.horizontalAdvance(n);
        QCOMPARE(FolderRowDelegate::FittedNumber(n, fm, w), n);
        QCOMPARE(FolderRowDelegate::FittedNumber(n, fm, w - 1), FolderRowDelegate::kOverflowMark);
        QCOMPARE(FolderRowDelegate::FittedNumber(n, fm, 1), QString());

        // Drawn: a column too narrow for the number shows the mark, and nothing of the
        // number's digits reaches the neighbouring column.
        DocEnv e;
        auto drive = std::make_unique<tvl::DriveReport>();
        drive->cDrive = 'C';
        tvl::ReportBuilder builder(*drive, tvl::ReportBuilder::Origin::File);
        tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
        root.nSpaceWithSubs = root.nSpaceWithoutSubs = 4889508115;
        root.dPercentOfParent = root.dPercentOfDisc = -1.0;
        root.bVisible = true;
        builder.Finish();
        e.doc.m_pDriveReports.push_back(std::move(drive));
        e.doc.m_nDrives = 1;
        CDiscReportView view;
        view.SetDocument(&e.doc);
        view.resize(615, 100);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnInitialUpdate();
        CFolderListCtrl* list = view.m_list;
        list->horizontalHeader()->resizeSection(FolderListModel::ColSpaceWithSubs, w / 2);
        const QRect cell = list->visualRect(view.Model()->index(0, FolderListModel::ColSpaceWithSubs));
        QImage shown(cell.size(), QImage::Format_ARGB32);
        {
            QPainter p(&shown);
            QStyleOptionViewItem opt;
            opt.initFrom(list);
            opt.rect = QRect(QPoint(0, 0), cell.size());
            list->itemDelegate()->paint(&p, opt, view.Model()->index(0, FolderListModel::ColSpaceWithSubs));
        }
        QImage mark(cell.size(), QImage::Format_ARGB32);
        {
            QPainter p(&mark);
            p.fillRect(mark.rect(), list->palette().color(QPalette::Base));
            p.setPen(list->palette().color(QPalette::Text));
            p.setFont(list->font());
            p.drawText(QRect(2, 0, cell.width() - FolderRowDelegate::kTextMargins, cell.height()),
                       Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, FolderRowDelegate::kOverflowMark);
        }
        QCOMPARE(shown, mark);
    }

    // Rows with shares 100, 50, 0 and none, grabbed and measured; and the shares of a
    // damaged report (above 100, not a number), which must stay inside their cells.
    void barsAreDrawnFromThePrintedValue()
    {
        DocEnv e;
        auto drive = std::make_unique<tvl::DriveReport>();
        drive->cDrive = 'C';
        tvl::ReportBuilder builder(*drive, tvl::ReportBuilder::Origin::File);
        tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
        root.dPercentOfParent = root.dPercentOfDisc = -1.0;
        root.bVisible = root.bHasSubFolders = true;
        const double shares[] = {100.0, 49.996, 0.0, -1.0, 250.0, std::nan("")};
        const char* names[] = {"full", "half", "zero", "none", "over", "nan"};
        constexpr int kRows = 6;
        for (int i = 0; i < kRows; ++i) {
            tvl::FolderRecord& c = builder.EnterFolder(std::string("C:\\") + names[i] + "\\", 1);
            c.dPercentOfParent = c.dPercentOfDisc = shares[i];
            c.bVisible = true;
        }
        builder.Finish();
        e.doc.m_pDriveReports.push_back(std::move(drive));
        e.doc.m_nDrives = 1;

        CDiscReportView view;
        view.SetDocument(&e.doc);
        view.resize(615, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.OnInitialUpdate();
        CFolderListCtrl* list = view.m_list;
        const QImage img = list->viewport()->grab().toImage();
        // Text cell 95 wide (2 in from both sides of the 100 column), less the room
        // for the number: the frame. (frame width - 3) * v / 100 pixels are coloured.
        const int columnWidth = list->horizontalHeader()->sectionSize(FolderListModel::ColPercentOfParent);
        const int frameWidth =
            columnWidth - FolderRowDelegate::kTextMargins - FolderRowDelegate::NumberRoom(list->fontMetrics());
        QVERIFY(frameWidth > 40);
        const int inner = frameWidth - 3;
        const int expected[] = {inner, inner / 2, 0, -1, inner, -1};
        for (int i = 0; i < kRows; ++i) {
            const QRect cell = list->visualRect(view.Model()->index(i + 1, FolderListModel::ColPercentOfParent));
            const int y = cell.center().y();
            // The bar's frame: the text cell (2 in from both sides) less 35 on the right.
            int blue = 0, grey = 0, frame = 0;
            for (int x = cell.left() + 2; x < cell.left() + 2 + frameWidth; ++x) {
                const QColor c = img.pixelColor(x, y);
                blue += c == QColor(0, 0, 128) ? 1 : 0; // level 1: dark bar
                grey += c == QColor(235, 235, 235) ? 1 : 0;
                frame += c == QColor(128, 128, 128) ? 1 : 0;
            }
            for (int x = cell.left() + 2 + frameWidth; x <= cell.right(); ++x)
                QVERIFY(img.pixelColor(x, y) != QColor(0, 0, 128));
            if (expected[i] < 0) {
                QCOMPARE(blue + grey + frame, 0);
                continue;
            }
            QCOMPARE(blue, expected[i]);
            QCOMPARE(frame, 2);
            QCOMPARE(grey, expected[i] == inner ? 0 : inner + 1 - expected[i]);
            // The red bar of "% of disc" has the same length.
            const QRect disc = list->visualRect(view.Model()->index(i + 1, FolderListModel::ColPercentOfDisc));
            int red = 0;
            for (int x = disc.left() + 2; x < disc.left() + 2 + frameWidth; ++x)
                red += img.pixelColor(x, y) == QColor(128, 0, 0) ? 1 : 0;
            QCOMPARE(red, expected[i]);
        }
        // The root row: no bar, no frame.
        const QRect rootCell = list->visualRect(view.Model()->index(0, FolderListModel::ColPercentOfParent));
        for (int x = rootCell.left(); x <= rootCell.right(); ++x)
            QVERIFY(img.pixelColor(x, rootCell.center().y()) != QColor(128, 128, 128));
    }

    void failedOpenEmptiesViewWithoutTouchingOldRecords()
    {
        Fixture f(Drives());
        QVERIFY(RunNew(f.e.doc, StartWith("C")));
        f.view.m_list->selectionModel()->select(f.m().index(1, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QVERIFY(!f.e.doc.OnOpenDocument(QStringLiteral("/nonexistent/report.tvl")));
        QCOMPARE(f.e.messages.messages.back().text, std::string("Cannot open file!"));
        QCOMPARE(f.m().rowCount(), 0);
        QVERIFY(f.e.doc.m_strSelectedPath.empty());
        QVERIFY(f.e.doc.m_pSelectedFolder == nullptr);
        f.view.show();
        f.view.m_list->viewport()->grab(); // paints with no stale rows
    }

    // The document goes before the view (the end of the program): the rows are still
    // there but lead nowhere.
    void viewOutlivesDocument()
    {
        auto f = std::make_unique<Fixture>(Drives());
        QVERIFY(RunNew(f->e.doc, StartWith("C")));
        CDiscReportView view;
        view.SetDocument(&f->e.doc);
        view.OnInitialUpdate();
        QVERIFY(view.Model()->rowCount() > 0);
        f.reset();
        QVERIFY(view.GetDocument() == nullptr);
        QVERIFY(view.Model()->FolderAt(0) == nullptr);
        view.resize(400, 200);
        view.grab();
        view.OnItemActivate(0);
    }
};

QTEST_MAIN(FolderViewTest)
#include "folder_view_test.moc"
