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

void ShadeLeaf(const TreemapTile& t, const Surface& s, RgbImage& image)
{
    const int px0 = PixelEdge(t.x0, image.nWidth), px1 = PixelEdge(t.x1, image.nWidth);
    const int py0 = PixelEdge(t.y0, image.nHeight), py1 = PixelEdge(t.y1, image.nHeight);
    if (px0 >= px1 || py0 >= py1)
        return;
    const Rgb c = TreemapColour(t.nColour);
    // Light from the upper left, mostly from the front.
    static const double len = std::sqrt(1.0 + 4.0 + 100.0);
    const double lx = -1.0 / len, ly = -2.0 / len, lz = 10.0 / len;
    for (int y = py0; y < py1; ++y) {
        const double ny = -(2 * s.ay * (y + 0.5) + s.by);
        std::uint8_t* p = image.Row(y) + std::size_t(px0) * 3;
        for (int x = px0; x < px1; ++x, p += 3) {
            const double nx = -(2 * s.ax * (x + 0.5) + s.bx);
            const double cosa = (nx * lx + ny * ly + lz) / std::sqrt(nx * nx + ny * ny + 1.0);
            const double light = kAmbient + kDiffuse * std::max(0.0, cosa);
            p[0] = static_cast<std::uint8_t>(std::min(255.0, c.r * light));
            p[1] = static_cast<std::uint8_t>(std::min(255.0, c.g * light));
            p[2] = static_cast<std::uint8_t>(std::min(255.0, c.b * light));
        }
    }
}

} // namespace

bool RenderTreemap(const TreemapLayout& layout, RgbImage& image, const std::atomic<bool>* pCancel)
{
    image.Resize(layout.nWidth, layout.nHeight);
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
            ShadeLeaf(t, s, image);
    }
    return true;
}

} // namespace tvl
