// PNG encoding of an RGB picture (8 bits per channel, no interlace), with zlib.
#pragma once

#include "TreemapRender.h"

#include <string>

namespace tvl {

// The complete PNG file of the picture, appended to out. Returns false (out then
// holds nothing usable) when the picture is empty or compression fails.
bool EncodePng(const RgbImage& image, std::string& out);

} // namespace tvl
