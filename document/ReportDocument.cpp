#include "ReportDocument.h"

#include "ReportFile.h"

#include "AtomicFile.h"
#include "HostFacts.h"

#include <map>
#include <new>
#include <set>

namespace tvl {

void ReportDocument::FreeReports()
{
    m_pDriveReports.clear();
    m_nDrives = 0;
    m_bIncomplete = false;
    m_facts.reset();
    m_strSelectedPath.clear();
    m_pSelectedFolder = nullptr;
}

DriveReport* ReportDocument::DriveOf(char cDrive) const
{
    for (const auto& d : m_pDriveReports)
        if (d && d->cDrive == cDrive)
            return d.get();
    return nullptr;
}

bool ReportDocument::CreateReports(const NewReportOptions& options)
{
    struct BusyGuard {
        bool& flag;
        explicit BusyGuard(bool& f) : flag(f) { flag = true; }
        ~BusyGuard() { flag = false; }
    } busy(m_bBusy);

    m_bModified = false;
    m_bUnsavedScan = false;
    FreeReports();
    m_bRanking = options.bRanking;
    const int n = options.bRanking ? static_cast<int>(options.nRankingSize) : 0;
    m_rankingAll.clear();
    m_env.pump.ClearStop();
    m_env.options = options.scan;
    m_strOpenWarning.clear();
    ReportFacts facts;
    facts.strProgramVersion = ProgramVersion();
    facts.strHost = HostName();
    facts.nStartTime = NowUtcSeconds();
    // Kept whatever way the scan ends, with its end time and whether it read everything.
    struct FactsGuard {
        ReportDocument& doc;
        ReportFacts facts;
        ~FactsGuard()
        {
            facts.nEndTime = NowUtcSeconds();
            facts.bComplete = !doc.m_bIncomplete;
            doc.m_facts = std::move(facts);
        }
    } keepFacts{*this, std::move(facts)};

    try {
        m_pDriveReports.resize(options.strDrives.size());
    } catch (const std::bad_alloc&) {
        m_pDriveReports.clear();
        m_env.messages.ShowMessage(kCaptionNewDocument, kMsgOutOfMemory, MessageIcon::Error);
        return false;
    }
    m_nDrives = static_cast<int>(options.strDrives.size());

    for (std::size_t i = 0; i < options.strDrives.size(); ++i) {
        try {
            m_pDriveReports[i] = std::make_unique<DriveReport>();
        } catch (const std::bad_alloc&) {
            m_env.messages.ShowMessage(kCaptionNewDocument, kMsgOutOfMemory, MessageIcon::Error);
            return false;
        }
        DriveReport& drive = *m_pDriveReports[i];
        const bool made = drive.CreateReport(options.strDrives[i], options.bStoreFileNames, n, m_env);
        const bool stopped = drive.WasCancelled() || m_env.pump.StopRequested();
        if (!made && !stopped) {
            m_env.messages.ShowMessage(kCaptionNewDocument, kMsgCouldNotCreate, MessageIcon::Error);
            return false;
        }
        if (made && n > 0)
            MergeRanking(m_rankingAll, drive.ranking);
        if (stopped) {
            KeepStoppedReport(made ? i + 1 : i, drive.WasCancelled() || i + 1 < options.strDrives.size());
            m_bUnsavedScan = m_nDrives > 0;
            return true;
        }
    }
    m_bUnsavedScan = m_nDrives > 0;
    return true;
}

void ReportDocument::KeepStoppedReport(std::size_t nBuilt, bool bIncomplete)
{
    // The drives not scanned leave the table, so the report holds only what was read.
    m_pDriveReports.resize(nBuilt);
    m_nDrives = static_cast<int>(nBuilt);
    m_bIncomplete = bIncomplete;
}

bool ReportDocument::OnOpenDocument(const std::string& pathName)
{
    if (m_bBusy)
        return false;
    m_bModified = false;
    m_bUnsavedScan = false;
    FreeReports();
    m_bRanking = false;
    m_rankingAll.clear();
    m_strOpenWarning.clear();
    // Only a report file with the extension block says which scan options made it
    // (each drive's, which a refresh uses); without, a refresh reads with the defaults.
    m_env.options = ScanOptions{};

    NullLoadProgress none;
    ILoadProgress& progress = m_pLoadProgress ? *m_pLoadProgress : none;
    LoadedReport loaded;
    try {
        ReportReader in(pathName);
        if (!in.IsOpen()) {
            progress.Hide();
            m_env.messages.ShowMessage(kCaptionOpen, kMsgCannotOpen, MessageIcon::Error);
            return false;
        }
        progress.SetCaption(kLoadingCaption);
        progress.SetStepText("");
        progress.SetPathText("");
        progress.Show();
        progress.Redraw();
        loaded = ReadReport(in, progress);
    } catch (const std::bad_alloc&) {
        loaded.result = LoadResult::Fail(kCaptionOpen, kMsgOutOfMemory);
    }
    progress.Hide();
    // What was read stays in the document, also after a failure.
    m_pDriveReports = std::move(loaded.drives);
    m_nDrives = loaded.nDrives;
    m_bRanking = loaded.bRanking;
    m_rankingAll = std::move(loaded.rankingAll);
    m_facts = std::move(loaded.facts);
    m_bIncomplete = m_facts && !m_facts->bComplete;
    m_strOpenWarning = std::move(loaded.strBlockWarning);
    if (!loaded.result.bOk) {
        m_env.messages.ShowMessage(loaded.result.caption, loaded.result.message, MessageIcon::Error);
        return false;
    }
    return true;
}

std::string SaveFailureMessage(const AtomicFile& file)
{
    if (file.FailedStage() == AtomicFile::Stage::Create)
        return std::string(kMsgCannotCreateFile) + "\n\n" + file.Reason();
    std::string text = "Cannot write file!\n\n" + file.Reason();
    // A reason that already says what became of the file on disc is not repeated.
    if (file.Reason().find("left as it is") == std::string::npos)
        text += file.Existed() ? " The file on disc was left as it was." : " Nothing was saved.";
    return text;
}

bool ReportDocument::OnSaveDocument(const std::string& pathName)
{
    if (m_bBusy)
        return false;
    AtomicFile file;
    if (file.Begin(pathName)) {
        ReportWriter out(file.Fd());
        WriteReport(out, ReportContent{m_pDriveReports, m_nDrives, m_bRanking, m_rankingAll, m_facts ? &*m_facts : nullptr});
        if (!out.Flush())
            file.SetWriteError(out.Errno());
        if (file.Commit()) {
            m_bModified = false;
            m_bUnsavedScan = false;
            return true;
        }
    }
    m_env.messages.ShowMessage(kCaptionSave, SaveFailureMessage(file), MessageIcon::Error);
    return false;
}

WalkResult ReportDocument::RefreshFolder(char cDrive, int nPos, std::string& message)
{
    DriveReport* drive = DriveOf(cDrive);
    if (m_bBusy || !drive || !drive->GetFolder(nPos)) {
        message = m_bBusy ? "A report is being made." : kMsgNoSuchFolder;
        return WalkResult::Failed;
    }
    m_bBusy = true;
    m_env.pump.ClearStop();
    // The folder is read by the rules the report was made with; today's go back after.
    const ScanOptions today = m_env.options;
    m_env.options = PlanRefresh(cDrive).options;
    const WalkResult result = ReportEditor(*drive).RefreshFolder(nPos, m_env, message);
    m_env.options = today;
    m_bBusy = false;
    if (result == WalkResult::Complete) {
        SettleRefreshedLinks(*drive, nPos);
        SettleUncounted(*drive);
        AfterEdit();
    }
    return result;
}

ReportDocument::RefreshPlan ReportDocument::PlanRefresh(char cDrive) const
{
    RefreshPlan plan;
    const DriveReport* drive = DriveOf(cDrive);
    const std::string letter = std::string(1, cDrive) + ":";
    const std::string today = AbsolutePath(m_env.drives.Directory(cDrive));
    if (!drive || !drive->pFacts) {
        plan.options = m_env.options;
        plan.strConcern = "The report does not say how drive " + letter +
                          " was scanned. Refresh it from " + today + " with today's settings (" +
                          DescribeOptions(plan.options) + ")?";
        return plan;
    }
    plan.options = drive->pFacts->options;
    if (drive->pFacts->strDirectory != today)
        plan.strConcern = "Drive " + letter + " stood for " + drive->pFacts->strDirectory +
                          " when the report was made; today it stands for " + today + ". Refresh from " + today +
                          " with the report's options (" + DescribeOptions(plan.options) + ")?";
    return plan;
}

bool ReportDocument::RemoveFolder(char cDrive, int nPos)
{
    DriveReport* drive = DriveOf(cDrive);
    if (m_bBusy || !drive || !ReportEditor(*drive).RemoveFolder(nPos))
        return false;
    SettleUncounted(*drive);
    AfterEdit();
    return true;
}

bool ReportDocument::RemoveFile(char cDrive, int nPos, const std::string& strName, std::int64_t nSize,
                                std::int64_t nOtherSize)
{
    DriveReport* drive = DriveOf(cDrive);
    if (m_bBusy || !drive || !ReportEditor(*drive).RemoveFile(nPos, strName, nSize, nOtherSize))
        return false;
    SettleUncounted(*drive);
    AfterEdit();
    return true;
}

std::string ReportDocument::RealFilePath(const FolderRecord& rec, const std::string& strName) const
{
    std::optional<std::string> dir = m_env.drives.RealPath(rec.strPath);
    if (!dir)
        return std::string();
    if (dir->empty() || dir->back() != '/')
        *dir += '/';
    return *dir + strName;
}

void ReportDocument::SettleUncounted(DriveReport& drive)
{
    if (drive.AllCount())
        return;
    // The names that do not count, by file (those no longer on disc are left alone).
    std::map<FileIdentity, std::vector<std::pair<int, std::string>>> pending;
    std::set<std::int64_t> sizes;
    const auto& list = drive.Folders();
    for (std::size_t i = 0; i < list.size(); ++i)
        for (const FileEntry& e : list[i]->files)
            if (!drive.Counts(*list[i], e.strName))
                if (auto id = IdentifyFile(RealFilePath(*list[i], e.strName))) {
                    pending[*id].emplace_back(static_cast<int>(i), e.strName);
                    sizes.insert(e.nSize);
                }
    // A file still counted under another name of the report keeps it; only names of
    // the same size can be that name.
    for (std::size_t i = 0; i < list.size() && !pending.empty(); ++i)
        for (const FileEntry& e : list[i]->files)
            if (sizes.count(e.nSize) && drive.Counts(*list[i], e.strName))
                if (auto id = IdentifyFile(RealFilePath(*list[i], e.strName)))
                    pending.erase(*id);
    // The others lost their counting name: the first of their names counts now.
    ReportEditor editor(drive);
    for (const auto& [id, names] : pending)
        editor.CountName(names.front().first, names.front().second);
}

void ReportDocument::SettleRefreshedLinks(DriveReport& drive, int nPos)
{
    const FolderRecord* top = drive.GetFolder(nPos);
    if (!top || !drive.bStoreFileNames)
        return;
    const int last = nPos + top->nDescendants;
    // The counted names read again that have further names (the walk has just read them,
    // so asking the disc again is cheap), by identity.
    std::map<FileIdentity, std::vector<std::pair<int, std::string>>> inside;
    std::set<std::int64_t> sizes;
    for (int i = nPos; i <= last; ++i) {
        const FolderRecord& rec = *drive.GetFolder(i);
        for (const FileEntry& e : rec.files)
            if (drive.Counts(rec, e.strName))
                if (auto id = IdentifyFile(RealFilePath(rec, e.strName)); id && id->links > 1) {
                    inside[*id].emplace_back(i, e.strName);
                    sizes.insert(e.nSize);
                }
    }
    if (inside.empty())
        return;
    // Names outside of the same size that count: if one is the same file, it counted
    // first, and the names read again do not count.
    ReportEditor editor(drive);
    const auto& list = drive.Folders();
    for (int i = 0; i < static_cast<int>(list.size()) && !inside.empty(); ++i) {
        if (i == nPos) {
            i = last;
            continue;
        }
        for (const FileEntry& e : list[static_cast<std::size_t>(i)]->files) {
            if (!sizes.count(e.nSize) || !drive.Counts(*list[static_cast<std::size_t>(i)], e.strName))
                continue;
            auto id = IdentifyFile(RealFilePath(*list[static_cast<std::size_t>(i)], e.strName));
            auto it = id ? inside.find(*id) : inside.end();
            if (it == inside.end())
                continue;
            for (const auto& [pos, name] : it->second)
                editor.UncountName(pos, name);
            inside.erase(it);
        }
    }
}

void ReportDocument::AfterEdit()
{
    m_rankingAll.clear();
    if (m_bRanking)
        for (const auto& d : m_pDriveReports)
            if (d)
                MergeRanking(m_rankingAll, d->ranking);
    // The selected folder, or its nearest ancestor still in the report.
    m_pSelectedFolder = nullptr;
    std::string path = m_strSelectedPath;
    DriveReport* drive = path.empty() ? nullptr : DriveOf(DriveOfPath(path));
    while (drive && !m_pSelectedFolder && path.size() >= 3) {
        for (FolderRecord* f : drive->Folders())
            if (f->strPath == path) {
                m_pSelectedFolder = f;
                break;
            }
        if (!m_pSelectedFolder) {
            path.pop_back();
            path.erase(path.rfind('\\') + 1);
        }
    }
    m_strSelectedPath = m_pSelectedFolder ? m_pSelectedFolder->strPath : std::string();
    m_bModified = true;
}

} // namespace tvl
