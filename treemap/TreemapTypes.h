// One file type picked out in a treemap: which tiles show files of that type, the
// colour the layout gives it, and the picture with every other tile dimmed. No
// toolkit; the desktop's file-types pane highlights through it.
#pragma once

#include "TreemapLayout.h"
#include "TreemapRender.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tvl {

// One flag per tile of the layout: set for the File tiles whose name has the type
// strExtension (as FileExtension gives it, "" for names without extension). Folder,
// own-files and rest tiles hold several types and are never set.
std::vector<std::uint8_t> TilesOfType(const TreemapLayout& layout, const TreemapTree& tree,
                                      std::string_view strExtension);

// The colour the layout's legend gives the type; kColourOther when the legend does
// not name it (or the layout colours by folder).
std::uint8_t TypeColour(const TreemapLayout& layout, std::string_view strExtension);

// Dims the pixels (rows of 3-byte RGB, `stride` bytes apart) whose tile in map is not
// set in lit, so that the set tiles stand out. The picture and the map must be of the
// same size.
void DimOtherTiles(std::uint8_t* pixels, std::size_t stride, const TreemapPixelMap& map,
                   const std::vector<std::uint8_t>& lit);

} // namespace tvl
