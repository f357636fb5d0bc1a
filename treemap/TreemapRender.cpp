#include "TreemapRender.h"

#include <algorithm>
#include <cmath>

namespace tvl {

void RgbImage::Resize(int w, int h)
{
    nWidth = std::max(w, 0);
    nHeight = std::max(h, 0);
    pixels.assign(std::size_t(nWidth) * std::size_t(nHeight) * 3, 0);
}

Rgb TreemapColour(std::uint8_t nColour)
{
    // Twelve hues far apart, of similar lightness, then the two greys.
    static constexpr Rgb kPalette[kColourCount + 2] = {
        {66, 133, 244}, {234, 67, 53},  {251, 188, 5},   {52, 168, 83},  {171, 71, 188},  {0, 172, 193},
        {255, 112, 67}, {158, 157, 36}, {92, 107, 192},  {240, 98, 146}, {0, 137, 123},   {141, 110, 99},
        {150, 150, 150}, {105, 105, 105},
    };
    return kPalette[std::min<int>(nColour, kColourCount + 1)];
}

namespace {

// Cushion parameters: height of a tile's ridge relative to its size, how much lower
// each level's ridge is, ambient and diffuse light, and the light's direction.
constexpr double kHeight = 0.5;
constexpr double kFalloff = 0.75;
constexpr double kAmbient = 0.25;
constexpr double kDiffuse = 0.85;

struct Surface {
    double ax = 0, bx = 0, ay = 0, by = 0; // z = ax*x^2 + bx*x + ay*y^2 + by*y
};

// Adds the parabolic ridge of the interval [lo, hi) of height h.
void AddRidge(double h, double lo, double hi, double& a, double& b)
{
    if (hi - lo <= 0)
        return;
    a -= 4 * h / (hi - lo);
    b += 4 * h * (hi + lo) / (hi - lo);
}

int PixelEdge(float v, int limit) { return std::clamp(static_cast<int>(std::lround(v)), 0, limit); }

// Light from the upper left, mostly from the front; the light of a pixel is kept as
// one of kLevels steps, and each colour's shades are looked up.
constexpr int kLevels = 256;
constexpr int kEdgeFrom = 5; // pixels a side
constexpr float kLevelsPerLight = 200.0f; // light 1.0 is step 200; brighter steps go up to 255

struct Shades {
    Rgb shade[kColourCount + 2][kLevels];
    Shades()
    {
        for (int c = 0; c < kColourCount + 2; ++c) {
            const Rgb base = TreemapColour(static_cast<std::uint8_t>(c));
            for (int l = 0; l < kLevels; ++l) {
                const double f = l / double(kLevelsPerLight);
                shade[c][l] = {static_cast<std::uint8_t>(std::min(255.0, base.r * f)),
                               static_cast<std::uint8_t>(std::min(255.0, base.g * f)),
                               static_cast<std::uint8_t>(std::min(255.0, base.b * f))};
            }
        }
    }
};

// The light steps of one row of a leaf: the surface's slope changes linearly along
// the row, so this loop has no branches and vectorises.
void LightRow(const Surface& s, double y, int px0, int n, std::uint8_t* out)
{
    const float len = std::sqrt(1.0f + 4.0f + 100.0f);
    const float lx = -1.0f / len, ly = -2.0f / len, lz = 10.0f / len;
    const float ny = static_cast<float>(-(2 * s.ay * y + s.by));
    const float nyTerm = ny * ly + lz, ny2 = ny * ny + 1.0f;
    const float nx0 = static_cast<float>(-(2 * s.ax * (px0 + 0.5) + s.bx));
    const float dnx = static_cast<float>(-2 * s.ax);
    for (int k = 0; k < n; ++k) {
        const float nx = nx0 + dnx * static_cast<float>(k);
        const float cosa = (nx * lx + nyTerm) / std::sqrt(nx * nx + ny2);
        const float light = static_cast<float>(kAmbient) + static_cast<float>(kDiffuse) * std::max(cosa, 0.0f);
        out[k] = static_cast<std::uint8_t>(std::min(light * kLevelsPerLight, float(kLevels - 1)));
    }
}

void ShadeLeaf(const TreemapTile& t, const Surface& s, RgbImage& image, std::int32_t nTile, TreemapPixelMap* pMap,
               std::vector<std::uint8_t>& steps)
{
    static const Shades shades;
    const int px0 = PixelEdge(t.x0, image.nWidth), px1 = PixelEdge(t.x1, image.nWidth);
    const int py0 = PixelEdge(t.y0, image.nHeight), py1 = PixelEdge(t.y1, image.nHeight);
    if (px0 >= px1 || py0 >= py1)
        return;
    const Rgb* shade = shades.shade[std::min<int>(t.nColour, kColourCount + 1)];
    const int n = px1 - px0;
    steps.resize(static_cast<std::size_t>(n));
    for (int y = py0; y < py1; ++y) {
        LightRow(s, y + 0.5, px0, n, steps.data());
        std::uint8_t* p = image.Row(y) + std::size_t(px0) * 3;
        for (int k = 0; k < n; ++k, p += 3) {
            const Rgb c = shade[steps[static_cast<std::size_t>(k)]];
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
        if (pMap)
            std::fill_n(pMap->tiles.data() + std::size_t(y) * std::size_t(pMap->nWidth) + std::size_t(px0), n, nTile);
    }
    // A tile large enough to spare them gets a darker right and bottom edge, so that
    // neighbours of one colour stay apart.
    if (n < kEdgeFrom || py1 - py0 < kEdgeFrom)
        return;
    auto darken = [](std::uint8_t* p) {
        for (int i = 0; i < 3; ++i)
            p[i] = static_cast<std::uint8_t>(p[i] * 5 / 8);
    };
    for (int y = py0; y < py1; ++y)
        darken(image.Row(y) + std::size_t(px1 - 1) * 3);
    std::uint8_t* bottom = image.Row(py1 - 1) + std::size_t(px0) * 3;
    for (int k = 0; k + 1 < n; ++k)
        darken(bottom + std::size_t(k) * 3);
}

} // namespace

bool RenderTreemap(const TreemapLayout& layout, RgbImage& image, const std::atomic<bool>* pCancel,
                   TreemapPixelMap* pMap)
{
    image.Resize(layout.nWidth, layout.nHeight);
    if (pMap) {
        pMap->nWidth = image.nWidth;
        pMap->nHeight = image.nHeight;
        pMap->tiles.assign(std::size_t(image.nWidth) * std::size_t(image.nHeight), -1);
    }
    if (layout.tiles.empty()) {
        for (std::size_t i = 0; i < image.pixels.size(); i += 3) {
            image.pixels[i] = kTreemapBackground.r;
            image.pixels[i + 1] = kTreemapBackground.g;
            image.pixels[i + 2] = kTreemapBackground.b;
        }
        return true;
    }
    // Parents come before their children, so each surface builds on a finished one.
    std::vector<Surface> surfaces(layout.tiles.size());
    std::vector<double> heights(layout.tiles.size());
    std::vector<std::uint8_t> steps;
    for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
        if ((i & 4095) == 0 && pCancel && pCancel->load(std::memory_order_relaxed))
            return false;
        const TreemapTile& t = layout.tiles[i];
        Surface s;
        double h = kHeight;
        if (t.nParent >= 0) {
            s = surfaces[static_cast<std::size_t>(t.nParent)];
            h = heights[static_cast<std::size_t>(t.nParent)] * kFalloff;
        }
        AddRidge(h, t.x0, t.x1, s.ax, s.bx);
        AddRidge(h, t.y0, t.y1, s.ay, s.by);
        surfaces[i] = s;
        heights[i] = h;
        if (t.nChildren == 0)
            ShadeLeaf(t, s, image, static_cast<std::int32_t>(i), pMap, steps);
    }
    return true;
}

} // namespace tvl
