#include "ReportDocument.h"

#include "ReportFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

void ReportDocument::FreeReports()
{
    m_pDriveReports.clear();
    m_nDrives = 0;
    m_bIncomplete = false;
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

    FreeReports();
    m_bRanking = options.bRanking;
    const int n = options.bRanking ? static_cast<int>(options.nRankingSize) : 0;
    m_rankingAll.clear();
    m_env.pump.ClearStop();
    m_env.options = options.scan;

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
            return true;
        }
    }
    return true;
}

void ReportDocument::KeepStoppedReport(std::size_t nBuilt, bool bIncomplete)
{
    // The drives not scanned leave the table, so the report holds only what was read.
    m_pDriveReports.resize(nBuilt);
    m_nDrives = static_cast<int>(nBuilt);
    m_bIncomplete = bIncomplete;
}

namespace {

// The process's file creation mask, read without changing it.
mode_t CurrentUmask()
{
    if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "Umask:", 6) == 0) {
                std::fclose(f);
                return static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
            }
        std::fclose(f);
    }
    return 022;
}

std::string DirectoryOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

bool ReportDocument::OnOpenDocument(const std::string& pathName)
{
    if (m_bBusy)
        return false;
    FreeReports();
    m_bRanking = false;
    m_rankingAll.clear();

    NullLoadProgress none;
    ILoadProgress& progress = m_pLoadProgress ? *m_pLoadProgress : none;
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

    LoadResult result = ReadReport(in, ReportContent{m_pDriveReports, m_nDrives, m_bRanking, m_rankingAll}, progress);
    progress.Hide();
    if (!result.bOk) {
        m_env.messages.ShowMessage(result.caption, result.message, MessageIcon::Error);
        return false;
    }
    return true;
}

bool ReportDocument::OnSaveDocument(const std::string& pathName)
{
    if (m_bBusy)
        return false;
    auto cannotCreate = [this] {
        m_env.messages.ShowMessage(kCaptionSave, kMsgCannotCreateFile, MessageIcon::Error);
        return false;
    };
    if (pathName.empty())
        return cannotCreate();

    // A link is followed, so that the file it names is replaced and the link kept.
    std::string target = pathName;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool exists = ::stat(target.c_str(), &st) == 0;
    // A file that could not be opened for writing is not replaced behind the user's back.
    if (exists && (!S_ISREG(st.st_mode) || ::access(target.c_str(), W_OK) != 0))
        return cannotCreate();
    const mode_t mode = exists ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());

    std::string temp = DirectoryOf(target) + "/." + BaseNameOf(target) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return cannotCreate();

    int error = 0;
    {
        ReportWriter out(fd);
        WriteReport(out, ReportContent{m_pDriveReports, m_nDrives, m_bRanking, m_rankingAll});
        if (!out.Flush())
            error = out.Errno();
    }
    if (!error && ::fchmod(fd, mode) != 0 && exists)
        error = errno; // a new file may keep mkstemp's mode; an old one must not lose its own
    if (!error && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && !error)
        error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error) {
        ::unlink(temp.c_str());
        std::string text = std::string("Cannot write file!\n\n") + std::strerror(error) + ".";
        text += exists ? " The file on disc was left as it was." : " Nothing was saved.";
        m_env.messages.ShowMessage(kCaptionSave, text, MessageIcon::Error);
        return false;
    }
    // Make the rename itself durable (best effort: some file systems refuse this).
    const int dirFd = ::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace tvl
