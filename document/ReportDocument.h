// The report document without any toolkit: the drive reports of the current report,
// the combined ranking, the selected folder, and the operations New (after the
// "Create report" dialog), Open and Save. The desktop document and tovaline-cli both
// work through this class.
#pragma once

#include "HostFacts.h"
#include "Report.h"
#include "ReportEdit.h"
#include "Scan.h"
#include "ScanEnvironment.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tvl {

// The choices of the "Create report" dialog.
struct NewReportOptions {
    std::string strDrives;        // letters of the marked drives, ascending, one each
    bool bRanking = true;         // make rankings
    unsigned nRankingSize = 100;  // 1..1000, used when bRanking
    bool bStoreFileNames = false; // keep every folder's file names
    ScanOptions scan;             // hidden folders, hard links, sizes, exclusions
};

class ReportDocument {
public:
    explicit ReportDocument(ScanEnvironment& env) : m_env(env) {}
    virtual ~ReportDocument() { FreeReports(); }
    ReportDocument(const ReportDocument&) = delete;
    ReportDocument& operator=(const ReportDocument&) = delete;

    // One entry per drive of the report, in drive-string or file order. An entry is
    // null while it is not built yet (or when building it failed).
    std::vector<std::unique_ptr<DriveReport>> m_pDriveReports;
    int m_nDrives = 0;
    bool m_bRanking = false;              // rankings exist (and are stored in the file)
    std::vector<RankEntry> m_rankingAll;  // combined ranking of all drives
    std::string m_strSelectedPath;        // path of the selected folder, "" for none
    FolderRecord* m_pSelectedFolder = nullptr; // points into m_pDriveReports; not owned

    // Deletes every drive report and resets the selection and the incomplete mark.
    // m_bRanking and m_rankingAll are left alone.
    void FreeReports();

    // Builds a new report from the dialog's choices: releases the previous report,
    // scans each drive in the order of the drive string with the environment's scan
    // options and merges the rankings. Returns false after telling the user ("New
    // document") when a drive report cannot be created; drives built so far stay.
    // A stop requested through the pump ends the scan at its next pump and returns
    // true: the drives read so far stay (the one being walked with the folders read so
    // far), the drives not reached leave the table, and IsIncomplete() tells whether
    // anything was left unread. Nothing is shown.
    bool CreateReports(const NewReportOptions& options);

    // True after a scan that was stopped before everything was read, and after opening
    // a report file that says so (in its extension block); false after a complete scan,
    // the Open of any other report and FreeReports.
    bool IsIncomplete() const { return m_bIncomplete; }

    // The facts of the scan that made the report (ScanFacts.h): set by CreateReports,
    // read from the report file's extension block by Open, written back by Save. Empty
    // for a report opened from a file without the block, which is saved without one.
    std::optional<ReportFacts> m_facts;

    // Set by Open when the file's extension block was damaged and left out (the report
    // itself opened): the warning to show, once, in the status bar or on stderr.
    std::string m_strOpenWarning;

    // Open: empties the document, then reads the report file pathName (a byte string
    // as the file system takes it) while the load progress display shows the drive and
    // folder being read. Returns false after telling the user (caption "Open"; "Create
    // report" when a folder record cannot be allocated); what was read before the
    // failure stays in the document. The display is hidden on every way out. Refused
    // (false, nothing shown) while a scan runs.
    bool OnOpenDocument(const std::string& pathName);

    // Save: writes the report to pathName through AtomicFile: an existing report is
    // replaced only by a complete one and keeps its owner, group and permissions; a
    // symbolic link is written through only where the system lets this user open it
    // for writing, and is itself kept; a dangling or looping link, a folder or any
    // other non-regular file is refused. Returns false after telling the user (caption
    // "Save"): "Cannot create file!" when nothing could be written, "Cannot write
    // file!" when writing or the final rename failed, each followed by the system's
    // reason after an empty line; the old file is then as it was and no temporary file
    // is left. The document is not changed.
    bool OnSaveDocument(const std::string& pathName);

