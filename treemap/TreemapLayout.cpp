#include "TreemapLayout.h"

#include "Report.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>

namespace tvl {

TreemapTree::TreemapTree(const DriveReport& drive) : TreemapTree(drive, PrimaryKind(drive)) {}

TreemapTree::TreemapTree(const DriveReport& drive, SizeKind kind)
    : m_cDrive(drive.cDrive), m_bNames(drive.bStoreFileNames)
{
    const bool bOther = ShownKind(drive, kind) != PrimaryKind(drive);
    const auto& folders = drive.Folders();
    const std::size_t n = folders.size();
    m_subtreeEnd.assign(n, static_cast<std::int32_t>(n));
    m_parent.assign(n, -1);
    m_withSubs.resize(n);
    m_withoutSubs.resize(n);
    // The open folders with their levels, innermost last: a record closes every open
    // folder whose level is not smaller than its own.
    std::vector<std::pair<std::int32_t, std::int32_t>> open;
    for (std::size_t i = 0; i < n; ++i) {
        const FolderRecord& f = *folders[i];
        m_withSubs[i] = bOther ? f.nOtherWithSubs : f.nSpaceWithSubs;
        m_withoutSubs[i] = bOther ? f.nOtherWithoutSubs : f.nSpaceWithoutSubs;
        while (!open.empty() && open.back().second >= f.nLevel) {
            m_subtreeEnd[static_cast<std::size_t>(open.back().first)] = static_cast<std::int32_t>(i);
            open.pop_back();
        }
        if (!open.empty())
            m_parent[i] = open.back().first;
        open.emplace_back(static_cast<std::int32_t>(i), f.nLevel);
    }
    if (!m_bNames)
        return;
    m_fileFirst.resize(n + 1);
    std::size_t files = 0;
    for (std::size_t i = 0; i < n; ++i)
        m_fileFirst[i] = files, files += folders[i]->files.size();
    m_fileFirst[n] = files;
    m_fileSize.reserve(files);
    m_fileExt.reserve(files);
    std::unordered_map<std::string, std::uint32_t> ids;
    for (const FolderRecord* f : folders)
        for (const FileEntry& e : f->files) {
            auto [it, bNew] = ids.try_emplace(FileExtension(e.strName), static_cast<std::uint32_t>(m_extensions.size()));
            if (bNew)
                m_extensions.push_back(it->first);
            m_fileSize.push_back(bOther ? e.nOtherSize : e.nSize);
            m_fileExt.push_back(it->second);
        }
}

namespace {

// Pieces smaller than this many square pixels are drawn together.
constexpr double kMinTileArea = 1.0;

struct Rect {
    double x0, y0, x1, y1;
};

struct Piece {
    double dSize;  // bytes, as a double so that sums of hostile sizes cannot overflow
    TileKind kind;
    std::int32_t nFolder;
    std::int32_t nFile;
};

std::int64_t ClampToInt64(double v)
{
    if (v >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    return v > 0 ? static_cast<std::int64_t>(v) : 0;
}

// Squarified rows: each row lies along the shorter side of what is left and takes
// pieces while the worst aspect ratio in it does not get worse. areas[] are in square
// pixels and add up to the rectangle's area.
void Squarify(Rect r, const double* areas, std::size_t n, Rect* out)
{
    std::size_t i = 0;
    while (i < n) {
        const double w = r.x1 - r.x0, h = r.y1 - r.y0;
        const bool bColumn = w >= h; // the row is a column at the left edge
        const double side = bColumn ? h : w;
        if (side <= 0) {
            for (; i < n; ++i)
                out[i] = {r.x0, r.y0, r.x0, r.y0};
            return;
        }
        const double side2 = side * side;
        double sum = 0, worst = std::numeric_limits<double>::infinity();
        double maxA = 0, minA = std::numeric_limits<double>::infinity();
        std::size_t j = i;
        while (j < n) {
            const double s = sum + areas[j];
            const double mx = std::max(maxA, areas[j]), mn = std::min(minA, areas[j]);
            const double ratio = std::max(side2 * mx / (s * s), (s * s) / (side2 * mn));
            if (j > i && ratio > worst)
                break;
            sum = s, worst = ratio, maxA = mx, minA = mn;
            ++j;
        }
        const bool bLast = j == n;
        const double thick = sum / side;
        if (bColumn) {
            const double xEnd = bLast ? r.x1 : std::min(r.x0 + thick, r.x1);
            double y = r.y0;
            for (std::size_t k = i; k < j; ++k) {
                const double yEnd = k + 1 == j ? r.y1 : std::min(y + areas[k] / thick, r.y1);
                out[k] = {r.x0, y, xEnd, yEnd};
                y = yEnd;
            }
            r.x0 = xEnd;
        } else {
            const double yEnd = bLast ? r.y1 : std::min(r.y0 + thick, r.y1);
            double x = r.x0;
            for (std::size_t k = i; k < j; ++k) {
                const double xEnd = k + 1 == j ? r.x1 : std::min(x + areas[k] / thick, r.x1);
                out[k] = {x, r.y0, xEnd, yEnd};
                x = xEnd;
            }
            r.y0 = yEnd;
        }
        i = j;
    }
}

// Slices across one direction, alternating with the depth.
void SliceAndDice(Rect r, const double* areas, std::size_t n, Rect* out, bool bAcross)
{
    const double total = (r.x1 - r.x0) * (r.y1 - r.y0);
    double pos = bAcross ? r.x0 : r.y0, done = 0;
    for (std::size_t k = 0; k < n; ++k) {
        done += areas[k];
        const double f = total > 0 ? done / total : 1.0;
        const double end = k + 1 == n ? (bAcross ? r.x1 : r.y1)
                                      : (bAcross ? r.x0 + f * (r.x1 - r.x0) : r.y0 + f * (r.y1 - r.y0));
        out[k] = bAcross ? Rect{pos, r.y0, end, r.y1} : Rect{r.x0, pos, r.x1, end};
        pos = end;
    }
}

class Layouter {
public:
    Layouter(const TreemapTree& tree, const TreemapOptions& options, TreemapLayout& out)
        : m_tree(tree), m_options(options), m_out(out)
    {
    }

    bool Run(int nRoot);

private:
    void GatherPieces(const TreemapTile& t);
    void GatherFiles(std::int32_t nFolder);
    void Divide(std::size_t nTile);
    bool Cancelled() const { return m_options.pCancel && m_options.pCancel->load(std::memory_order_relaxed); }

    const TreemapTree& m_tree;
    const TreemapOptions& m_options;
    TreemapLayout& m_out;
    std::vector<Piece> m_pieces; // scratch, reused for every tile
    std::vector<double> m_areas;
    std::vector<Rect> m_rects;
};

void Layouter::GatherFiles(std::int32_t nFolder)
{
    const int count = m_tree.FileCount(nFolder);
    for (int f = 0; f < count; ++f)
        if (const std::int64_t size = m_tree.FileSize(nFolder, f); size > 0)
            m_pieces.push_back({double(size), TileKind::File, nFolder, f});
}

void Layouter::GatherPieces(const TreemapTile& t)
{
    m_pieces.clear();
    const bool bNames = m_tree.StoresFileNames();
    if (t.kind == TileKind::OwnFiles) {
        if (bNames)
            GatherFiles(t.nFolder);
        return;
    }
    if (t.kind != TileKind::Folder)
        return;
    const std::int32_t end = m_tree.SubtreeEnd(t.nFolder);
    for (std::int32_t c = t.nFolder + 1; c < end; c = m_tree.SubtreeEnd(c)) {
        const std::int64_t size = m_tree.SpaceWithSubs(c);
        if (size > 0)
            m_pieces.push_back({double(size), TileKind::Folder, c, -1});
    }
    const std::int64_t own = m_tree.SpaceWithoutSubs(t.nFolder);
    if (m_pieces.empty()) {
        // A folder without sub-folders is its own files: no extra level.
        if (bNames)
            GatherFiles(t.nFolder);
    } else if (own > 0) {
        m_pieces.push_back({double(own), TileKind::OwnFiles, t.nFolder, -1});
    }
}

void Layouter::Divide(std::size_t nTile)
{
    const TreemapTile parent = m_out.tiles[nTile];
    if (parent.Width() < 1.0 || parent.Height() < 1.0)
        return;
    GatherPieces(parent);
    if (m_pieces.empty())
        return;
    std::stable_sort(m_pieces.begin(), m_pieces.end(), [](const Piece& a, const Piece& b) { return a.dSize > b.dSize; });
    double total = 0;
    for (const Piece& p : m_pieces)
        total += p.dSize;
    double scale = parent.Area() / total;
    // From the first piece too small for a square pixel on, the pieces are drawn
    // together as one rest tile; when even together they hold less than a square
    // pixel they get no tile, and the others fill the parent.
    std::size_t n = m_pieces.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (m_pieces[k].dSize * scale >= kMinTileArea)
            continue;
        double rest = 0;
        for (std::size_t r = k; r < n; ++r)
            rest += m_pieces[r].dSize;
        if (rest * scale >= kMinTileArea) {
            m_pieces[k] = {rest, TileKind::Rest, parent.nFolder, -1};
            n = k + 1;
        } else {
            n = k;
            total -= rest;
            scale = parent.Area() / total;
        }
        break;
    }
    if (n == 0)
        return;
    m_areas.resize(n);
    m_rects.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        m_areas[k] = m_pieces[k].dSize * scale;
    const Rect r{parent.x0, parent.y0, parent.x1, parent.y1};
    if (m_options.bSquarify)
        Squarify(r, m_areas.data(), n, m_rects.data());
    else
        SliceAndDice(r, m_areas.data(), n, m_rects.data(), parent.nDepth % 2 == 0);

    m_out.tiles[nTile].nFirstChild = static_cast<std::int32_t>(m_out.tiles.size());
    m_out.tiles[nTile].nChildren = static_cast<std::int32_t>(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Piece& p = m_pieces[k];
        TreemapTile t;
        t.x0 = float(m_rects[k].x0), t.y0 = float(m_rects[k].y0);
        t.x1 = float(m_rects[k].x1), t.y1 = float(m_rects[k].y1);
        t.nSize = ClampToInt64(p.dSize);
        t.nParent = static_cast<std::int32_t>(nTile);
        t.nFolder = p.nFolder;
        t.nFile = p.nFile;
        t.nDepth = parent.nDepth + 1;
        t.kind = p.kind;
        m_out.tiles.push_back(t);
    }
}

bool Layouter::Run(int nRoot)
{
    TreemapTile t;
    t.x1 = float(m_options.nWidth), t.y1 = float(m_options.nHeight);
    t.nSize = m_tree.SpaceWithSubs(nRoot);
    t.nFolder = nRoot;
    m_out.tiles.push_back(t);
    // Tiles are divided in the order they were made (breadth first): the tile list is
    // its own work queue, and no recursion depends on how deep the tree is.
    for (std::size_t i = 0; i < m_out.tiles.size(); ++i) {
        if ((i & 1023) == 0 && Cancelled())
            return false;
        Divide(i);
    }
    // A root folder of 0 bytes gets no tile at all.
    return m_out.tiles.size() > 1 || std::max(m_tree.SpaceWithSubs(nRoot), m_tree.SpaceWithoutSubs(nRoot)) > 0;
}

std::string FolderNameOf(const std::string& strPath)
{
    std::string s = strPath;
    if (!s.empty() && s.back() == '\\')
        s.pop_back();
    const std::size_t slash = s.find_last_of('\\');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

void SortLegend(std::vector<TreemapLegendEntry>& legend)
{
    std::stable_sort(legend.begin(), legend.end(), [](const TreemapLegendEntry& a, const TreemapLegendEntry& b) {
        return a.nBytes != b.nBytes ? a.nBytes > b.nBytes : a.strLabel < b.strLabel;
    });
}

// Legend sums of a damaged report may exceed what 64 bits hold: they stop at the top.
void AddBytes(std::int64_t& sum, std::int64_t n)
{
    if (__builtin_add_overflow(sum, n, &sum))
        sum = std::numeric_limits<std::int64_t>::max();
}

bool IsLeaf(const TreemapTile& t) { return t.nChildren == 0; }

// The palette entry of an extension: a function of its name alone (FNV-1a), so that
// an extension keeps its colour at every zoom level and in every folder. Two names may
// hash alike: the larger one in a picture keeps the colour, the other takes the next
// free one there.
std::uint8_t ExtensionColour(const std::string& extension)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : extension) {
        h ^= c;
        h *= 16777619u;
    }
    return static_cast<std::uint8_t>(h % kColourCount);
}

// Colours by extension: the kColourCount extensions with the most bytes among the
// file tiles are shown in their colours (ExtensionColour), the others in the grey of
// "Other types"; folders and rest tiles that were not divided are grey too.
void ColourByExtension(TreemapLayout& L, const TreemapTree& tree)
{
    const std::vector<std::string>& names = tree.Extensions();
    std::vector<std::int64_t> bytes(names.size(), 0);
    for (const TreemapTile& t : L.tiles)
        if (t.kind == TileKind::File)
            AddBytes(bytes[tree.FileExtensionId(t.nFolder, t.nFile)], t.nSize);
    std::vector<TreemapLegendEntry> all;
    for (std::size_t e = 0; e < names.size(); ++e)
        if (bytes[e] > 0)
            all.push_back({kColourOther, names[e], bytes[e]});
    SortLegend(all);
    std::vector<std::uint8_t> colourOf(names.size(), kColourOther);
    std::int64_t other = 0, undivided = 0;
    bool taken[kColourCount] = {};
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (k < kColourCount) {
            // Its own colour, unless a larger extension of this picture has it: then
            // the next free one, so that no two legend entries look alike.
            std::uint8_t c = ExtensionColour(all[k].strLabel);
            while (taken[c])
                c = static_cast<std::uint8_t>((c + 1) % kColourCount);
            taken[c] = true;
            all[k].nColour = c;
        } else
            AddBytes(other, all[k].nBytes);
    }
    for (std::size_t e = 0; e < names.size(); ++e)
        for (std::size_t k = 0; k < all.size() && k < kColourCount; ++k)
            if (all[k].strLabel == names[e])
                colourOf[e] = all[k].nColour;
    for (TreemapTile& t : L.tiles) {
        if (t.kind == TileKind::File) {
            t.nColour = colourOf[tree.FileExtensionId(t.nFolder, t.nFile)];
        } else {
            t.nColour = kColourUndivided;
            if (IsLeaf(t))
                AddBytes(undivided, t.nSize);
        }
    }
    all.resize(std::min<std::size_t>(all.size(), kColourCount));
    for (auto& e : all)
        if (e.strLabel.empty())
            e.strLabel = "(no extension)";
    L.legend = std::move(all);
    if (other > 0)
        L.legend.push_back({kColourOther, "Other types", other});
    if (undivided > 0)
        L.legend.push_back({kColourUndivided, "Too small to show apart", undivided});
}

