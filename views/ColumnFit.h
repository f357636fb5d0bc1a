// Fitting list columns into the width a list has for them, so that a column that
// shows numbers is never narrower than its widest number while the window allows it.
// Plain arithmetic on pixel widths, shared by the folder view, the file list and the
// rank view.
#pragma once

#include <vector>

namespace tvl {

// Raises every column that is below its minimum to that minimum and takes the pixels
// from the donor column (the one showing names, which can elide), but never below the
// donor's own minimum. The widths keep their sum unless the minimums together need
// more; the list then scrolls sideways. minimums may be shorter than widths (missing
// entries mean 0); negative widths become 0.
std::vector<int> FitColumns(std::vector<int> widths, const std::vector<int>& minimums, int donor);

} // namespace tvl
