// The treemap layout, renderer and PNG encoder: tiles partition their parents in
// proportion to the sizes, squarified tiles stay nearly square on a real tree, the
// same report gives the same picture, and hostile reports draw without a crash.
#include "PngWriter.h"
#include "TreemapLayout.h"
#include "TreemapRender.h"
#include "TreemapTypes.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include "ReportBuilder.h"

#include <filesystem>
#include <zlib.h>

namespace tvl::test {
namespace {

// A report built by hand: folders appended in list order, sums made up from the
// folders' own bytes unless the test damages them afterwards.
struct HandReport {
    DriveReport r;
    tvl::ReportBuilder builder{r, tvl::ReportBuilder::Origin::File};
    HandReport(bool bNames = false)
    {
        r.cDrive = 'C';
        r.bStoreFileNames = bNames;
        builder.EnterFolder("C:\\", 0);
    }
    // Folders come in list order; the levels make the parents, as in a report file.
    FolderRecord& Enter(const std::string& path, int level) { return builder.EnterFolder(path, level); }
    FolderRecord& Root() { return *r.GetFolder(0); }
    FolderRecord& Add(FolderRecord& parent, const std::string& name, std::int64_t own)
    {
        FolderRecord& f = Enter(parent.strPath + name + "\\", parent.nLevel + 1);
        f.nSpaceWithoutSubs = own;
        return f;
    }
    void AddFile(FolderRecord& f, const std::string& name, std::int64_t size)
    {
        f.files.push_back({name, size});
        f.nSpaceWithoutSubs += size;
    }
    // nSpaceWithSubs from the own bytes, children last to first.
    void Sum()
    {
        const auto& list = r.Folders();
        for (FolderRecord* f : list)
            f->nSpaceWithSubs = f->nSpaceWithoutSubs;
        for (auto it = list.rbegin(); it != list.rend(); ++it)
            if ((*it)->pParent)
                (*it)->pParent->nSpaceWithSubs += (*it)->nSpaceWithSubs;
    }
};

TreemapLayout Layout(const DriveReport& r, int w = 1600, int h = 1000, bool bSquarify = true, int nRoot = 0)
{
    TreemapTree tree(r);
    TreemapOptions o;
    o.nWidth = w, o.nHeight = h, o.bSquarify = bSquarify;
    TreemapLayout L = LayoutTreemap(tree, nRoot, o);
    NameTreemapLegend(L, r);
    return L;
}

// Children lie inside their parent, share it in proportion to their sizes (within one
// square pixel), do not overlap, and the leaves cover every pixel exactly once.
void ExpectSoundLayout(const TreemapLayout& L)
{
    ASSERT_FALSE(L.Empty());
    const TreemapTile& root = L.tiles[0];
    EXPECT_EQ(root.x0, 0.f);
    EXPECT_EQ(root.y0, 0.f);
    EXPECT_EQ(root.x1, float(L.nWidth));
    EXPECT_EQ(root.y1, float(L.nHeight));
    for (std::size_t i = 0; i < L.tiles.size(); ++i) {
        const TreemapTile& p = L.tiles[i];
        if (p.nChildren == 0)
            continue;
        double total = 0, area = 0;
        for (int c = p.nFirstChild; c < p.nFirstChild + p.nChildren; ++c) {
            const TreemapTile& t = L.tiles[static_cast<std::size_t>(c)];
            ASSERT_EQ(t.nParent, static_cast<int>(i));
            ASSERT_GE(t.x0, p.x0);
            ASSERT_GE(t.y0, p.y0);
            ASSERT_LE(t.x1, p.x1);
            ASSERT_LE(t.y1, p.y1);
            ASSERT_LE(t.x0, t.x1);
            ASSERT_LE(t.y0, t.y1);
            ASSERT_GT(t.nSize, 0);
            total += double(t.nSize);
            area += t.Area();
        }
        EXPECT_NEAR(area, p.Area(), 1e-3 * p.Area() + 1.0) << "tile " << i;
        for (int c = p.nFirstChild; c < p.nFirstChild + p.nChildren; ++c) {
            const TreemapTile& t = L.tiles[static_cast<std::size_t>(c)];
            EXPECT_NEAR(t.Area(), p.Area() * double(t.nSize) / total, 1.0) << "tile " << c;
        }
        if (p.nChildren <= 400)
            for (int a = p.nFirstChild; a < p.nFirstChild + p.nChildren; ++a)
                for (int b = a + 1; b < p.nFirstChild + p.nChildren; ++b) {
                    const TreemapTile& u = L.tiles[static_cast<std::size_t>(a)];
                    const TreemapTile& v = L.tiles[static_cast<std::size_t>(b)];
                    const double ox = std::min(u.x1, v.x1) - std::max(u.x0, v.x0);
                    const double oy = std::min(u.y1, v.y1) - std::max(u.y0, v.y0);
                    ASSERT_FALSE(ox > 1e-3 && oy > 1e-3) << "tiles " << a << " and " << b << " overlap";
                }
    }
    std::vector<std::uint8_t> cover(std::size_t(L.nWidth) * std::size_t(L.nHeight), 0);
    auto edge = [](float v, int limit) { return std::clamp(static_cast<int>(std::lround(v)), 0, limit); };
    for (const TreemapTile& t : L.tiles) {
        if (t.nChildren)
            continue;
        for (int y = edge(t.y0, L.nHeight); y < edge(t.y1, L.nHeight); ++y)
            for (int x = edge(t.x0, L.nWidth); x < edge(t.x1, L.nWidth); ++x)
                ++cover[std::size_t(y) * std::size_t(L.nWidth) + std::size_t(x)];
    }
    const auto bad = std::find_if(cover.begin(), cover.end(), [](std::uint8_t n) { return n != 1; });
    EXPECT_EQ(bad, cover.end()) << "pixel " << (bad - cover.begin()) << " is covered " << int(bad == cover.end() ? 1 : *bad)
                                << " times";
}

double AverageAspect(const TreemapLayout& L)
{
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 1; i < L.tiles.size(); ++i) {
        const TreemapTile& t = L.tiles[i];
        if (t.Width() <= 0 || t.Height() <= 0)
            continue;
        sum += std::max(t.Width() / t.Height(), t.Height() / t.Width());
        ++n;
    }
    return n ? sum / double(n) : 0;
}

TEST(TreemapLayout, FoldersAndTheirOwnFilesShareTheParentLargestFirst)
{
    HandReport b;
    FolderRecord& a = b.Add(b.Root(), "a", 600);
    b.Add(a, "deep", 200);
    b.Add(b.Root(), "b", 300);
    b.Add(b.Root(), "empty", 0);
    b.Root().nSpaceWithoutSubs = 100;
    b.Sum();
    const TreemapLayout L = Layout(b.r, 400, 300);
    ExpectSoundLayout(L);
    const TreemapTile& root = L.tiles[0];
    ASSERT_EQ(root.nChildren, 3); // a, b, own files; the empty folder gets no tile
    const TreemapTile& first = L.tiles[static_cast<std::size_t>(root.nFirstChild)];
    EXPECT_EQ(first.kind, TileKind::Folder);
    EXPECT_EQ(first.nFolder, 1);
    EXPECT_EQ(first.nSize, 800);
    EXPECT_EQ(L.tiles[static_cast<std::size_t>(root.nFirstChild + 1)].nFolder, 3);
    EXPECT_EQ(L.tiles[static_cast<std::size_t>(root.nFirstChild + 2)].kind, TileKind::OwnFiles);
    EXPECT_EQ(L.TileOfFolder(4), -1);
    EXPECT_NE(L.TileOfFolder(2), -1);
    // Without file names the colours stand for the top-level pieces.
    EXPECT_FALSE(L.bByExtension);
    ASSERT_EQ(L.legend.size(), 3u);
    EXPECT_EQ(L.legend[0].strLabel, "a");
    EXPECT_EQ(L.tiles[static_cast<std::size_t>(L.TileOfFolder(2))].nColour, L.legend[0].nColour);
}

TEST(TreemapLayout, FileNamesDivideTheOwnTileAndColourByExtension)
{
    HandReport b(true);
    FolderRecord& sub = b.Add(b.Root(), "sub", 0);
    b.AddFile(sub, "movie.MP4", 5000);
    b.AddFile(sub, "libz.so.1.2", 3000);
    b.AddFile(sub, "zero.txt", 0);
    b.AddFile(b.Root(), "notes.txt", 1000);
    b.AddFile(b.Root(), "more.txt", 1000);
    b.Sum();
    const TreemapLayout L = Layout(b.r, 300, 200);
    ExpectSoundLayout(L);
    EXPECT_TRUE(L.bByExtension);
    int files = 0;
    for (const TreemapTile& t : L.tiles)
        files += t.kind == TileKind::File;
    EXPECT_EQ(files, 4); // the empty file gets no tile
    ASSERT_GE(L.legend.size(), 3u);
    EXPECT_EQ(L.legend[0].strLabel, ".mp4");
    EXPECT_EQ(L.legend[1].strLabel, ".so");
    EXPECT_EQ(L.legend[2].strLabel, ".txt");
    EXPECT_EQ(L.legend[2].nBytes, 2000);
}

TEST(TreemapLayout, AnExtensionKeepsItsColourAtEveryZoomLevel)
{
    // .mkv leads on the drive, .jpg inside sub: the ranks differ, the colours do not.
    HandReport b(true);
    FolderRecord& sub = b.Add(b.Root(), "sub", 0);
    b.AddFile(sub, "a.jpg", 4000);
    b.AddFile(sub, "b.mkv", 1000);
    b.AddFile(sub, "c.txt", 500);
    b.AddFile(b.Root(), "film.mkv", 90000);
    b.AddFile(b.Root(), "notes.txt", 20000);
    b.Sum();
    auto colours = [](const TreemapLayout& L) {
        std::map<std::string, int> c;
        for (const TreemapLegendEntry& e : L.legend)
            c[e.strLabel] = e.nColour;
        return c;
    };
    const TreemapLayout drive = Layout(b.r, 400, 300);
    const TreemapLayout zoomed = Layout(b.r, 400, 300, true, 1);
    ASSERT_EQ(drive.legend[0].strLabel, ".mkv");
    ASSERT_EQ(zoomed.legend[0].strLabel, ".jpg");
    const auto d = colours(drive), z = colours(zoomed);
    for (const char* ext : {".mkv", ".jpg", ".txt"}) {
        SCOPED_TRACE(ext);
        ASSERT_TRUE(d.count(ext) && z.count(ext));
        EXPECT_EQ(d.at(ext), z.at(ext));
        EXPECT_LT(d.at(ext), int(kColourCount)); // a colour of the palette, not a grey
    }
}

TEST(TreemapTypes, AChosenTypeLightsExactlyItsFileTilesAndDimsTheRest)
{
    HandReport b(true);
    FolderRecord& sub = b.Add(b.Root(), "sub", 0);
    b.AddFile(sub, "movie.MP4", 5000);
    b.AddFile(sub, "clip.mp4", 2500);
    b.AddFile(sub, "python3.11", 1500); // a version, not the type ".11"
    b.AddFile(sub, "libz.so.1.2", 3000);
    FolderRecord& deep = b.Add(sub, "deep", 0);
    b.AddFile(deep, "old.Mp4", 700);
    b.AddFile(b.Root(), "notes.txt", 1000);
    b.Sum();
    const TreemapTree tree(b.r);
    const TreemapLayout L = LayoutTreemap(tree, 0, TreemapOptions{400, 300});
    for (const char* ext : {".mp4", "", ".so", ".11", ".none"}) {
        const std::vector<std::uint8_t> lit = TilesOfType(L, tree, ext);
        ASSERT_EQ(lit.size(), L.tiles.size());
        int n = 0;
        for (std::size_t i = 0; i < L.tiles.size(); ++i) {
            const TreemapTile& t = L.tiles[i];
            const bool bOfType = t.kind == TileKind::File &&
                                 FileExtension(b.r.GetFolder(t.nFolder)->files[std::size_t(t.nFile)].strName) == ext;
            EXPECT_EQ(lit[i] != 0, bOfType) << ext << " tile " << i;
            n += lit[i];
        }
        const int expected = std::string(ext) == ".mp4" ? 3 : (std::string(ext) == "" || std::string(ext) == ".so");
        EXPECT_EQ(n, expected) << ext;
    }
    // The swatch of a type is its colour in the picture.
    const std::vector<std::uint8_t> mp4 = TilesOfType(L, tree, ".mp4");
    for (std::size_t i = 0; i < L.tiles.size(); ++i) {
        if (mp4[i]) {
            EXPECT_EQ(L.tiles[i].nColour, TypeColour(L, ".mp4"));
        }
    }
    EXPECT_EQ(TypeColour(L, ".none"), kColourOther);

    // Dimming leaves the chosen tiles' pixels as they were and darkens all others.
    RgbImage before, after;
    TreemapPixelMap map;
    ASSERT_TRUE(RenderTreemap(L, before, nullptr, &map));
    after = before;
    DimOtherTiles(after.pixels.data(), std::size_t(after.nWidth) * 3, map, mp4);
    int kept = 0, dimmed = 0;
    for (int y = 0; y < map.nHeight; ++y)
        for (int x = 0; x < map.nWidth; ++x) {
            const std::size_t at = (std::size_t(y) * std::size_t(map.nWidth) + std::size_t(x)) * 3;
            const int t = map.TileAt(x, y);
            const bool same = std::memcmp(&before.pixels[at], &after.pixels[at], 3) == 0;
            if (t >= 0 && mp4[std::size_t(t)])
                kept += same;
            else
                dimmed += !same || before.pixels[at] < 32;
        }
    EXPECT_GT(kept, 0);
    EXPECT_EQ(kept + dimmed, map.nWidth * map.nHeight);
}

TEST(TreemapLayout, RealTreeIsNearlySquareAndFarBetterThanSlices)
{
    // The project's own sources: a real tree of real files (without the build folder,
    // whose few large programs would leave everything else as slivers).
    TempDir dir;
    for (const auto& e : std::filesystem::directory_iterator(TOVALINE_SOURCE_DIR)) {
        const std::string name = e.path().filename().string();
        if (e.is_directory() && name[0] != '.' && name.rfind("build", 0) != 0)
            std::filesystem::copy(e.path(), dir.Abs(name), std::filesystem::copy_options::recursive);
    }
    ScanFixture fx(RealFileSystem(), dir.path());
    auto report = fx.Scan(true);
    ASSERT_GT(report->nFolders, 10);
    const TreemapLayout squarified = Layout(*report);
    const TreemapLayout sliced = Layout(*report, 1600, 1000, false);
    ExpectSoundLayout(squarified);
    ExpectSoundLayout(sliced);
    const double sq = AverageAspect(squarified), sd = AverageAspect(sliced);
    RecordProperty("squarified", std::to_string(sq));
    RecordProperty("slice_and_dice", std::to_string(sd));
    std::printf("average aspect ratio over %zu/%zu tiles: squarified %.2f, slice-and-dice %.2f\n",
                squarified.tiles.size(), sliced.tiles.size(), sq, sd);
    EXPECT_LT(sq, 3.0);
    EXPECT_GT(sd, 3 * sq);
}

TEST(TreemapLayout, SameReportGivesTheSameLayout)
{
    HandReport b(true);
    for (int i = 0; i < 50; ++i) {
        FolderRecord& f = b.Add(b.Root(), "d" + std::to_string(i), 0);
        for (int k = 0; k < 20; ++k)
            b.AddFile(f, "f" + std::to_string(k) + (k % 3 ? ".a" : ".b"), 1000 * (k % 4 + 1)); // many ties
    }
    b.Sum();
    const TreemapLayout one = Layout(b.r), two = Layout(b.r);
    ASSERT_EQ(one.tiles.size(), two.tiles.size());
    auto fields = [](const TreemapTile& t) {
        return std::make_tuple(t.x0, t.y0, t.x1, t.y1, t.nSize, t.nParent, t.nFirstChild, t.nChildren, t.nFolder,
                               t.nFile, t.nDepth, t.kind, t.nColour);
    };
    for (std::size_t i = 0; i < one.tiles.size(); ++i)
        ASSERT_EQ(fields(one.tiles[i]), fields(two.tiles[i])) << i;
    ASSERT_EQ(one.legend.size(), two.legend.size());
    for (std::size_t i = 0; i < one.legend.size(); ++i)
        EXPECT_EQ(one.legend[i].strLabel, two.legend[i].strLabel);
    // Ties keep list order.
    const TreemapTile& root = one.tiles[0];
    for (int c = root.nFirstChild + 1; c < root.nFirstChild + root.nChildren; ++c)
        EXPECT_LT(one.tiles[static_cast<std::size_t>(c - 1)].nFolder, one.tiles[static_cast<std::size_t>(c)].nFolder);
    RgbImage p1, p2;
    ASSERT_TRUE(RenderTreemap(one, p1));
    ASSERT_TRUE(RenderTreemap(two, p2));
    EXPECT_EQ(p1.pixels, p2.pixels);
}

TEST(TreemapLayout, EmptyReportsAndBadRequestsGiveNoTiles)
{
    HandReport b;
    b.Add(b.Root(), "empty", 0);
    b.Sum();
    EXPECT_TRUE(Layout(b.r).Empty());
    b.Root().nSpaceWithoutSubs = 10;
    b.Sum();
    EXPECT_TRUE(Layout(b.r, 0, 100).Empty());
    EXPECT_TRUE(Layout(b.r, 100, 100, true, 7).Empty());
    EXPECT_TRUE(Layout(b.r, 100, 100, true, -1).Empty());
    const TreemapLayout L = Layout(b.r, 100, 100);
    ASSERT_EQ(L.tiles.size(), 1u); // only own files, no names: the root is one leaf
    EXPECT_EQ(L.HitTest(50, 50), 0);
    EXPECT_EQ(L.HitTest(100, 50), -1);
    RgbImage image;
    EXPECT_TRUE(RenderTreemap(Layout(b.r, 10, 0), image));
    EXPECT_TRUE(image.pixels.empty());
}

TEST(TreemapLayout, SingleHugeFileAndHundredThousandEqualFiles)
{
    HandReport huge(true);
    huge.AddFile(huge.Add(huge.Root(), "big", 0), "disk.img", std::int64_t(1) << 62);
    huge.AddFile(huge.Root(), "tiny", 1);
    huge.Sum();
    const TreemapLayout h = Layout(huge.r);
    ExpectSoundLayout(h);
    // The tiny file gets far less than a pixel: it is drawn in the rest tile.
    EXPECT_EQ(h.tiles.back().kind, TileKind::File);
    EXPECT_EQ(h.tiles.back().nSize, std::int64_t(1) << 62);

    HandReport many(true);
    FolderRecord& f = many.Add(many.Root(), "many", 0);
    for (int i = 0; i < 100000; ++i)
        many.AddFile(f, "f" + std::to_string(i), 4096);
    many.Sum();
    const TreemapLayout m = Layout(many.r);
    ExpectSoundLayout(m);
    EXPECT_EQ(m.tiles.size(), 2u + 100000u);
    EXPECT_LT(AverageAspect(m), 1.5);
}

TEST(TreemapLayout, DamagedSumsAndLevelsDrawInsideTheirParents)
{
    HandReport b(true);
    FolderRecord& a = b.Add(b.Root(), "a", 10);
    FolderRecord& child = b.Add(a, "child", 0);
    b.AddFile(child, "x.bin", 5000);
    b.Add(b.Root(), "negative", -500);
    b.Sum();
    child.nSpaceWithSubs = 1'000'000; // larger than its parent
    a.nSpaceWithSubs = 20;
    b.Root().nSpaceWithSubs = std::numeric_limits<std::int64_t>::max();
    b.Root().nSpaceWithoutSubs = std::numeric_limits<std::int64_t>::max();
    b.Add(b.Root(), "huge", std::numeric_limits<std::int64_t>::max()).nSpaceWithSubs =
        std::numeric_limits<std::int64_t>::max();
    // Files whose sizes overflow any sum: the legend's sums stop at the top.
    b.Root().files.push_back({"a.bin", std::numeric_limits<std::int64_t>::max()});
    b.Root().files.push_back({"b.bin", std::numeric_limits<std::int64_t>::max()});
    // Levels a file might hold: a jump down and back, a negative one.
    b.Enter("C:\\jump\\", 5).nSpaceWithSubs = 77;
    b.Enter("C:\\neg\\", -3).nSpaceWithSubs = 66;
    const TreemapLayout L = Layout(b.r);
    ExpectSoundLayout(L);
    RgbImage image;
    EXPECT_TRUE(RenderTreemap(L, image));
    // The parents the levels give: "jump" under the folder before it, "neg" (a level
    // below the root's) under nobody.
    TreemapTree tree(b.r);
    EXPECT_EQ(tree.Parent(0), -1);
    EXPECT_EQ(tree.Parent(2), 1);
    EXPECT_EQ(tree.Parent(5), 4);
    EXPECT_EQ(tree.Parent(6), -1);
    EXPECT_EQ(tree.SubtreeEnd(0), 6);
}

TEST(TreemapLayout, DeepChainIsLaidOutWithoutRecursion)
{
    HandReport b;
    FolderRecord* f = &b.Root();
    for (int i = 0; i < 200000; ++i) // the paths do not matter here; keep them short
        f = &b.Enter("C:\\d\\", f->nLevel + 1);
    f->nSpaceWithoutSubs = 1000;
    b.Sum();
    const TreemapLayout L = Layout(b.r, 200, 100);
    ASSERT_EQ(L.tiles.size(), 200001u);
    EXPECT_EQ(L.tiles.back().nDepth, 200000);
    EXPECT_EQ(L.HitTest(10, 10), 200000);
    RgbImage image;
    EXPECT_TRUE(RenderTreemap(L, image));
}

TEST(TreemapLayout, HitTestFindsTheFolderUnderThePoint)
{
    HandReport b;
    FolderRecord& a = b.Add(b.Root(), "a", 500);
    b.Add(a, "inner", 500);
    b.Add(b.Root(), "b", 250);
    b.Sum();
    const TreemapLayout L = Layout(b.r, 200, 100);
    for (int folder : {1, 2, 3}) {
        const int tile = L.TileOfFolder(folder);
        ASSERT_GE(tile, 0);
        const TreemapTile& t = L.tiles[static_cast<std::size_t>(tile)];
        const int hit = L.HitTest((t.x0 + t.x1) / 2, (t.y0 + t.y1) / 2);
        ASSERT_GE(hit, 0);
        // The point lies in the folder's tile or in one of its own pieces.
        int up = hit;
        while (up >= 0 && up != tile)
            up = L.tiles[static_cast<std::size_t>(up)].nParent;
        EXPECT_EQ(up, tile) << folder;
    }
    EXPECT_EQ(L.FolderTileOf(L.TileOfFolder(2)), L.TileOfFolder(2));
    // The picture's pixel map names the same tiles as the walk down the layout.
    RgbImage image;
    TreemapPixelMap map;
    ASSERT_TRUE(RenderTreemap(L, image, nullptr, &map));
    for (int y = 0; y < 100; y += 3)
        for (int x = 0; x < 200; x += 7)
            ASSERT_EQ(map.TileAt(x, y), L.HitTest(x + 0.5, y + 0.5)) << x << "," << y;
    EXPECT_EQ(map.TileAt(200, 0), -1);
    EXPECT_EQ(map.TileAt(-1, 0), -1);
}

// The tree is a copy: layouts can be made from it after the report is gone (on the
// desktop's worker thread, while the report may be replaced).
TEST(TreemapLayout, TreeOutlivesTheReport)
{
    auto b = std::make_unique<HandReport>(true);
    FolderRecord& sub = b->Add(b->Root(), "sub", 0);
    b->AddFile(sub, "a.jpg", 7000);
    b->AddFile(b->Root(), "b.txt", 3000);
    b->Sum();
    const TreemapLayout before = Layout(b->r, 300, 200);
    const TreemapTree tree(b->r);
    b.reset();
    TreemapOptions o;
    o.nWidth = 300, o.nHeight = 200;
    const TreemapLayout after = LayoutTreemap(tree, 0, o);
    ASSERT_EQ(after.tiles.size(), before.tiles.size());
    for (std::size_t i = 0; i < after.tiles.size(); ++i)
        EXPECT_EQ(after.tiles[i].nSize, before.tiles[i].nSize);
    ASSERT_EQ(after.legend.size(), 2u);
    EXPECT_EQ(after.legend[0].strLabel, ".jpg");
}

TEST(TreemapLayout, CancelGivesAnEmptyLayout)
{
    HandReport b;
    for (int i = 0; i < 5000; ++i)
        b.Add(b.Root(), "d" + std::to_string(i), 100);
    b.Sum();
    std::atomic<bool> cancel{true};
    TreemapTree tree(b.r);
    TreemapOptions o;
    o.pCancel = &cancel;
    EXPECT_TRUE(LayoutTreemap(tree, 0, o).Empty());
}

// Reads back what EncodePng wrote: chunk CRCs, the header, and the pixels.
TEST(TreemapPng, EncodesPixelsThatDecodeBack)
{
    RgbImage image;
    image.Resize(5, 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::string png;
    ASSERT_TRUE(EncodePng(image, png));
    ASSERT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    auto u32 = [&](std::size_t at) {
        return std::uint32_t(std::uint8_t(png[at])) << 24 | std::uint32_t(std::uint8_t(png[at + 1])) << 16 |
               std::uint32_t(std::uint8_t(png[at + 2])) << 8 | std::uint32_t(std::uint8_t(png[at + 3]));
    };
    std::string idat;
    std::vector<std::string> types;
    for (std::size_t at = 8; at < png.size();) {
        const std::uint32_t len = u32(at);
        const std::string type = png.substr(at + 4, 4);
        types.push_back(type);
        const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(png.data() + at + 4), len + 4);
        EXPECT_EQ(u32(at + 8 + len), crc) << type;
        if (type == "IHDR") {
            EXPECT_EQ(u32(at + 8), 5u);
            EXPECT_EQ(u32(at + 12), 3u);
        }
        if (type == "IDAT")
            idat += png.substr(at + 8, len);
        at += 12 + len;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    std::string raw(3 * (1 + 5 * 3), '\0');
    uLongf rawLen = raw.size();
    ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLen, reinterpret_cast<const Bytef*>(idat.data()),
                         idat.size()),
              Z_OK);
    ASSERT_EQ(rawLen, raw.size());
    for (int y = 0; y < 3; ++y) {
        ASSERT_EQ(raw[std::size_t(y) * 16], 2); // "Up"
        for (int i = 0; i < 15; ++i) {
            std::uint8_t v = std::uint8_t(raw[std::size_t(y) * 16 + 1 + std::size_t(i)]);
            if (y > 0)
                v = std::uint8_t(v + image.Row(y - 1)[i]);
            EXPECT_EQ(v, image.Row(y)[i]) << y << "," << i;
        }
    }
    RgbImage none;
    std::string nothing;
    EXPECT_FALSE(EncodePng(none, nothing));
}

} // namespace
} // namespace tvl::test
