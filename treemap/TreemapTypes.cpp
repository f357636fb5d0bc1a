#include "TreemapTypes.h"

namespace tvl {

std::vector<std::uint8_t> TilesOfType(const TreemapLayout& layout, const TreemapTree& tree,
                                      std::string_view strExtension)
{
    std::vector<std::uint8_t> lit(layout.tiles.size(), 0);
    if (!tree.StoresFileNames())
        return lit;
    // The type's id in the tree, looked up once.
    const auto& names = tree.Extensions();
    std::size_t id = names.size();
    for (std::size_t e = 0; e < names.size(); ++e)
        if (names[e] == strExtension)
            id = e;
    if (id == names.size())
        return lit;
    for (std::size_t i = 0; i < layout.tiles.size(); ++i) {
        const TreemapTile& t = layout.tiles[i];
        if (t.kind == TileKind::File && t.nFolder >= 0 && t.nFolder < tree.Size() && t.nFile >= 0 &&
            t.nFile < tree.FileCount(t.nFolder) && tree.FileExtensionId(t.nFolder, t.nFile) == id)
            lit[i] = 1;
    }
    return lit;
}

std::uint8_t TypeColour(const TreemapLayout& layout, std::string_view strExtension)
{
    if (!layout.bByExtension)
        return kColourOther;
    const std::string label = FileTypeLabel(strExtension);
    for (const TreemapLegendEntry& e : layout.legend)
        if (e.nColour < kColourCount && e.strLabel == label)
            return e.nColour;
    return kColourOther;
}

void DimOtherTiles(std::uint8_t* pixels, std::size_t stride, const TreemapPixelMap& map,
                   const std::vector<std::uint8_t>& lit)
{
    for (int y = 0; y < map.nHeight; ++y) {
        std::uint8_t* p = pixels + std::size_t(y) * stride;
        const std::int32_t* tiles = map.tiles.data() + std::size_t(y) * std::size_t(map.nWidth);
        for (int x = 0; x < map.nWidth; ++x, p += 3) {
            const std::int32_t t = tiles[x];
            if (t >= 0 && std::size_t(t) < lit.size() && lit[std::size_t(t)])
                continue;
            // A quarter of the light, towards grey: the shape stays visible.
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<std::uint8_t>(24 + p[c] / 4);
        }
    }
}

} // namespace tvl
