// Times the file-type statistics of a report with stored file names, as the desktop
// pane and `tovaline-cli types` make them: the copy of the drive (FileTypeIndex, once
// per report, on the thread that owns it), the statistics of the root and of a
// folder one level down (ComputeFileTypes, on the worker), and the largest files of
// the type with the most bytes (LargestFilesOfType).
//
//   tvl-bench-types FILE.tvl [RUNS]
//
// Prints the medians of RUNS runs (default 7) in milliseconds, wall and thread CPU.
#include "FileTypes.h"
#include "ReportDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Timing {
    std::vector<double> wall, cpu;
    void Measure(const std::function<void()>& fn)
    {
        const double c0 = ThreadCpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        fn();
        wall.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        cpu.push_back(ThreadCpuMs() - c0);
    }
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tvl-bench-types FILE.tvl [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    tvl::DriveMap drives;
    tvl::NullStepProgress steps;
    tvl::RecordingMessageSink messages;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env{tvl::RealFileSystem(), drives, steps, messages, pump};
    tvl::ReportDocument doc(env);
    if (!doc.OnOpenDocument(argv[1]) || doc.m_pDriveReports.empty() || !doc.m_pDriveReports[0] ||
        !doc.m_pDriveReports[0]->bStoreFileNames) {
        std::fprintf(stderr, "tvl-bench-types: %s cannot be read or holds no file names\n", argv[1]);
        return 1;
    }
    const tvl::DriveReport& drive = *doc.m_pDriveReports[0];
    std::size_t files = 0;
    for (const tvl::FolderRecord* f : drive.Folders())
        files += f->files.size();
    // The largest folder one level below the root.
    int sub = -1;
    for (int i = 1; i < drive.nFolders; ++i)
        if (drive.GetFolder(i)->nLevel == 1 &&
            (sub < 0 || drive.GetFolder(i)->nSpaceWithSubs > drive.GetFolder(sub)->nSpaceWithSubs))
            sub = i;

    Timing index, root, below, largest;
    tvl::FileTypeStats stats;
    std::size_t subFiles = 0, nLargest = 0;
    for (int r = 0; r < runs; ++r) {
        std::unique_ptr<tvl::FileTypeIndex> idx;
        index.Measure([&] { idx = std::make_unique<tvl::FileTypeIndex>(drive); });
        root.Measure([&] { stats = tvl::ComputeFileTypes(*idx, 0); });
        if (sub >= 0)
            below.Measure([&] { subFiles = std::size_t(tvl::ComputeFileTypes(*idx, sub).nFiles); });
        const std::uint32_t top = stats.types.empty() ? 0 : stats.types[0].nType;
        largest.Measure([&] { nLargest = tvl::LargestFilesOfType(*idx, 0, top, 100).size(); });
    }
    std::printf("report: %d folders, %zu stored files, %zu types; root %lld files, %lld bytes, %lld not matched\n",
                drive.nFolders, files, stats.types.size(), static_cast<long long>(stats.nFiles),
                static_cast<long long>(stats.nTotalBytes), static_cast<long long>(stats.nUnmatchedBytes));
    std::printf("medians of %d runs          wall ms   cpu ms\n", runs);
    std::printf("  index (copy of the drive)  %8.1f %8.1f\n", Median(index.wall), Median(index.cpu));
    std::printf("  statistics of the root     %8.1f %8.1f\n", Median(root.wall), Median(root.cpu));
    if (sub >= 0)
        std::printf("  statistics of %-12.12s %8.1f %8.1f  (%zu files)\n", drive.GetFolder(sub)->strPath.c_str(),
                    Median(below.wall), Median(below.cpu), subFiles);
    std::printf("  largest %zu of the top type %8.1f %8.1f\n", nLargest, Median(largest.wall), Median(largest.cpu));
    return 0;
}
