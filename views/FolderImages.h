// The four 16 x 16 pictures of the folder view, drawn once on first use:
// 0 disk drive (a drive's root), 1 closed yellow folder (collapsed), 2 open yellow
// folder (expanded), 3 closed white folder (no sub-folders).
#pragma once

#include <QPixmap>

const QPixmap& FolderImage(int index);
