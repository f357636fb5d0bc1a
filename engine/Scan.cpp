// The drive scan: five steps, each shown in the step progress display.
//
// Step 1 walks the drive once. Every directory is opened relative to its parent's
// handle and its whole listing (names, types and sizes) is read before the walk
// descends, so the own space of each folder is known after step 1; step 2 therefore
// needs no second enumeration and only reports its progress. The walk keeps its own
// stack instead of recursing, so the depth of a tree is no limit.
#include "Scan.h"
#include "ParallelWalk.h"
#include "PathNames.h"
#include "Report.h"

#include <cstdio>
#include <new>

namespace tvl {

namespace {

// Directory handles kept open by the walk: every ancestor up to this depth, and then
// one in kReopenStride levels, so a tree thousands of levels deep holds only a few
// hundred descriptors. A directory whose handle was closed is reached again from the
// nearest ancestor that kept its own.
constexpr int kKeepOpenDepth = 64;
constexpr int kReopenStride = 32;

struct Frame {
    FolderRecord* rec;
    std::string name;            // the directory's own name (for reopening)
    IFileSystem::Handle handle;  // kInvalid when closed or never opened
    bool opened;                 // the directory could be opened at all
    std::vector<DirEntry> entries;
    std::size_t next = 0;
};

bool KeepsHandle(int level)
{
    return level < kKeepOpenDepth || level % kReopenStride == 0;
}

std::string Format(const char* fmt, char c)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, fmt, c);
    return buf;
}

// Opens the child `name` of frames.back(), reopening the chain from the nearest
// ancestor that still holds its handle when the parent's own was closed.
IFileSystem::Handle OpenChildOf(IFileSystem& fs, const std::vector<Frame>& frames, const std::string& name)
{
    const Frame& parent = frames.back();
    if (!parent.opened)
        return IFileSystem::kInvalid;
    if (parent.handle != IFileSystem::kInvalid)
        return fs.OpenChild(parent.handle, name);
    std::size_t a = frames.size() - 1;
    while (a > 0 && frames[a].handle == IFileSystem::kInvalid)
        --a;
    IFileSystem::Handle cur = frames[a].handle;
    if (cur == IFileSystem::kInvalid)
        return IFileSystem::kInvalid;
    for (std::size_t j = a + 1; j < frames.size() && cur != IFileSystem::kInvalid; ++j) {
        IFileSystem::Handle nextHandle = fs.OpenChild(cur, frames[j].name);
        if (cur != frames[a].handle)
            fs.Close(cur);
        cur = nextHandle;
    }
    if (cur == IFileSystem::kInvalid)
        return IFileSystem::kInvalid;
    IFileSystem::Handle child = fs.OpenChild(cur, name);
    if (cur != frames[a].handle)
        fs.Close(cur);
    return child;
}

} // namespace

FolderRecord* DriveReport::RecordScannedFolder(std::string strPath, FolderRecord* pParent, int nLevel,
                                               ScanEnvironment& env)
{
    FolderRecord* rec = nullptr;
    try {
        rec = &AppendFolder(std::move(strPath), pParent, nLevel);
    } catch (const std::bad_alloc&) {
        env.messages.ShowMessage(kCaptionCreateReport, kMsgOutOfMemory, MessageIcon::Error);
        return nullptr;
    }
    env.progress.SetStatus(rec->strPath);
    // The root and the first level start shown and expandable; the root counts as
    // expanded while the walk runs.
    rec->bVisible = rec->bHasSubFolders = nLevel < 2;
    rec->bExpanded = nLevel == 0;
    return rec;
}

