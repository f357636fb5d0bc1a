// Times Find and the report edits on a report of a million folders with a million
// stored file names, built in memory (ten sub-folders per folder, one file each).
//
//   tvl-bench-edit [FOLDERS]
//
// Prints one line per measurement: "<what> ms=... hits=...".
#include "ReportBuilder.h"
#include "ReportEdit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// A complete tree of fan-out 10 in pre-order: folder k of a level is named "dir<k>".
void Build(tvl::DriveReport& d, int nFolders)
{
    tvl::ReportBuilder b(d, tvl::ReportBuilder::Origin::File);
    int made = 0;
    std::string path = "C:\\";
    auto enter = [&](auto&& self, const std::string& p, int level) -> void {
        if (made >= nFolders)
            return;
        tvl::FolderRecord& rec = b.EnterFolder(p, level);
        ++made;
        rec.files.push_back(tvl::FileEntry{"file" + std::to_string(made) + (made % 7 ? ".dat" : ".iso"),
                                           static_cast<std::int64_t>(made % 1000 + 1)});
        rec.nSpaceWithoutSubs = rec.files.back().nSize;
        for (int k = 0; k < 10 && made < nFolders && level < 6; ++k)
            self(self, p + "dir" + std::to_string(made) + "\\", level + 1);
    };
    enter(enter, path, 0);
    b.Finish();
    const auto& list = d.Folders();
    for (std::size_t i = list.size(); i-- > 0;) {
        list[i]->nSpaceWithSubs += list[i]->nSpaceWithoutSubs;
        if (list[i]->pParent)
            list[i]->pParent->nSpaceWithSubs += list[i]->nSpaceWithSubs;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int nFolders = argc > 1 ? std::atoi(argv[1]) : 1000000;
    tvl::DriveReport d;
    d.cDrive = 'C';
    d.bStoreFileNames = true;
    d.nRankingSize = 100;
    auto t0 = Clock::now();
    Build(d, nFolders);
    std::printf("build folders=%d ms=%.0f\n", d.nFolders, Ms(t0));

    const std::vector<const tvl::DriveReport*> drives{&d};
    for (const char* text : {"dir12345", "DIR1", "*.iso", "file?00.dat", "[a-f]*9", "*", "nothing-like-this"}) {
        std::size_t total = 0;
        t0 = Clock::now();
        const auto hits = tvl::FindNames(drives, tvl::MakeFindQuery(text, false), 1000, &total);
        std::printf("find \"%s\" ms=%.1f hits=%zu\n", text, Ms(t0), total);
    }
    tvl::ReportEditor edit(d);
    t0 = Clock::now();
    edit.RemoveFile(d.nFolders / 2, d.GetFolder(d.nFolders / 2)->files.front().strName,
                    d.GetFolder(d.nFolders / 2)->files.front().nSize);
    std::printf("remove-file ms=%.1f\n", Ms(t0));
    t0 = Clock::now();
    edit.RemoveFolder(1);
    std::printf("remove-folder ms=%.1f folders_left=%d\n", Ms(t0), d.nFolders);
    return 0;
}
