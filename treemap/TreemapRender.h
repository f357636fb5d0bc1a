// Draws a treemap layout into an RGB picture: every leaf tile in its colour, shaded as
// a cushion (each tile adds a ridge to the surface of its parent, lower the deeper it
// lies, and the surface is lit from the upper left), so that nesting is visible
// without any border. Every pixel belongs to exactly one leaf: a tile covers the
// pixels whose centres lie inside it, and neighbours share their edges.
//
// No toolkit; the desktop pane shows the same picture as tovaline-cli writes.
#pragma once

#include "TreemapLayout.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace tvl {

// Pixels of 3 bytes (red, green, blue), rows top to bottom without padding.
struct RgbImage {
    int nWidth = 0, nHeight = 0;
    std::vector<std::uint8_t> pixels;

    void Resize(int w, int h);
    std::uint8_t* Row(int y) { return pixels.data() + std::size_t(y) * std::size_t(nWidth) * 3; }
    const std::uint8_t* Row(int y) const { return pixels.data() + std::size_t(y) * std::size_t(nWidth) * 3; }
};

struct Rgb {
    std::uint8_t r, g, b;
};

// The colour of a palette entry (kColourOther and kColourUndivided are greys).
Rgb TreemapColour(std::uint8_t nColour);
// Background where nothing is drawn (an empty report).
inline constexpr Rgb kTreemapBackground{64, 64, 64};

// Which leaf tile each pixel shows (row by row, -1 where nothing is drawn): a hit test
// in constant time, whatever the size of the layout.
struct TreemapPixelMap {
    int nWidth = 0, nHeight = 0;
    std::vector<std::int32_t> tiles;
    int TileAt(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= nWidth || y >= nHeight)
            return -1;
        return tiles[std::size_t(y) * std::size_t(nWidth) + std::size_t(x)];
    }
};

// Draws the layout into image, which takes the layout's size, and fills pMap when
// given. Returns false when pCancel was set meanwhile (the picture is then incomplete).
bool RenderTreemap(const TreemapLayout& layout, RgbImage& image, const std::atomic<bool>* pCancel = nullptr,
                   TreemapPixelMap* pMap = nullptr);

} // namespace tvl
