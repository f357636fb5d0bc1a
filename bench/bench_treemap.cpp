// Benchmark of the treemap on a report of about a million folders, built in memory:
// drive C with 100,000 first-level folders of 9 sub-folders each, sizes spread over
// six orders of magnitude (a fixed pseudo-random sequence, so every run is alike).
// Times, as medians of RUNS runs, in wall-clock time and in the thread's own CPU time
// (which leaves out the time other programs had the processor: the machine may be
// shared):
//   index    the report's folder index (once per report)
//   layout   the squarified layout at WIDTHxHEIGHT
//   render   the cushion picture of that layout, with its pixel map
//   zoomin   layout of the largest first-level folder (what the desktop does on its
//            user-interface thread) and, zoomdraw, its picture (drawn on a worker)
//   hover    one hover: the tile under the point from the picture's pixel map and
//            the folder tile above it; median and slowest of 10,000 points spread
//            over the picture (hittest: the same by walking down the layout instead)
//   select   finding the tile of a folder (the outline of the selected folder)
// and the average aspect ratio of the squarified and the slice-and-dice layout.
//
//   tvl-bench-treemap [RUNS] [WIDTHxHEIGHT]
//   tvl-bench-treemap --write FILE.tvl     writes the report, to look at it in the desktop
//   tvl-bench-treemap --aspect FILE.tvl    average aspect ratios of the first drive of a
//                                          report (all tiles, and tiles of at least two
//                                          pixels a side), squarified and slice-and-dice
#include "Report.h"
#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "ReportDocument.h"
#include "ReportReading.h"
#include "ReportFile.h"
#include "ReportBuilder.h"
#include "TreemapLayout.h"
#include "TreemapRender.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kChildren = 100000;
constexpr int kGrandChildren = 9;

void BuildReport(tvl::DriveReport& drive)
{
    drive.cDrive = 'C';
    tvl::ReportBuilder builder(drive, tvl::ReportBuilder::Origin::File);
    tvl::FolderRecord& root = builder.EnterFolder("C:\\", 0);
    std::uint64_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return seed >> 33;
    };
    char name[32];
    for (int i = 0; i < kChildren; ++i) {
        std::snprintf(name, sizeof name, "C:\\d%06d\\", i);
        tvl::FolderRecord& c = builder.EnterFolder(name, 1);
        for (int j = 0; j < kGrandChildren; ++j) {
            tvl::FolderRecord& g = builder.EnterFolder(c.strPath + "e" + std::to_string(j) + "\\", 2);
            // 1 KB to 1 GB, most of them small.
            const int magnitude = static_cast<int>(next() % 1000) < 900 ? 3 + static_cast<int>(next() % 3)
                                                                        : 6 + static_cast<int>(next() % 4);
            std::int64_t size = 1;
            for (int k = 0; k < magnitude; ++k)
                size *= 10;
            g.nSpaceWithoutSubs = g.nSpaceWithSubs = size + static_cast<std::int64_t>(next() % 1000);
            c.nSpaceWithSubs += g.nSpaceWithSubs;
        }
        root.nSpaceWithSubs += c.nSpaceWithSubs;
    }
    builder.Finish();
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double g_lastCpu = 0; // CPU time of the last Ms() call

double Ms(const std::function<void()>& fn)
{
    const double c0 = ThreadCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    fn();
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    g_lastCpu = ThreadCpuMs() - c0;
    return wall;
}

struct Timing {
    std::vector<double> wall, cpu;
    void Add(double w)
    {
        wall.push_back(w);
        cpu.push_back(g_lastCpu);
    }
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Over the tiles whose shorter side is at least minSide pixels (and not empty).
double AverageAspect(const tvl::TreemapLayout& L, double minSide = 0)
{
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 1; i < L.tiles.size(); ++i) {
        const double w = L.tiles[i].Width(), h = L.tiles[i].Height();
        if (w > 0 && h > 0 && std::min(w, h) >= minSide)
            sum += std::max(w / h, h / w), ++n;
    }
    return n ? sum / double(n) : 0;
}

int Aspect(const char* path)
{
    tvl::ReportReadingEnvironment files;
    tvl::ReportDocument doc(files.Env());
    if (!doc.OnOpenDocument(path) || doc.m_pDriveReports.empty() || !doc.m_pDriveReports[0]) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    const tvl::TreemapTree tree(*doc.m_pDriveReports[0]);
    tvl::TreemapOptions options;
    for (bool squarify : {true, false}) {
        options.bSquarify = squarify;
        const tvl::TreemapLayout L = tvl::LayoutTreemap(tree, 0, options);
        std::printf("%-15s %zu tiles: average aspect ratio %.2f, of tiles at least 2 px a side %.2f\n",
                    squarify ? "squarified" : "slice-and-dice", L.tiles.size(), AverageAspect(L),
                    AverageAspect(L, 2.0));
    }
    return 0;
}

} // namespace

