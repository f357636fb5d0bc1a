// The treemap of a folder's subtree: one rectangle per folder and file with an area
// proportional to its size, nested like the folder tree, laid out by the squarified
// algorithm (rows of tiles along the shorter side, each row grown while the worst
// aspect ratio in it improves).
//
// Every folder's rectangle is divided among its sub-folders and one tile for its own
// files ("Space (w/o subs)"); when the drive stores file names, that tile is divided
// among the files. Pieces are laid out largest first, equal sizes in list order, so a
// report always gives the same picture. Pieces of 0 bytes (or less, in a damaged
// report) get no tile. A rectangle is divided only while it is at least one pixel
// wide and high, and the pieces that would each get less than one square pixel are
// drawn together as one "rest" tile (or, when even together they would get less than
// one square pixel, left out, the other pieces filling the rectangle); so the number
// of tiles, and the cost, follow the pixels rather than the number of folders.
//
// A damaged report (a child larger than its parent, sums that do not add up) is drawn
// by the sizes of the pieces: a rectangle is always divided in proportion to what its
// pieces hold, never beyond its edges.
//
// No toolkit: the desktop pane and tovaline-cli use the same layout and renderer.
#pragma once

#include "FileTypes.h" // FileExtension: the type a file's colour stands for

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tvl {

class DriveReport;
enum class SizeKind : std::uint8_t;

// What the layout needs of one drive report, copied out of it: the folder tree as
// list positions (where each folder's subtree ends, its parent: a folder's parent is
// the nearest earlier folder of smaller level, as the reader and the scan leave it),
// both sizes of every folder side by side, and, when the drive stores file names,
// every file's size and extension. About 24 bytes a folder and 12 a file.
//
// Made once per report on the thread that owns the report; afterwards it refers to
// nothing in the report, so layouts can be made from it on any thread, also after
// the report is gone.
class TreemapTree {
public:
    explicit TreemapTree(const DriveReport& drive);
    // The same in a measure of the drive's choosing: its own (as above), or the other
    // where the drive has folder facts (CanShow; otherwise its own).
    TreemapTree(const DriveReport& drive, SizeKind kind);

    char DriveLetter() const { return m_cDrive; }
    bool StoresFileNames() const { return m_bNames; }
    int Size() const { return static_cast<int>(m_subtreeEnd.size()); }
    // The position just after the last folder of the subtree of the folder at nPos.
    int SubtreeEnd(int nPos) const { return m_subtreeEnd[static_cast<std::size_t>(nPos)]; }
    // The list position of the folder's parent, -1 for the first folder.
    int Parent(int nPos) const { return m_parent[static_cast<std::size_t>(nPos)]; }
    std::int64_t SpaceWithSubs(int nPos) const { return m_withSubs[static_cast<std::size_t>(nPos)]; }
    std::int64_t SpaceWithoutSubs(int nPos) const { return m_withoutSubs[static_cast<std::size_t>(nPos)]; }
    // The files of a folder (none without file names): their number, and each one's
    // size and extension (an index into Extensions()).
    int FileCount(int nPos) const
    {
        return m_bNames ? static_cast<int>(m_fileFirst[std::size_t(nPos) + 1] - m_fileFirst[std::size_t(nPos)]) : 0;
    }
    std::int64_t FileSize(int nPos, int nFile) const { return m_fileSize[FileIndex(nPos, nFile)]; }
    std::uint32_t FileExtensionId(int nPos, int nFile) const { return m_fileExt[FileIndex(nPos, nFile)]; }
    const std::vector<std::string>& Extensions() const { return m_extensions; }

private:
    std::size_t FileIndex(int nPos, int nFile) const { return m_fileFirst[std::size_t(nPos)] + std::size_t(nFile); }

    char m_cDrive = 0;
    bool m_bNames = false;
    std::vector<std::int32_t> m_subtreeEnd;
    std::vector<std::int32_t> m_parent;
    std::vector<std::int64_t> m_withSubs;
    std::vector<std::int64_t> m_withoutSubs;
    std::vector<std::size_t> m_fileFirst;    // per folder, and one past the last
    std::vector<std::int64_t> m_fileSize;
    std::vector<std::uint32_t> m_fileExt;
    std::vector<std::string> m_extensions;   // as FileExtension gives them
};

enum class TileKind : std::uint8_t {
    Folder,   // a folder with its whole subtree
    OwnFiles, // the files directly in a folder ("Space (w/o subs)")
    File,     // one file of a folder (drives that store file names)
    Rest,     // the pieces of a folder too small for a pixel each, drawn together
};

// Tile colours: kColourCount palette entries, then two greys.
inline constexpr std::uint8_t kColourCount = 12;
inline constexpr std::uint8_t kColourOther = kColourCount;      // everything not in the legend
inline constexpr std::uint8_t kColourUndivided = kColourCount + 1; // folders too small to show their files

struct TreemapTile {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0; // edges in pixels; neighbours share edge values exactly
    std::int64_t nSize = 0;  // bytes the tile stands for (its share as laid out)
    std::int32_t nParent = -1;     // index of the enclosing tile; -1 for the root tile
    std::int32_t nFirstChild = -1; // the children of a tile are contiguous, in layout order
    std::int32_t nChildren = 0;
    std::int32_t nFolder = 0;      // list position of the folder (of the folder holding the files)
    std::int32_t nFile = -1;       // index in the folder's files (File tiles), else -1
    std::int32_t nDepth = 0;       // 0 for the root tile
    TileKind kind = TileKind::Folder;
    std::uint8_t nColour = kColourOther;

    double Width() const { return double(x1) - double(x0); }
    double Height() const { return double(y1) - double(y0); }
    double Area() const { return Width() * Height(); }
};

// What one colour of a picture stands for: a file extension (".jpg", "" for files
// without one) or a top-level folder, or everything else.
struct TreemapLegendEntry {
    std::uint8_t nColour = kColourOther;
    std::string strLabel;   // ".jpg", "(no extension)", a folder name, "Other", ...
    std::int64_t nBytes = 0; // bytes of the tiles in this colour
    // The top-level folder the colour stands for (list position), else -1. Its name
    // is not known to the layout: NameTreemapLegend puts it into strLabel.
    std::int32_t nFolder = -1;
};

struct TreemapOptions {
    int nWidth = 1600;
    int nHeight = 1000;
    // The squarified layout; false divides each rectangle in slices across its longer
    // side instead (for comparison only).
    bool bSquarify = true;
    // Set from another thread to give up early; the layout is then empty.
    const std::atomic<bool>* pCancel = nullptr;
};

// A finished layout. Holds no pointer into the report: folders are list positions
// and files indexes, valid for the report it was made from.
struct TreemapLayout {
    int nWidth = 0, nHeight = 0;
    char cDrive = 0;
    int nRootFolder = -1;          // list position of the folder shown
    bool bByExtension = false;     // colours stand for file extensions, else top-level folders
    std::vector<TreemapTile> tiles; // tiles[0] is the root tile; parents before children
    std::vector<TreemapLegendEntry> legend; // largest first, "Other" last

    bool Empty() const { return tiles.empty(); }
    // The deepest tile under the point, or -1. Walks down from the root, so the cost
    // follows the depth and the number of siblings on the way.
    int HitTest(double x, double y) const;
    // The innermost Folder tile at or above a tile (the tile of the folder that holds
    // a file or rest tile), or -1.
    int FolderTileOf(int nTile) const;
    // The tile of the folder at list position nFolder, or -1 when it got none (too small).
    int TileOfFolder(int nFolder) const;
};

// Lays out the subtree of the folder at list position nRootFolder of tree's drive.
// An invalid position, a size below 1x1 or a subtree of 0 bytes gives an empty layout.
// Reads only the tree: may run on any thread.
TreemapLayout LayoutTreemap(const TreemapTree& tree, int nRootFolder, const TreemapOptions& options);

// Names the legend's folders (the last component of their paths) from the report the
// layout was made of. On the thread that owns the report.
void NameTreemapLegend(TreemapLayout& layout, const DriveReport& drive);

} // namespace tvl
