// The "Create report" dialog: which drives to scan, whether to rank the largest files
// and how many, whether to keep every folder's file names.
#pragma once

#include "ScanOptions.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tvl {
class DriveMap;
}

class CCreateReportDlg : public QDialog {
    Q_OBJECT
public:
    // The drive list offers the available letters of the map (C..Z, ascending).
    explicit CCreateReportDlg(const tvl::DriveMap& drives, QWidget* parent = nullptr);

    // Results, valid after "Start!" closed the dialog (exec() == Accepted).
    std::string m_strDrives;        // letters of the checked drives, in list order
    bool m_bRanking = true;         // "Create &ranking of"
    bool m_bStoreFileNames = false; // "Store filenames in database"
    unsigned m_nRankingSize = 100;  // 1..1000
    // How the drives are counted: "Skip hidden folders", "Count hard-linked files
    // once", "Sizes:" and "Leave out folders matching" (patterns separated by ';').
    tvl::ScanOptions m_scanOptions;

    // Shows the given choices in the scan option controls (the remembered ones).
    void SetScanOptions(const tvl::ScanOptions& options);

    // "Add folder...": asks for a folder and maps it to a drive letter (the next free
    // one, or the letter it has already), returning the letter or 0 (cancelled, or no
    // letter free: the chooser tells why). The folder's item is then checked. Without
    // a chooser the button is hidden.
    std::function<char(QWidget* parent)> m_chooseFolder;
    void SetFolderChooser(std::function<char(QWidget* parent)> choose);
    // Checks the items of these letters (a folder chosen before the dialog opened);
    // letters not in the list are added when the map has them.
    void CheckDrives(const std::string& letters);
    void OnAddFolder();
    QPushButton* m_wndAddFolder = nullptr;

    // How messages are shown: by default a message box owned by the dialog. Tests
    // replace it to record them.
    std::function<void(const QString& caption, const QString& text, QMessageBox::Icon icon)> m_showMessage;

    // The controls, for the window's own use and for tests.
    QListWidget* m_wndDriveList = nullptr;
    QCheckBox* m_wndRanking = nullptr;
    QLineEdit* m_wndRankingSize = nullptr;
    QCheckBox* m_wndStoreFileNames = nullptr;
    QCheckBox* m_wndSkipHidden = nullptr;
    QCheckBox* m_wndLinksOnce = nullptr;
    QRadioButton* m_wndFileSize = nullptr;
    QRadioButton* m_wndDiscUsage = nullptr;
    QLineEdit* m_wndExclude = nullptr;
    QPushButton* m_wndStart = nullptr;
    QPushButton* m_wndCancel = nullptr;

public slots:
    // "Start!": collects the checked drives and checks the count; closes the dialog
    // only when both are valid.
    void OnOK();

private slots:
    void OnRankingClicked();

private:
    // The list item of a letter, added in letter order when it is not there yet.
    class QListWidgetItem* ItemOf(char letter);
    void FitDriveList();
    const tvl::DriveMap& m_drives;

    void ShowMessage(const QString& caption, const QString& text, QMessageBox::Icon icon);
    QLayout* MakeScanOptionControls(QWidget* group);
    QLayout* MakeExcludeRow(QWidget* group);
    // Reads the scan option controls into `out`; false (after the message) when the
    // exclusion patterns cannot be used.
    bool TakeScanOptions(tvl::ScanOptions& out);
};

inline constexpr const char* kCaptionCreateReportDlg = "Create report";
inline constexpr const char* kMsgMarkOneDrive = "You must mark at least one drive!";
inline constexpr const char* kMsgRankingRange = "Please enter an integer between 1 and 1000.";
