// PNG encoding of an RGB picture (8 bits per channel, no interlace), with zlib.
#pragma once

#include "TreemapRender.h"

#include <string>

namespace tvl {

// The complete PNG file of the picture, appended to out. Returns false (out then
// holds nothing usable) when the picture is empty or compression fails.
bool EncodePng(const RgbImage& image, std::string& out);

// Writes the picture as a PNG file. The file is written beside the target under a
// temporary name, flushed and renamed over the target, so that a failure leaves no
// partial file behind and an existing file as it was. Returns false and sets error to
// a sentence for the user.
bool WritePngFile(const RgbImage& image, const std::string& pathName, std::string& error);

} // namespace tvl
