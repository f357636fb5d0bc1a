// What the user can do about a folder or file of the report from inside the window:
// "Open", "Open containing folder", "Copy path", "Move to trash", "Refresh folder"
// (F5), "Refresh all" and "Find..." (Ctrl+F).
//
// The context menus of the folder view, the file list and the ranking (right button or
// the menu key) offer the first five for the row under the pointer. They act on the
// real item on disc, found through the drive map and named by its bytes (text only
// shows it); when the report's drive is not mapped, its path or file name cannot be a
// real one (a ".." step, a '/' in a file name: a report may come from anybody) or the
// item no longer exists, the entries are disabled and the status bar says why. Move to trash only ever moves into the freedesktop trash, after a
// confirmation that names the item and its size, and only when the item on disc is
// still what the report says (a folder still a folder, a file still of its size).
#pragma once

#include <QDialog>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;
class CMainFrame;
class CTovalineDoc;

class CReportActions : public QObject {
    Q_OBJECT
public:
    // One folder or file of the report.
    struct Target {
        char cDrive = 0;
        int nPos = -1;          // the folder, or the folder holding the file
        bool bFile = false;
        std::string strName;    // the file's name
        std::int64_t nSize = 0; // the file's size as listed, or the folder's space with subs
        bool IsValid() const { return cDrive != 0 && nPos >= 0; }
    };
    // What would block or reach outside a test can be replaced.
    struct Hooks {
        // The trash confirmation; true for "Yes". Default: a question box.
        std::function<bool(const QString& text)> confirm;
        // Hands a file or folder (a file: URL made from its bytes) to the desktop's
        // opener. Default: QDesktopServices.
        std::function<bool(const QUrl& url)> open;
    };

    // Adds the commands to the frame (an "Actions" menu) and the context menus to its
    // three lists. Not owning.
    CReportActions(CMainFrame& frame, CTovalineDoc& doc, Hooks hooks = {});

    // The targets of the views' rows (invalid for no row).
    Target FolderTarget(int row) const;
    Target FileTarget(int row) const;
    Target RankTarget(int row) const;

    // The real path of the target on disc, as the bytes the system calls take, or
    // nullopt after setting *reason (the drive is not mapped, the report's path or name
    // cannot name a real item, or the item is gone).
    std::optional<std::string> RealPath(const Target& t, QString* reason) const;
    // A real path as text, for display only.
    static QString DisplayPath(const std::string& realPath);
    // The file: URL of a real path, percent-encoded from its bytes, so that a name that
    // is not UTF-8 still names that item.
    static QUrl LocalFileUrl(const std::string& realPath);
    // The context menu for a target; entries disabled (with the reason in the status
    // bar) when it has no real path.
    QMenu* BuildMenu(const Target& t, QWidget* parent);

    bool Open(const Target& t);
    bool OpenContainingFolder(const Target& t);
    bool CopyPath(const Target& t);
    // Asks, checks the item on disc, moves it to the trash and takes it out of the
    // report. False, with the reason told and nothing changed, otherwise.
    bool MoveToTrash(const Target& t);
    // Reads the target's folder (a file's folder) again; F5 acts on the selected folder.
    bool Refresh(const Target& t);
    void RefreshAll();
    void ShowFind();

    QAction* m_actRefresh;
    QAction* m_actRefreshAll;
    QAction* m_actFind;
    class CFindDlg* m_pFindDlg = nullptr;

    static QString TrashQuestion(const QString& shownPath, bool bFolder, std::int64_t nSize);

private:
    void Tell(const QString& text, const QString& caption = QStringLiteral("Move to trash")) const;
    void Status(const QString& text) const;
    // A Yes/No question with No as the default (the test hook answers when set).
    bool Ask(const QString& caption, const QString& question);
    // Hands url to the desktop's opener; when none takes it, tells `failure` under caption.
    bool OpenUrl(const QUrl& url, const QString& failure, const QString& caption) const;
    void AttachMenus();
    void Edited();

    CMainFrame& m_frame;
    CTovalineDoc& m_doc;
    Hooks m_hooks;
};

// Shows a folder of the report in the folder view (opening the branches above it)
// and, for a file (nFile >= 0, its index among the folder's stored files), selects it
// in the file list: how a chosen Find result, or a file of the file-types pane, is
// shown. False when the report no longer holds it.
bool ShowInViews(CMainFrame& frame, CTovalineDoc& doc, char cDrive, int nPos, int nFile);

// Find: a name, or a shell pattern with * ? [...], over the folder names and the
// stored file names of the report, largest first. Choosing a result shows it in the
// folder view (and a file in the file list).
class CFindDlg : public QDialog {
    Q_OBJECT
public:
    CFindDlg(CMainFrame& frame, CTovalineDoc& doc);
    // Runs the search for the text in the box; returns the number of matches.
    std::size_t Search();
    // Shows the result of a row.
    bool Choose(int row);

    QLineEdit* m_edit;
    QCheckBox* m_matchCase;
    QLabel* m_count;
    QTreeWidget* m_results;
    static constexpr std::size_t kMaxShown = 1000;

private:
    CMainFrame& m_frame;
    CTovalineDoc& m_doc;
};