// Colours by top-level piece: the root's pieces, largest first, get a colour each,
// and everything inside a piece takes its colour.
void ColourByTopLevel(TreemapLayout& L)
{
    TreemapTile& root = L.tiles[0];
    root.nColour = 0;
    std::int64_t other = 0;
    for (std::int32_t k = 0; k < root.nChildren; ++k) {
        TreemapTile& t = L.tiles[static_cast<std::size_t>(root.nFirstChild + k)];
        const bool bOwn = t.kind == TileKind::Rest || k >= kColourCount;
        t.nColour = bOwn ? kColourOther : static_cast<std::uint8_t>(k);
        if (bOwn) {
            AddBytes(other, t.nSize);
            continue;
        }
        if (t.kind == TileKind::Folder)
            L.legend.push_back({t.nColour, std::string(), t.nSize, t.nFolder});
        else
            L.legend.push_back({t.nColour, "(files in this folder)", t.nSize});
    }
    if (other > 0)
        L.legend.push_back({kColourOther, "Other", other});
    for (std::size_t i = 1; i < L.tiles.size(); ++i)
        if (L.tiles[i].nParent > 0)
            L.tiles[i].nColour = L.tiles[static_cast<std::size_t>(L.tiles[i].nParent)].nColour;
}

} // namespace

