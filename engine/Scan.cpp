// The drive scan: five steps, each shown in the step progress display.
//
// Step 1 walks the drive once (Walk.cpp). Every directory's whole listing (names, types
// and sizes) is read before the walk descends, so the own space of each folder is
// known after step 1; step 2 therefore needs no second enumeration and only reports
// its progress.
#include "Scan.h"

#include "HostFacts.h"
#include "Report.h"
#include "ReportBuilder.h"
#include "Walk.h"

#include <memory>
#include <new>

namespace tvl {

namespace {

// Steps 2 to 4 go through the folders in list order, each folder shown with its
// position; `work` is done for each. They only compute over what the walk read, so a
// stop asked meanwhile lets them finish and the report stays consistent.
template <class Work>
void ForEachFolder(const DriveReport& report, ScanEnvironment& env, Work&& work)
{
    const std::vector<FolderRecord*>& list = report.Folders();
    for (int i = 0; i < report.nFolders; ++i) {
        env.pump.PumpMessages();
        env.progress.SetProgress(i + 1, report.nFolders);
        env.progress.SetStatus(list[static_cast<std::size_t>(i)]->strPath);
        work(*list[static_cast<std::size_t>(i)]);
    }
}

// The share of `part` in `whole` in percent.
double Percent(std::int64_t part, std::int64_t whole)
{
    return static_cast<double>(part) / static_cast<double>(whole) * 100.0;
}

} // namespace

void SetShares(FolderRecord& rec, std::int64_t total)
{
    const FolderRecord* parent = rec.pParent;
    if (!parent)
        rec.dPercentOfParent = 100.0;
    else if (parent->nSpaceWithSubs == 0)
        rec.dPercentOfParent = -1.0;
    else
        rec.dPercentOfParent = Percent(rec.nSpaceWithSubs, parent->nSpaceWithSubs);
    rec.dPercentOfDisc = total == 0 ? 0.0 : Percent(rec.nSpaceWithSubs, total);
}

bool DriveReport::CreateReport(char cDriveIn, bool bStoreFileNamesIn, int nRankingSizeIn, ScanEnvironment& env)
{
    IStepProgress& progress = env.progress;
    cDrive = cDriveIn;
    bStoreFileNames = bStoreFileNamesIn;
    nRankingSize = nRankingSizeIn;
    m_bCancelled = false;

    progress.SetCaption(std::string("Creating report for drive ") + cDrive + ": ...");
    progress.SetStatus("");
    progress.Show();
    ranking.clear();
    bRankingIncomplete = false;
    progress.SetStep1Text(std::string(kStepTexts[0]) + (nRankingSize > 0 ? kStep1Ranking : ""));

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

    // Step 1: the walk. The list is in walk order (pre-order) until step 5.
    progress.SetStep(1);
    progress.SetProgress(-1, 0);
    progress.Redraw();
    ReportBuilder builder(*this, ReportBuilder::Origin::Scan);
    std::string message;
    auto facts = std::make_unique<DriveFacts>();
    facts->strDirectory = AbsolutePath(env.drives.Directory(cDrive));
    facts->strFsType = FileSystemType(facts->strDirectory);
    facts->options = env.options;
    facts->nRankingSize = nRankingSize;
    pFacts = std::move(facts);
    bFolderFacts = true;
    switch (WalkDrive(builder, DriveMap::RootPath(cDrive), env, message, &pFacts->counts)) {
    case WalkResult::Complete:
        break;
    case WalkResult::Stopped:
        // The folders read so far stay; the steps below compute over them.
        m_bCancelled = true;
        if (nFolders == 0)
            return finish(false);
        break;
    case WalkResult::Failed:
        FreeFolders();
        ranking.clear();
        env.messages.ShowMessage(kCaptionCreateReport, message, MessageIcon::Error);
        return finish(false);
    }

    // Step 2: own space. The walk has already summed each folder's own files.
    beginStep(2);
    ForEachFolder(*this, env, [](FolderRecord&) {});

    // Step 3: space with subs. Each folder's sum starts with its own space; then, in
    // reverse pre-order, every folder's finished sum is added to its parent's. The
    // result equals adding each folder's own space to all of its ancestors.
    beginStep(3);
    // The other measure, the item counts and the newest change add up the same way.
    ForEachFolder(*this, env, [](FolderRecord&) {});
    SumSubtrees(*this);

    // Step 4: shares (the builder has set the display flags).
    beginStep(4);
    FolderRecord* rootRec = FirstFolder();
    const std::int64_t total = rootRec ? rootRec->nSpaceWithSubs : 0;
    ForEachFolder(*this, env, [total](FolderRecord& rec) { SetShares(rec, total); });
    if (rootRec)
        rootRec->dPercentOfParent = rootRec->dPercentOfDisc = -1.0;

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
