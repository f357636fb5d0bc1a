// The desktop document: the toolkit-free ReportDocument plus the views it updates,
// the "Create report" dialog of New, and the messages shown as message boxes.
#pragma once

#include "ReportDocument.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CView;

namespace tvl {
class ILoadProgress;
struct ReportComparison;
}

class CTovalineDoc : public QObject, public tvl::ReportDocument {
    Q_OBJECT
public:
    CTovalineDoc(tvl::ScanEnvironment& env, tvl::ILoadProgress& loadProgress, QObject* parent = nullptr);
    ~CTovalineDoc() override;

    // Views register themselves through CView::SetDocument.
    void AddView(CView* pView);
    void RemoveView(CView* pView);
    const std::vector<CView*>& Views() const { return m_views; }

    // Calls OnUpdate(pSender, lHint) of every view but the sender.
    void UpdateAllViews(CView* pSender, int lHint);
    // Gives every view its initial update (after a successful New or Open, and as
    // "empty" after a failed one so that no view keeps pointers into freed records).
    void SendInitialUpdate();

    // New: runs the "Create report" dialog, then scans the marked drives. Cancel gives
    // an empty document (and true). Refused (false, nothing changes) while a scan runs.
    // Gives the views their initial update itself, after success and failure alike.
    // The document has no path name and the title "Report" afterwards; a failure
    // leaves no drives, no combined ranking and m_bRanking cleared.
    virtual bool OnNewDocument();
    // Open and Save of a report file. Open releases the previous report first and
    // gives the views their initial update itself (as empty after a failure); on
    // success it sets the path name and title to the file's, on failure it leaves an
    // empty document as a failed New does, without path name and titled "Report", so
    // that Save asks for a name. Save leaves the report as it is and, on success,
    // takes the path name. Both are refused while a scan runs.
    virtual bool OnOpenDocument(const QString& pathName);
    virtual bool OnSaveDocument(const QString& pathName);

    // New for a folder: the "Create report" dialog opens with the drive letter the
    // folder was mapped to checked; otherwise as OnNewDocument.
    bool NewReportOfFolder(char cDrive);
    // What the dialog's "Add folder..." does (DriveMap::MapFolder through a folder
    // chooser; see CCreateReportDlg). None: the button is hidden.
    std::function<char(QWidget* parent)> m_chooseFolder;

    // The window that owns the "Create report" dialog (the main window; none by default).
    void SetMainWindow(QWidget* pMainWnd) { m_pMainWnd = pMainWnd; }
    // Asks a running scan to stop at its next pump (the main window is closing). The
    // running OnNewDocument then returns false and leaves an empty document; busyChanged
    // (false) tells when it has returned.
    void RequestStop();
    // Stops a running scan at its next pump and keeps what was read (the "Stop" button
    // of the step window): OnNewDocument then returns true with the drives read so far;
    // IsIncomplete() tells whether anything was left unread.
    void StopScan();

    // The scan options the "Create report" dialog starts with (the remembered ones);
    // scanOptionsChosen tells the choices made with "Start!".
    void SetScanOptions(const tvl::ScanOptions& options) { m_scanOptions = options; }
    const tvl::ScanOptions& ScanOptions() const { return m_scanOptions; }

    // Asks a yes/no question (the Save of an incomplete report); true for yes. By
    // default a question box owned by the main window; tests replace it.
    std::function<bool(const QString& caption, const QString& text)> m_askQuestion;

    // Title and path as the main window shows them ("Report" after New, the file's
    // name after Open or Save as). The window adds " (incomplete)" while IsIncomplete().
    QString GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);
    QString GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& path);

    // Comparison with a baseline report file (File > "Compare with report..."). Reads
    // the baseline and compares the report on screen with it; the views then show the
    // changes (hint kHintComparison). A baseline that cannot be read shows the Open
    // message and leaves the report and any running comparison as they were (false).
    // Refused (false, nothing shown) while a scan runs. The comparison is never
    // written into the report file.
    bool CompareWith(const QString& pathName);
    // Returns to the plain report. New and Open end the comparison themselves, before
    // the report it points into is released.
    void StopComparing();
    // The running comparison, or null. Valid until the next StopComparing, CompareWith,
    // New or Open.
    const tvl::ReportComparison* Comparison() const { return m_pComparison.get(); }
    // The baseline's file name (as chosen), empty when not comparing.
    QString BaselinePathName() const { return m_strBaselinePath; }

    // The report was edited (an item moved to the trash, a folder read again): a
    // running comparison is made again against the same baseline (it ends, with a
    // statusMessage, only when that fails), the title shows the change and every view
    // refills.
    void ReportEdited();
    bool IsModified() const { return m_bModified; }

    // The size measure the user asked the views to show (View > Size); none: each
    // drive's own, the measure of its scan. A drive that cannot show the asked measure
    // (no folder facts) shows its own. New and Open return to none.
    std::optional<tvl::SizeKind> WantedKind() const { return m_wantedKind; }
    // Sets it, tells the views (kHintMeasure) and emits measureChanged.
    void SetWantedKind(std::optional<tvl::SizeKind> kind);

signals:
    // Emitted when a scan starts and ends, so that New, Open and Save can be disabled.
    void busyChanged(bool busy);
    // Also emitted when the incomplete mark changes.
    void titleChanged(const QString& title);
    void scanOptionsChosen(const tvl::ScanOptions& options);
    // A comparison started, ended or was replaced.
    void comparisonChanged();
    // A line for the status bar: what a scan could not read, a report file's scan
    // facts left out as damaged, a comparison of reports whose options are not known.
    void statusMessage(const QString& text);
    // The measure the views show may have changed (SetWantedKind, New, Open).
    void measureChanged();

private:
    bool AskQuestion(const QString& caption, const QString& text);
    // No drives, no combined ranking, no ranking flag: what a failed New or Open leaves.
    void EmptyAfterFailure();

    tvl::ILoadProgress& m_loadProgress;
    std::vector<CView*> m_views;
    QString m_strTitle;
    QString m_strPathName;
    QPointer<QWidget> m_pMainWnd;
    tvl::ScanOptions m_scanOptions;
    std::string m_strCheckDrives; // checked when the dialog opens (NewReportOfFolder)
    bool m_bDiscardOnStop = false;
    // The baseline of the comparison and the comparison, which points into both it
    // and this document's reports.
    std::unique_ptr<tvl::ReportDocument> m_pBaseline;
    std::unique_ptr<tvl::ReportComparison> m_pComparison;
    QString m_strBaselinePath;
    std::optional<tvl::SizeKind> m_wantedKind;
};

inline constexpr const char* kQuestionSaveIncomplete = "This report is incomplete. Save it anyway?";