bool DriveReport::ReadFolder(const std::string& strPath, FolderRecord* pParent, int nLevel, ScanEnvironment& env)
{
    if (const int nThreads = WalkerThreads(env); nThreads > 1)
        return ParallelReadFolder(*this, strPath, pParent, nLevel, env, nThreads, m_bCancelled);

    IFileSystem& fs = env.fs;
    std::vector<Frame> frames;
    const FolderFilter filter(env.options);
    FileCounter counter(env.options);
    // The path of frames.back()'s sub-folder `name` relative to the drive's directory.
    auto relativePath = [&](const std::string& name) {
        std::string rel;
        for (std::size_t i = 1; i < frames.size(); ++i)
            rel.append(frames[i].name).push_back('/');
        return rel.append(name);
    };

    // Records one folder and reads its listing; pushes its frame. Returns false when
    // the record cannot be created (the folder and its subtree are then left out).
    auto enter = [&](std::string path, FolderRecord* parent, int level, const std::string& name,
                     bool enterable) -> bool {
        env.pump.PumpMessages();
        FolderRecord* rec = RecordScannedFolder(std::move(path), parent, level, env);
        if (!rec)
            return false;

        Frame f{rec, name, IFileSystem::kInvalid, false, {}, 0};
        if (enterable) {
            if (frames.empty()) {
                const std::string real = env.drives.Directory(strPath.empty() ? 0 : strPath[0]);
                f.handle = real.empty() ? IFileSystem::kInvalid : fs.OpenDir(real);
            } else {
                f.handle = OpenChildOf(fs, frames, name);
            }
        }
        if (f.handle != IFileSystem::kInvalid) {
            f.opened = true;
            fs.ReadAll(f.handle, f.entries); // a listing that breaks off keeps what was read
            if (bStoreFileNames) {
                std::size_t nFiles = 0;
                for (const DirEntry& e : f.entries)
                    nFiles += e.isDir ? 0 : 1;
                try {
                    rec->files.reserve(nFiles); // exact size, no growth slack
                } catch (const std::bad_alloc&) {
                }
            }
            if (!KeepsHandle(level)) {
                fs.Close(f.handle);
                f.handle = IFileSystem::kInvalid;
            }
        }
        frames.push_back(std::move(f));
        return true;
    };

    if (!enter(strPath, pParent, nLevel, std::string(), true))
        return false;

    while (!frames.empty()) {
        if (env.pump.StopRequested()) {
            m_bCancelled = true;
            break;
        }
        Frame& top = frames.back();
        if (top.next >= top.entries.size()) {
            if (top.handle != IFileSystem::kInvalid)
                fs.Close(top.handle);
            frames.pop_back();
            continue;
        }
        DirEntry& e = top.entries[top.next++];
        FolderRecord* rec = top.rec;
        if (e.isDir) {
            if (filter.LeavesOut(e.name, filter.NeedsRelativePath() ? relativePath(e.name) : std::string()))
                continue; // left out with everything below it
            std::string childPath;
            childPath.reserve(rec->strPath.size() + e.name.size() + 1);
            childPath.append(rec->strPath);
            AppendPathStep(childPath, e.name);
            const std::string name = std::move(e.name);
            enter(std::move(childPath), rec, rec->nLevel + 1, name, !e.otherDevice);
            continue; // `top` may have moved
        }
        const std::int64_t size = counter.ListedSize(e.size, e.allocated);
        const bool counts = counter.Counts(e.device, e.inode);
        if (counts)
            rec->nSpaceWithoutSubs += size;
        if (counts && nRankingSize != 0)
            InsertRankEntry(e.name, rec->strPath, size);
        if (bStoreFileNames)
            rec->files.push_back(FileEntry{std::move(e.name), size});
        if (top.next == top.entries.size())
            top.entries = std::vector<DirEntry>(); // release the listing early
    }
    for (Frame& f : frames)
        if (f.handle != IFileSystem::kInvalid)
            fs.Close(f.handle);
    return true;
}