// Writes the report as a .tvl file.
int Write(const char* path)
{
    std::vector<std::unique_ptr<tvl::DriveReport>> drives;
    drives.push_back(std::make_unique<tvl::DriveReport>());
    BuildReport(*drives.back());
    int nDrives = 1;
    bool bRanking = false;
    std::vector<tvl::RankEntry> none;
    std::string bytes;
    tvl::ReportWriter out(bytes);
    tvl::WriteReport(out, tvl::ReportContent{drives, nDrives, bRanking, none});
    std::FILE* f = std::fopen(path, "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f)
        std::fclose(f);
    if (!ok)
        std::fprintf(stderr, "cannot write %s\n", path);
    return ok ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--write")
        return Write(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--aspect")
        return Aspect(argv[2]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    int width = 1600, height = 1000;
    if (argc > 2 && std::sscanf(argv[2], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: tvl-bench-treemap [RUNS] [WIDTHxHEIGHT]\n");
        return 2;
    }
    tvl::DriveReport drive;
    const double build = Ms([&] { BuildReport(drive); });
    std::printf("report: %d folders, built in %.0f ms; picture %dx%d; medians of %d runs\n", drive.nFolders, build,
                width, height, runs);

    tvl::TreemapOptions options;
    options.nWidth = width, options.nHeight = height;
    Timing index, layout, render, zoom, zoomDraw, select;
    std::vector<double> hoverMedian, hoverWorst, hitMedian, hitWorst;
    tvl::TreemapLayout L;
    for (int r = 0; r < runs; ++r) {
        std::unique_ptr<tvl::TreemapTree> tree;
        index.Add(Ms([&] { tree = std::make_unique<tvl::TreemapTree>(drive); }));
        layout.Add(Ms([&] { L = tvl::LayoutTreemap(*tree, 0, options); }));
        tvl::RgbImage image;
        tvl::TreemapPixelMap map;
        render.Add(Ms([&] { tvl::RenderTreemap(L, image, nullptr, &map); }));
        const int first = L.tiles[static_cast<std::size_t>(L.tiles[0].nFirstChild)].nFolder;
        tvl::TreemapLayout Z;
        zoom.Add(Ms([&] { Z = tvl::LayoutTreemap(*tree, first, options); }));
        tvl::RgbImage zoomed;
        zoomDraw.Add(Ms([&] { tvl::RenderTreemap(Z, zoomed, nullptr, &map); }));
        tvl::RenderTreemap(L, image, nullptr, &map);
        std::vector<double> hover, walk;
        for (int k = 0; k < 10000; ++k) {
            const int x = static_cast<int>((k * 7919LL % 10007) * width / 10007),
                      y = static_cast<int>((k * 104729LL % 10009) * height / 10009);
            hover.push_back(Ms([&] { (void)L.FolderTileOf(map.TileAt(x, y)); }));
            walk.push_back(Ms([&] { (void)L.HitTest(x + 0.5, y + 0.5); }));
        }
        hoverMedian.push_back(Median(hover));
        hoverWorst.push_back(*std::max_element(hover.begin(), hover.end()));
        hitMedian.push_back(Median(walk));
        hitWorst.push_back(*std::max_element(walk.begin(), walk.end()));
        select.Add(Ms([&] { (void)L.TileOfFolder(drive.nFolders - 1); }));
    }
    std::printf("tiles: %zu\n%-14s %10s %10s\n", L.tiles.size(), "", "wall ms", "cpu ms");
    auto row = [](const char* name, const Timing& t) {
        std::printf("%-14s %10.2f %10.2f\n", name, Median(t.wall), Median(t.cpu));
    };
    row("index", index);
    row("layout", layout);
    row("render", render);
    std::printf("%-14s %10.2f %10.2f\n", "layout+render", Median(layout.wall) + Median(render.wall),
                Median(layout.cpu) + Median(render.cpu));
    row("zoomin", zoom);
    row("zoomdraw", zoomDraw);
    row("select", select);
    std::printf("hover          %10.4f median, %.3f slowest of 10,000 (wall ms)\n", Median(hoverMedian),
                Median(hoverWorst));
    std::printf("hittest        %10.4f median, %.3f slowest of 10,000 (wall ms)\n", Median(hitMedian),
                Median(hitWorst));
    tvl::TreemapTree tree(drive);
    options.bSquarify = false;
    const tvl::TreemapLayout sliced = tvl::LayoutTreemap(tree, 0, options);
    std::printf("average aspect ratio: squarified %.2f, slice-and-dice %.2f\n", AverageAspect(L),
                AverageAspect(sliced));
    return 0;
}
