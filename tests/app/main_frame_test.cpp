// The main frame: menus and bars, the pane proportions, the busy state during a scan.
#include "CAboutBoxDlg.h"
#include "CMainFrame.h"
#include "CSplashDlg.h"
#include "gui_fixture.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

namespace {

// A document that can pretend a scan is running.
class BusyDoc : public CTovalineDoc {
public:
    using CTovalineDoc::CTovalineDoc;
    void SetBusy(bool b)
    {
        m_bBusy = b;
        emit busyChanged(b);
    }
};

QStringList Captions(const QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        if (a->isVisible())
            out << (a->isSeparator() ? QString("-") : a->text());
    return out;
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void menusAndBars()
    {
        CMainFrame frame;
        const auto menus = frame.menuBar()->actions();
        QCOMPARE(menus.size(), 3);
        QCOMPARE(menus[0]->text(), QString("&File"));
        QCOMPARE(menus[1]->text(), QString("View"));
        QCOMPARE(menus[2]->text(), QString("&Help"));
        QCOMPARE(Captions(frame.m_menuFile),
                 QStringList({"&New\tStrg+N", "Create report of a &folder...", "&Open...\tStrg+O", "&Save\tStrg+S",
                              "Save &as...", "Report &properties...", "-", "&Compare with report...", "S&top comparing",
                              "-", "Last file", "-", "&Exit"}));
        QVERIFY(!frame.m_actLastFile->isEnabled());
        QCOMPARE(Captions(menus[1]->menu()),
                 QStringList({"&Tool bar", "&Statusbar", "T&reemap", "&File types", "Sizes in &units", "-",
                              "Size: &file length", "Size: space on &disc"}));
        QCOMPARE(Captions(menus[2]->menu()), QStringList({"&About..."}));
        QCOMPARE(frame.m_actSave->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(frame.m_actSave->statusTip(), QString("Saves the active document."));
        QCOMPARE(frame.m_actSave->toolTip(), QString("Save"));
        QCOMPARE(frame.m_wndHint->text(), QString("Double-click on folder to expand branch"));
        QCOMPARE(frame.m_wndReady->text(), QString("Bereit"));

        // The recent files replace "Last file", at most four of them.
        frame.SetRecentFiles({"/r/a.tvl", "/r/b.tvl", "/r/c.tvl", "/r/d.tvl", "/r/e.tvl"});
        QCOMPARE(Captions(frame.m_menuFile).mid(10, 4),
                 QStringList({"&1 /r/a.tvl", "&2 /r/b.tvl", "&3 /r/c.tvl", "&4 /r/d.tvl"}));
        QSignalSpy spy(&frame, &CMainFrame::recentFileTriggered);
        frame.m_recentActions[1]->trigger();
        QCOMPARE(spy.takeFirst().at(0).toString(), QString("/r/b.tvl"));
        frame.SetRecentFiles({});
        QVERIFY(frame.m_actLastFile->isVisible());

        frame.show();
        frame.m_actStatusBar->setChecked(false);
        QVERIFY(frame.statusBar()->isHidden());
        frame.m_actStatusBar->setChecked(true);
        QVERIFY(!frame.statusBar()->isHidden());
        QVERIFY(!frame.m_wndReady->isHidden());
        frame.m_actToolBar->setChecked(false);
        QVERIFY(frame.m_wndToolBar->isHidden());
        QVERIFY(!frame.m_wndDlgBar->isHidden());
    }

    void panesKeepTheirProportionsOnEveryResize()
    {
        const auto s = CMainFrame::ComputePaneSizes(1000, 600);
        QCOMPARE(QList<int>({s.nRow0, s.nRow1, s.nCol0, s.nCol1}), QList<int>({400, 200, 750, 250}));
        const auto low = CMainFrame::ComputePaneSizes(1000, 299);
        QCOMPARE(low.nRow0, 199);
        QCOMPARE(low.nRow1, 99);

        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        const int menu = frame.height() - frame.ClientSize().height();
        frame.resize(1000, 600 + menu);
        QTRY_COMPARE(frame.ClientSize(), QSize(1000, 600));
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), 400);
        QCOMPARE(frame.m_wndSplitterTop->sizes().value(0), 750);

        // Dragging a bar lasts only until the next resize.
        frame.m_wndSplitter->setSizes({150, 300});
        frame.m_wndSplitterTop->setSizes({200, 700});
        frame.resize(1001, 600 + menu);
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), 400);
        QCOMPARE(frame.m_wndSplitterTop->sizes().value(0), 750);
    }

    void hintBarWrapsBelowTheToolBarWhenTheRowIsTooNarrow()
    {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QToolBar* tools = frame.m_wndToolBar;
        QToolBar* hint = frame.m_wndDlgBar;
        const int menu = frame.height() - frame.ClientSize().height();
        QTRY_COMPARE(hint->y(), tools->y()); // 1000 pixels: one row
        const int top = tools->y();

        const int narrow = tools->sizeHint().width() + hint->sizeHint().width() - 40;
        frame.resize(narrow, 500 + menu);
        QTRY_VERIFY(hint->y() >= tools->y() + tools->height());
        // Every button and the whole hint stay visible, and the panes still get their
        // share of the client area.
        QVERIFY(tools->width() >= tools->sizeHint().width());
        QVERIFY(frame.m_wndHint->width() >= frame.m_wndHint->sizeHint().width());
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), CMainFrame::ComputePaneSizes(narrow, 500).nRow0);

        // Without the tool bar the hint needs no row of its own; wide again, one row.
        frame.m_actToolBar->setChecked(false);
        QTRY_COMPARE(hint->y(), top);
        frame.m_actToolBar->setChecked(true);
        QTRY_VERIFY(hint->y() >= tools->y() + tools->height());
        frame.resize(1000, 600 + menu);
        QTRY_COMPARE(hint->y(), tools->y());
        QTRY_COMPARE(frame.m_wndSplitter->sizes().value(0), 400);
    }

    void scanDisablesCommandsAndClosingStopsIt()
    {
        GuiFixture f;
        BusyDoc doc(f.env, f.loadProgress);
        CMainFrame frame;
        frame.SetDocument(&doc);
        frame.show();
        doc.SetBusy(true);
        for (QAction* a : {frame.m_actNew, frame.m_actOpen, frame.m_actSave, frame.m_actSaveAs})
            QVERIFY(!a->isEnabled());
        QVERIFY(frame.m_actAbout->isEnabled());

        // Closing during the scan asks it to stop; the window stays until it has.
        QVERIFY(!frame.close());
        QVERIFY(f.pump.StopRequested());
        QVERIFY(frame.isVisible());
        doc.SetBusy(false);
        QVERIFY(frame.m_actNew->isEnabled());
        QTRY_VERIFY(!frame.isVisible());
    }

    void captionFollowsTheDocument()
    {
        GuiFixture f;
        CMainFrame frame;
        frame.SetDocument(&f.doc);
        f.doc.SetPathName(QString());
        QCOMPARE(frame.windowTitle(), QString("Report - Tovaline"));
        f.doc.SetPathName("/tmp/home.tvl");
        QCOMPARE(frame.windowTitle(), QString("home.tvl - Tovaline"));
    }

    void aboutBoxShowsTheSameTextsEachTime()
    {
        for (int i = 0; i < 2; ++i) {
            CAboutBoxDlg dlg;
            dlg.show();
            QCOMPARE(dlg.VersionLabel()->text(), QString("Tovaline v1.0"));
            QVERIFY(!dlg.SecondLineLabel()->text().isEmpty());
            auto* cool = dlg.findChild<QPushButton*>("cool");
            QVERIFY(cool && cool->isDefault());
            QCOMPARE(cool->text(), QString("Cool!"));
            cool->click();
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        // From the menu, modal over the frame.
        CMainFrame frame;
        frame.show();
        QTimer::singleShot(0, [&] {
            auto* box = frame.findChild<CAboutBoxDlg*>();
            QVERIFY(box && box->isModal() && box->isVisible());
            box->reject();
        });
        frame.m_actAbout->trigger();
    }

    void splashClosesOnAClickAndStopsItsTimer()
    {
        CSplashDlg splash;
        splash.show();
        QVERIFY(splash.Timer()->isActive());
        QCOMPARE(splash.Timer()->interval(), 4000);
        QCOMPARE(splash.Timer()->timerType(), Qt::PreciseTimer);
        QVERIFY(splash.Timer()->isSingleShot());
        QTest::mouseClick(&splash, Qt::RightButton);
        QVERIFY(!splash.isVisible());
        QCOMPARE(splash.result(), int(QDialog::Accepted));
        QVERIFY(!splash.Timer()->isActive());

        CSplashDlg byKey;
        byKey.show();
        QTest::keyClick(&byKey, Qt::Key_Return);
        QVERIFY(!byKey.isVisible());
        QVERIFY(!byKey.Timer()->isActive());
    }
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
