// The application: builds the drive map, the environment of scans, the main frame and
// the one document, shows the splash window, carries out the command line and serves
// New, Open, Save, Save as and the recent files.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "ReportActions.h"

#include <functional>
#include <memory>

class QSettings;
class QWidget;
class CMainFrame;
class CTovalineDoc;
class QtEventPump;
class QtMessageSink;

namespace tvl {
class DriveMap;
class IMessageSink;
class MessagePump;
struct ScanEnvironment;
}

// The settings of the program: the organisation and the application name under which
// the recent-file list is kept in the user's settings store.
inline constexpr const char* kSettingsOrganization = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Tovaline";
// The document type's texts.
inline constexpr const char* kNewDocumentTitle = "Report";
inline constexpr const char* kReportFilter = "Disc space reports (*.tvl)";
inline constexpr const char* kNcduFilter = "ncdu export (*.json *.json.gz)";
inline constexpr const char* kReportExtension = ".tvl";

// Up to kSize recent report files, the most recent first, kept under
// "Recent File List/File1".."File4".
class CRecentFileList {
public:
    static constexpr int kSize = 4;
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return m_files; }
    void Read(QSettings& settings);
    void Write(QSettings& settings) const;

private:
    QStringList m_files;
};

class CTovalineApp : public QObject {
    Q_OBJECT
public:
    // Everything that would block or reach outside a test can be replaced.
    struct Options {
        bool bShowSplash = true;
        // Settings file (INI) to use instead of the user's settings store.
        QString strSettingsFile;
        // Where messages go; null: message boxes over the main window.
        tvl::IMessageSink* pMessages = nullptr;
        // Replaces the document's New (the "Create report" dialog and the scan).
        std::function<bool(CTovalineDoc&)> newDocument;
        // Replace the file dialogs of Open and Save as; an empty result cancels.
        std::function<QString(QWidget*)> openFileName;
        // Replaces the file dialog of "Compare with report..."; an empty result cancels.
        std::function<QString(QWidget*)> compareFileName;
        std::function<QString(QWidget*, const QString&)> saveFileName;
        // Replaces the folder chooser of "Create report of a folder..." and "Add
        // folder..."; an empty result cancels.
        std::function<QString(QWidget*)> folderName;
        // Replaces the question whether to save a changed report (before New, Open and
        // closing); returns QMessageBox::Save, Discard or Cancel.
        std::function<int(QWidget*, const QString&)> saveQuestion;
        // Replace the trash confirmation and the desktop opener.
        CReportActions::Hooks actionHooks;
    };

    CTovalineApp();
    explicit CTovalineApp(Options options);
    ~CTovalineApp() override;

    // The start: settings and recent files, the splash window, the frame and the
    // document, then the command line (args without the program's name): none makes
    // a new report, one opens that report file. False when the program must end (the
    // user was told why); otherwise the main window is shown.
    bool InitInstance(const QStringList& args);
    // Stores the recent-file list.
    void ExitInstance();

    CMainFrame* MainFrame() const { return m_pFrame.get(); }
    CTovalineDoc* Document() const { return m_pDoc.get(); }
    const CRecentFileList& RecentFiles() const { return m_recent; }

    // The commands.
    void OnFileNew();
    void OnFileOpen();
    bool OpenDocumentFile(const QString& path);
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnOpenRecentFile(const QString& path);
    // File > "Create report of a folder...": picks a folder, maps it to the next free
    // drive letter and runs New with that drive checked.
    void OnFileNewFolder();
    // Maps a folder (bytes, as the file system takes them) to a drive letter; 0 after
    // telling the user when no letter is free.
    char MapFolder(const std::string& dir);
    // The folder chooser of the above and of the dialog's "Add folder...": the letter
    // of the chosen folder, 0 when cancelled.
    char ChooseFolder(QWidget* parent);
    // File > "Compare with report...": picks a baseline report file and compares the
    // report on screen with it.
    void OnFileCompare();
    // Asks whether to save a changed report, and saves it: false when the user
    // cancelled or the save failed (the report stays as it is).
    bool SaveModified();
    CReportActions* Actions() const { return m_pActions; }

private:
    void ShowMessage(const QString& caption, const QString& text);
    std::unique_ptr<QSettings> OpenSettings() const;
    void AddToRecentFileList(const QString& path);
    void RemoveFromRecentFileList(const QString& path);

    Options m_options;
    CRecentFileList m_recent;
    std::unique_ptr<tvl::DriveMap> m_pDrives;
    std::unique_ptr<QtMessageSink> m_pMessageBoxes;
    std::unique_ptr<QtEventPump> m_pEventPump;
    std::unique_ptr<tvl::MessagePump> m_pPump;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<tvl::ScanEnvironment> m_pEnv;
    std::unique_ptr<CTovalineDoc> m_pDoc;
    CReportActions* m_pActions = nullptr; // owned by the frame
};
