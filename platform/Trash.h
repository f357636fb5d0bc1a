// The freedesktop trash: a file or folder is moved (renamed, never copied and never
// deleted) into the trash of its own file system, with a .trashinfo file that records
// where it came from and when, so that the desktop's trash can put it back.
//
// The trash is the user's home trash ($XDG_DATA_HOME/Trash, else
// $HOME/.local/share/Trash) when the item lies on the same file system; otherwise the
// file system's own trash below its mount point: ".Trash/<uid>" when the
// administrator made ".Trash" (a real folder with the sticky bit, not a link), else
// ".Trash-<uid>". A trash folder and its "files" and "info" are never reached through a
// symbolic link; below a mount point they must also belong to the user and be closed
// to everybody else (they are made so, 0700), since another user may have made them
// first in the shared ".Trash" or at the top of the file system. When no trash can be
// had the item is refused, with the reason, and stays where it is.
//
// A trashed name longer than 245 bytes (".trashinfo" must still fit in 255) is
// shortened in the trash, at a UTF-8 character boundary; the info file keeps the whole
// original path. Two items of one name get "name", "name.2", "name.3", ...
#pragma once

#include <cstdint>
#include <string>

namespace tvl {

struct TrashResult {
    bool bMoved = false;
    // The item on disc is not what the caller expected (gone, a link, another kind, another
    // size): nothing was moved.
    bool bChanged = false;
    std::string strTrashedPath; // where the item now is, when moved
    std::string strReason;      // why not, when not moved
    // A file's length and the space allocated to it, as looked at right before the move
    // (-1 for a folder or when not moved).
    std::int64_t nLength = -1;
    std::int64_t nAllocated = -1;
};

// What the item must still be for a move: a real folder, or a regular file of nSize bytes;
// never a symbolic link.
struct ExpectedItem {
    // How the report measured a file: its length, the space allocated to it on disc
    // (blocks of 512 bytes), or not known (either matches).
    enum class Measure { Length, DiscUsage, Either };
    bool bFolder = false;
    std::int64_t nSize = 0; // for a file
    Measure measure = Measure::Length;
};

// Moves the item at `path` (absolute, as bytes; a symbolic link is moved as the link) to
// the trash. Nothing is changed when it fails.
TrashResult MoveToTrash(const std::string& path);

// Moves the item at `path` to the trash only if it is still the one expected: its
// entry in its folder is looked at (never through a link) and moved from that same
// folder. Otherwise bChanged is set and nothing is changed.
TrashResult MoveToTrashIfUnchanged(const std::string& path, const ExpectedItem& expected);

} // namespace tvl
