// The start: command line, report file argument, failures that end the program, and
// the recent-file list.
#include "CMainFrame.h"
#include "CTovalineApp.h"
#include "gui_fixture.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class StartupTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_tmp;
    tvl::RecordingMessageSink m_messages;

    CTovalineApp::Options Options()
    {
        CTovalineApp::Options o;
        o.bShowSplash = false;
        o.strSettingsFile = m_tmp.filePath("settings.ini");
        o.pMessages = &m_messages;
        return o;
    }

    QByteArray ReadAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        m_messages.messages.clear();
        QFile::remove(m_tmp.filePath("settings.ini"));
        QDir(m_tmp.path()).mkpath("drive/sub");
        WriteFile(m_tmp.filePath("drive/sub/big"), 4096);
        qputenv("TOVALINE_DRIVES", ("C=" + m_tmp.filePath("drive")).toUtf8());
    }

    void reportFileArgumentIsOpenedAndNamedInTheCaption()
    {
        // A report made and saved by the document.
        const QString path = m_tmp.filePath("home.tvl");
        {
            GuiFixture f;
            f.drives.Set('C', m_tmp.filePath("drive").toStdString());
            tvl::NewReportOptions o;
            o.strDrives = "C";
            QVERIFY(f.doc.CreateReports(o));
            QVERIFY(f.doc.OnSaveDocument(path));
        }
        CTovalineApp app(Options());
        QVERIFY(app.InitInstance({path}));
        QVERIFY(app.MainFrame()->isVisible());
        QCOMPARE(app.MainFrame()->windowTitle(), QString("home.tvl - Tovaline"));
        QCOMPARE(app.Document()->m_nDrives, 1);
        QCOMPARE(app.RecentFiles().Files(), QStringList({path}));
        QVERIFY(m_messages.messages.empty());
        app.ExitInstance();
        QSettings settings(m_tmp.filePath("settings.ini"), QSettings::IniFormat);
        QCOMPARE(settings.value("Recent File List/File1").toString(), path);
    }

    void unreadableReportFileEndsTheStart_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a report") << QByteArray("hello, world\n") << true
                                      << QString("This is not a valid disc space report!");
        QTest::newRow("missing") << QByteArray() << false << QString("Cannot open file!");
    }

    void unreadableReportFileEndsTheStart()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        const QString path = m_tmp.filePath("bad.tvl");
        QFile::remove(path);
        if (exists) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        CTovalineApp app(Options());
        QVERIFY(!app.InitInstance({path}));
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(m_messages.messages[0].caption), QString("Open"));
        QCOMPARE(QString::fromStdString(m_messages.messages[0].text), message);
        QVERIFY(!app.MainFrame()->isVisible());
        QVERIFY(app.RecentFiles().Files().isEmpty());
        // Nothing was changed on disc.
        QCOMPARE(QFile::exists(path), exists);
        if (exists)
            QCOMPARE(ReadAll(path), content);
    }

    void badCommandLineAndDriveMapAreRefused()
    {
        {
            CTovalineApp app(Options());
            QVERIFY(!app.InitInstance({"a.tvl", "b.tvl"}));
            QCOMPARE(m_messages.messages.size(), std::size_t(1));
            QVERIFY(QString::fromStdString(m_messages.messages[0].text).startsWith("Usage: tovaline"));
            QVERIFY(!app.MainFrame());
        }
        m_messages.messages.clear();
        qputenv("TOVALINE_DRIVES", "C=/tmp;B=/srv");
        CTovalineApp app(Options());
        QVERIFY(!app.InitInstance({}));
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_messages.messages[0].text).contains("TOVALINE_DRIVES"));
    }

    void startWithoutArgumentMakesANewReport()
    {
        int nNew = 0;
        CTovalineApp::Options o = Options();
        o.newDocument = [&](CTovalineDoc& doc) {
            ++nNew;
            tvl::NewReportOptions options;
            options.strDrives = "C";
            return doc.CreateReports(options);
        };
        CTovalineApp app(o);
        QVERIFY(app.InitInstance({}));
        QCOMPARE(nNew, 1);
        QCOMPARE(app.MainFrame()->windowTitle(), QString("Report - Tovaline"));
        QCOMPARE(app.Document()->m_nDrives, 1);

        // Save as names the window after the file and puts it on the recent list.
        const QString saved = m_tmp.filePath("saved.tvl");
        o.saveFileName = [&](QWidget*, const QString& proposed) {
            return proposed == "Report.tvl" ? saved : QString();
        };
        CTovalineApp app2(o);
        QVERIFY(app2.InitInstance({}));
        QVERIFY(app2.OnFileSave());
        QCOMPARE(app2.MainFrame()->windowTitle(), QString("saved.tvl - Tovaline"));
        QCOMPARE(app2.RecentFiles().Files().value(0), saved);
    }

    // After a failed Open the document is a new, unnamed one: Save asks for a name
    // instead of writing the empty document over the report opened before, and no
    // combined ranking of the broken file stays behind.
    void failedOpenLeavesAnUnnamedEmptyReportThatSaveAsksANameFor()
    {
        const QString good = m_tmp.filePath("mine.tvl");
        const QString bad = m_tmp.filePath("broken.tvl");
        {
            GuiFixture f;
            f.drives.Set('C', m_tmp.filePath("drive").toStdString());
            f.drives.Set('D', m_tmp.filePath("drive").toStdString());
            tvl::NewReportOptions o;
            o.strDrives = "CD";
            QVERIFY(f.doc.CreateReports(o));
            QVERIFY(f.doc.OnSaveDocument(good));
        }
        const QByteArray goodBytes = ReadAll(good);
        // Cut inside the combined ranking, after both drives were read in full (before
        // the block of scan facts that follows it).
        const qsizetype facts = goodBytes.indexOf("TvlFacts");
        const qsizetype end = facts < 0 ? goodBytes.size() : facts;
        QFile cut(bad);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(goodBytes.left(end - 3));
        cut.close();

        QString toOpen = bad;
        QStringList asked;
        CTovalineApp::Options o = Options();
        o.openFileName = [&](QWidget*) { return toOpen; };
        o.saveFileName = [&](QWidget*, const QString& proposed) {
            asked << proposed;
            return QString(); // the user cancels the file dialog
        };
        CTovalineApp app(o);
        QVERIFY(app.InitInstance({good}));
        QCOMPARE(app.MainFrame()->windowTitle(), QString("mine.tvl - Tovaline"));
        QCOMPARE(app.Document()->m_rankingAll.size(), std::size_t(2));

        app.MainFrame()->m_actOpen->trigger();
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(m_messages.messages[0].text),
                 QString("This is not a valid disc space report!"));
        CTovalineDoc& doc = *app.Document();
        QCOMPARE(doc.GetPathName(), QString());
        QCOMPARE(doc.GetTitle(), QString("Report"));
        QCOMPARE(app.MainFrame()->windowTitle(), QString("Report - Tovaline"));
        QCOMPARE(doc.m_nDrives, 0);
        QVERIFY(doc.m_rankingAll.empty());
        QVERIFY(!doc.m_bRanking);

        app.MainFrame()->m_actSave->trigger();
        QCOMPARE(asked, QStringList({"Report.tvl"}));
        QCOMPARE(ReadAll(good), goodBytes);
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
    }

    // An ncdu export opens by its content; it is a new report: Save asks for a name and
    // never writes over the export.
    void ncduExportOpensAsANewReport()
    {
        const QString json = m_tmp.filePath("server.json");
        const QByteArray bytes = "[1,2,{\"progname\":\"ncdu\"},[{\"name\":\"/srv\"},{\"name\":\"f\",\"asize\":5}]]";
        QFile file(json);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QStringList asked;
        CTovalineApp::Options o = Options();
        o.newDocument = [](CTovalineDoc&) { return true; };
        o.openFileName = [&](QWidget*) { return json; };
        o.saveFileName = [&](QWidget*, const QString& proposed) {
            asked << proposed;
            return QString();
        };
        CTovalineApp app(o);
        QVERIFY(app.InitInstance({}));
        app.MainFrame()->m_actOpen->trigger();
        QVERIFY(m_messages.messages.empty());
        CTovalineDoc& doc = *app.Document();
        QCOMPARE(doc.m_nDrives, 1);
        QVERIFY(doc.m_bImported && doc.NeedsSave());
        QCOMPARE(doc.GetPathName(), QString());
        QCOMPARE(doc.GetTitle(), QString("server"));
        app.MainFrame()->m_actSave->trigger();
        QCOMPARE(asked, QStringList({"server.tvl"}));
        QCOMPARE(ReadAll(json), bytes);
    }

    void recentFileThatCannotBeOpenedLeavesTheList()
    {
        const QString gone = m_tmp.filePath("gone.tvl");
        {
            QSettings settings(m_tmp.filePath("settings.ini"), QSettings::IniFormat);
            settings.setValue("Recent File List/File1", gone);
        }
        CTovalineApp::Options o = Options();
        o.newDocument = [](CTovalineDoc&) { return true; };
        CTovalineApp app(o);
        QVERIFY(app.InitInstance({}));
        QCOMPARE(app.RecentFiles().Files(), QStringList({gone}));
        QVERIFY(app.MainFrame()->m_recentActions[0]->isVisible());

        app.MainFrame()->m_recentActions[0]->trigger();
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(m_messages.messages[0].text), QString("Cannot open file!"));
        QVERIFY(app.RecentFiles().Files().isEmpty());
        QVERIFY(app.MainFrame()->m_actLastFile->isVisible());
        QSettings settings(m_tmp.filePath("settings.ini"), QSettings::IniFormat);
        QVERIFY(!settings.contains("Recent File List/File1"));
    }

    void recentFileListKeepsFourAcrossRuns()
    {
        CRecentFileList list;
        for (const char* name : {"/r/1.tvl", "/r/2.tvl", "/r/3.tvl", "/r/4.tvl", "/r/5.tvl", "/r/3.tvl"})
            list.Add(name);
        const QStringList expected({"/r/3.tvl", "/r/5.tvl", "/r/4.tvl", "/r/2.tvl"});
        QCOMPARE(list.Files(), expected);
        {
            QSettings settings(m_tmp.filePath("settings.ini"), QSettings::IniFormat);
            list.Write(settings);
        }
        CRecentFileList next;
        QSettings settings(m_tmp.filePath("settings.ini"), QSettings::IniFormat);
        next.Read(settings);
        QCOMPARE(next.Files(), expected);
        next.Remove("/r/5.tvl");
        next.Write(settings);
        CRecentFileList third;
        third.Read(settings);
        QCOMPARE(third.Files(), QStringList({"/r/3.tvl", "/r/4.tvl", "/r/2.tvl"}));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