bool DriveReport::CreateReport(char cDriveIn, bool bStoreFileNamesIn, int nRankingSizeIn, ScanEnvironment& env)
{
    IStepProgress& progress = env.progress;
    const std::string root = std::string(1, cDriveIn) + ":\\";
    cDrive = cDriveIn;
    bStoreFileNames = bStoreFileNamesIn;
    nRankingSize = nRankingSizeIn;
    m_bCancelled = false;

    progress.SetCaption(Format("Creating report for drive %c: ...", cDrive));
    progress.SetStatus("");
    progress.Show();
    ranking.clear();
    progress.SetStep1Text(std::string(kStep1) + (nRankingSize > 0 ? kStep1Ranking : ""));

    auto finish = [&](bool result) {
        progress.Hide();
        progress.Redraw();
        return result;
    };
    auto beginStep = [&](int step) {
        progress.SetStep(step);
        progress.SetStatus("");
        progress.Redraw();
    };
    // Steps 2 to 4 report each folder. They only compute over what the walk read, so a
    // stop asked meanwhile lets them finish: the report stays consistent.
    auto reportFolder = [&](int i, const FolderRecord& rec) {
        env.pump.PumpMessages();
        progress.SetProgress(i, nFolders);
        progress.SetStatus(rec.strPath);
        return true;
    };

    // Step 1: the walk.
    progress.SetStep(1);
    progress.SetProgress(-1, 0);
    progress.Redraw();
    if (!ReadFolder(root, nullptr, 0, env) || nFolders == 0) {
        FreeFolders();
        return finish(false);
    }
    // A stopped walk keeps the folders read so far; the steps below compute their sums
    // and shares over what was read.

    // The list is in walk order (pre-order) until step 5.
    const std::vector<FolderRecord*>& list = Folders();

    // Step 2: own space. The walk has already summed each folder's own files.
    beginStep(2);
    for (int i = 0; i < nFolders; ++i)
        if (!reportFolder(i + 1, *list[i]))
            return finish(false);

    // Step 3: space with subs. Each folder's sum starts with its own space; then, in
    // reverse pre-order, every folder's finished sum is added to its parent's. The
    // result equals adding each folder's own space to all of its ancestors.
    beginStep(3);
    for (int i = 0; i < nFolders; ++i) {
        if (!reportFolder(i + 1, *list[i]))
            return finish(false);
        list[i]->nSpaceWithSubs = list[i]->nSpaceWithoutSubs;
    }
    for (int i = nFolders - 1; i > 0; --i)
        if (FolderRecord* parent = list[i]->pParent)
            parent->nSpaceWithSubs += list[i]->nSpaceWithSubs;

    // Step 4: shares and the has-sub-folders flag.
    beginStep(4);
    FolderRecord* rootRec = FirstFolder();
    const std::int64_t total = rootRec ? rootRec->nSpaceWithSubs : 0;
    for (int i = 0; i < nFolders; ++i) {
        if (!reportFolder(i + 1, *list[i]))
            return finish(false);
        FolderRecord& rec = *list[i];
        FolderRecord* parent = rec.pParent;
        if (parent)
            parent->bHasSubFolders = true;
        if (!parent)
            rec.dPercentOfParent = 100.0;
        else if (parent->nSpaceWithSubs == 0)
            rec.dPercentOfParent = -1.0;
        else
            rec.dPercentOfParent = static_cast<double>(rec.nSpaceWithSubs) /
                                   static_cast<double>(parent->nSpaceWithSubs) * 100.0;
        rec.dPercentOfDisc = total == 0 ? 0.0
                                        : static_cast<double>(rec.nSpaceWithSubs) /
                                              static_cast<double>(total) * 100.0;
    }
    if (rootRec) {
        rootRec->bVisible = true;
        rootRec->bExpanded = false;
        rootRec->dPercentOfParent = -1.0;
        rootRec->dPercentOfDisc = -1.0;
    }

    // Step 5: path order.
    beginStep(5);
    try {
        SortFolders();
    } catch (const std::bad_alloc&) {
        env.messages.ShowMessage(kCaptionCreateReport, kMsgCannotSort, MessageIcon::Error);
    }
    return finish(true);
}

} // namespace tvl
