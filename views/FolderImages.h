// The four 16 x 16 pictures of the folder view, drawn once on first use:
// 0 disk drive (a drive's root), 1 closed yellow folder (collapsed), 2 open yellow
// folder (expanded), 3 closed white folder (no sub-folders).
#pragma once

#include <QPixmap>

const QPixmap& FolderImage(int index);

// The mark drawn over the lower right of a folder's picture for a folder that was not
// (wholly) read, by tvl::FolderState: a red stop sign with a white bar for a folder that
// could not be read (permission, vanished, I/O error), a blue arrow pointing out for
// one on another file system, a grey dash for one left out by the options. A null
// pixmap for a folder that was read (state 0) and for any other number. 10 x 10.
const QPixmap& FolderMarkImage(int state);
