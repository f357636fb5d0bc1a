// The freedesktop trash: a file or folder is moved (renamed, never copied and never
// deleted) into the trash of its own file system, with a .trashinfo file that records
// where it came from and when, so that the desktop's trash can put it back.
//
// The trash is the user's home trash ($XDG_DATA_HOME/Trash, else
// $HOME/.local/share/Trash) when the item lies on the same file system; otherwise the
// file system's own trash below its mount point: ".Trash/<uid>" when the
// administrator made ".Trash" (a real folder with the sticky bit), else
// ".Trash-<uid>" (created for the user, 0700). When none of these can be had the item
// is refused and stays where it is.
#pragma once

#include <string>

namespace tvl {

struct TrashResult {
    bool bMoved = false;
    std::string strTrashedPath; // where the item now is, when moved
    std::string strReason;      // why not, when not moved
};

// Moves the item at `path` (absolute; a symbolic link is moved as the link) to the
// trash. Nothing is changed when it fails.
TrashResult MoveToTrash(const std::string& path);

} // namespace tvl