TreemapLayout LayoutTreemap(const TreemapTree& tree, int nRootFolder, const TreemapOptions& options)
{
    TreemapLayout L;
    L.nWidth = options.nWidth;
    L.nHeight = options.nHeight;
    L.cDrive = tree.DriveLetter();
    L.nRootFolder = nRootFolder;
    L.bByExtension = tree.StoresFileNames();
    if (nRootFolder < 0 || nRootFolder >= tree.Size() || options.nWidth < 1 || options.nHeight < 1)
        return L;
    Layouter layouter(tree, options, L);
    if (!layouter.Run(nRootFolder)) {
        L.tiles.clear();
        return L;
    }
    if (L.bByExtension)
        ColourByExtension(L, tree);
    else
        ColourByTopLevel(L);
    return L;
}

void NameTreemapLegend(TreemapLayout& layout, const DriveReport& drive)
{
    for (TreemapLegendEntry& e : layout.legend)
        if (e.nFolder >= 0)
            if (const FolderRecord* f = drive.GetFolder(e.nFolder))
                e.strLabel = FolderNameOf(f->strPath);
}

int TreemapLayout::HitTest(double x, double y) const
{
    auto inside = [x, y](const TreemapTile& t) { return x >= t.x0 && x < t.x1 && y >= t.y0 && y < t.y1; };
    if (tiles.empty() || !inside(tiles[0]))
        return -1;
    int t = 0;
    for (;;) {
        const TreemapTile& tile = tiles[static_cast<std::size_t>(t)];
        int next = -1;
        for (std::int32_t c = tile.nFirstChild; c >= 0 && c < tile.nFirstChild + tile.nChildren; ++c)
            if (inside(tiles[static_cast<std::size_t>(c)])) {
                next = c;
                break;
            }
        if (next < 0)
            return t;
        t = next;
    }
}

int TreemapLayout::FolderTileOf(int nTile) const
{
    while (nTile >= 0 && tiles[static_cast<std::size_t>(nTile)].kind != TileKind::Folder)
        nTile = tiles[static_cast<std::size_t>(nTile)].nParent;
    return nTile;
}

int TreemapLayout::TileOfFolder(int nFolder) const
{
    for (std::size_t i = 0; i < tiles.size(); ++i)
        if (tiles[i].kind == TileKind::Folder && tiles[i].nFolder == nFolder)
            return static_cast<int>(i);
    return -1;
}

} // namespace tvl