    // The report differs from its file (or, never saved, from its scan): set by the
    // edits below, cleared by New, Open and a successful Save.
    bool m_bModified = false;
    // A new scan that was never saved: set when CreateReports leaves drives behind,
    // cleared by New, Open and a successful Save. Losing it would cost a whole scan, so
    // the desktop program asks before it goes, as it does for an edited report.
    bool m_bUnsavedScan = false;
    bool NeedsSave() const { return m_bModified || m_bUnsavedScan; }

    // Edits of drive cDrive's report after the disc changed (ReportEdit.h). Each
    // returns false when there is no such drive or folder or the edit is refused
    // (nothing changes); on success it rebuilds the combined ranking, moves the
    // selection to the nearest folder still in the report and sets m_bModified.
    // RefreshFolder also fails (message says why) or stops as the walk does; the
    // report is then as it was. Refused while busy. A file with several names (hard
    // links) keeps counting once, under a name still in the report: a name that did not
    // count is removed without subtracting, and after an edit that took a counting name
    // away the first remaining name counts.
    // RefreshFolder reads with the options of PlanRefresh(cDrive); callers that can ask
    // the user ask first when the plan has a concern.
    WalkResult RefreshFolder(char cDrive, int nPos, std::string& message);

    // How a refresh of drive cDrive reads. A report that knows how the drive was
    // measured reads with those options, from the directory the letter stands for; when
    // that is still the directory the letter stood for, strConcern is empty. Otherwise
    // strConcern says, as a question for the user, what is read instead: the letter's
    // directory of today, with the report's options, or with today's (the environment's)
    // when the report does not know them.
    struct RefreshPlan {
        ScanOptions options;
        std::string strConcern;
    };
    RefreshPlan PlanRefresh(char cDrive) const;
    bool RemoveFolder(char cDrive, int nPos);
    bool RemoveFile(char cDrive, int nPos, const std::string& strName, std::int64_t nSize,
                    std::int64_t nOtherSize = -1);


    // The display Open drives; null shows nothing. Not owned.
    void SetLoadProgress(ILoadProgress* p) { m_pLoadProgress = p; }

    // The report of drive cDrive (as DriveOfPath gives it), or null.
    DriveReport* DriveOf(char cDrive) const;

    // True while CreateReports runs: New, Open and Save must not start then.
    bool IsBusy() const { return m_bBusy; }

    ScanEnvironment& Environment() const { return m_env; }

private:
    // The real path of a stored name of a folder, or "" when the drive is not mapped.
    std::string RealFilePath(const FolderRecord& rec, const std::string& strName) const;
    // After a refresh of the folder at nPos: a file with names inside and outside it
    // counts once, under an outside name when one counted already.
    void SettleRefreshedLinks(DriveReport& drive, int nPos);
    // After an edit: a file whose counting name left the report (moved to the trash,
    // gone from a folder read again) counts under the first of its names still in it.
    // Only the names that did not count, and the counting names of their sizes, are
    // looked up on the disc.
    void SettleUncounted(DriveReport& drive);

    // After a stop: keeps the first nBuilt drives and the incomplete mark.
    void KeepStoppedReport(std::size_t nBuilt, bool bIncomplete);

protected:
    // What every successful edit does afterwards.
    void AfterEdit();

    ScanEnvironment& m_env;
    bool m_bBusy = false;
    bool m_bIncomplete = false;
    ILoadProgress* m_pLoadProgress = nullptr;
};

inline constexpr const char* kCaptionNewDocument = "New document";
inline constexpr const char* kMsgCouldNotCreate = "ERROR: Could not create reports!";

class AtomicFile;
// The message of a Save that failed in `file`: what could not be done, the reason, and
// what became of the file on disc (said once).
std::string SaveFailureMessage(const AtomicFile& file);

} // namespace tvl
