#include "PngWriter.h"

#include <zlib.h>

namespace tvl {

namespace {

void PutUint32(std::string& out, std::uint32_t v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(b, 4);
}

void PutChunk(std::string& out, const char type[4], const std::string& data)
{
    PutUint32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out.data() + start),
                            static_cast<uInt>(out.size() - start));
    PutUint32(out, static_cast<std::uint32_t>(crc));
}

// Rows with the "Up" filter, which suits pictures of flat areas.
std::string FilteredRows(const RgbImage& image)
{
    const std::size_t stride = std::size_t(image.nWidth) * 3;
    std::string raw;
    raw.resize((stride + 1) * std::size_t(image.nHeight));
    char* p = raw.data();
    for (int y = 0; y < image.nHeight; ++y) {
        const std::uint8_t* row = image.Row(y);
        const std::uint8_t* above = y > 0 ? image.Row(y - 1) : nullptr;
        *p++ = 2;
        for (std::size_t i = 0; i < stride; ++i)
            *p++ = static_cast<char>(above ? std::uint8_t(row[i] - above[i]) : row[i]);
    }
    return raw;
}

bool Deflate(const std::string& raw, std::string& out)
{
    z_stream z{};
    if (deflateInit(&z, 6) != Z_OK)
        return false;
    out.resize(deflateBound(&z, static_cast<uLong>(raw.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

} // namespace

bool EncodePng(const RgbImage& image, std::string& out)
{
    if (image.nWidth < 1 || image.nHeight < 1)
        return false;
    // zlib takes at most 4 GB in one call; our pictures are far smaller.
    const std::string raw = FilteredRows(image);
    if (raw.size() > 0xFFFFFFF0u)
        return false;
    std::string compressed;
    if (!Deflate(raw, compressed))
        return false;
    out.append("\x89PNG\r\n\x1a\n", 8);
    std::string ihdr;
    PutUint32(ihdr, static_cast<std::uint32_t>(image.nWidth));
    PutUint32(ihdr, static_cast<std::uint32_t>(image.nHeight));
    ihdr += std::string("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter set, no interlace
    PutChunk(out, "IHDR", ihdr);
    PutChunk(out, "IDAT", compressed);
    PutChunk(out, "IEND", std::string());
    return true;
}

} // namespace tvl
