#include "NcduImport.h"

#include "PathNames.h"
#include "ReportBuilder.h"
#include "Scan.h"
#include "ScanOptions.h"

#include <nlohmann/json.hpp>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <istream>
#include <new>
#include <streambuf>
#include <sys/stat.h>
#include <vector>

namespace tvl {

namespace {

constexpr std::size_t kChunk = 1 << 16;

bool IsGzip(std::string_view s)
{
    return s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0x1F && static_cast<unsigned char>(s[1]) == 0x8B;
}

// The export's bytes, uncompressed when they are gzip (several members one after the
// other are one stream, as `cat a.gz b.gz` makes).
class Source {
public:
    explicit Source(ReportReader& in) : m_in(in)
    {
        m_gzip = IsGzip(in.PeekStart(2));
        if (m_gzip) {
            m_input.reset(new unsigned char[kChunk]);
            m_ok = inflateInit2(&m_z, 16 + MAX_WBITS) == Z_OK;
            m_zInit = m_ok;
        }
    }
    ~Source()
    {
        if (m_zInit)
            inflateEnd(&m_z);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Up to n bytes into out; 0 at the end or after a failure (Failed()).
    std::size_t Read(char* out, std::size_t n)
    {
        if (!m_ok)
            return 0;
        if (!m_gzip)
            return m_in.ReadSome(out, n);
        m_z.next_out = reinterpret_cast<Bytef*>(out);
        m_z.avail_out = static_cast<uInt>(n);
        while (m_z.avail_out == n) {
            if (m_z.avail_in == 0) {
                const std::size_t got = m_in.ReadSome(m_input.get(), kChunk);
                if (got == 0) {
                    // The input ends: fine between members, a cut inside one.
                    if (!m_ended)
                        m_ok = false;
                    break;
                }
                m_z.next_in = m_input.get();
                m_z.avail_in = static_cast<uInt>(got);
            }
            if (m_ended) { // another member follows
                if (inflateReset(&m_z) != Z_OK) {
                    m_ok = false;
                    break;
                }
                m_ended = false;
            }
            const int r = inflate(&m_z, Z_NO_FLUSH);
            if (r == Z_STREAM_END)
                m_ended = true;
            else if (r != Z_OK && r != Z_BUF_ERROR) {
                m_ok = false;
                break;
            }
        }
        return n - m_z.avail_out;
    }
    bool Failed() const { return !m_ok; }

private:
    ReportReader& m_in;
    bool m_gzip = false;
    bool m_ok = true;
    bool m_zInit = false;
    bool m_ended = false; // between gzip members
    z_stream m_z{};
    std::unique_ptr<unsigned char[]> m_input;
};

// The length of the valid UTF-8 sequence at p (n bytes left; `end` when no more bytes
// follow the n), 0 when the bytes there are not one, -1 when the sequence may go on in
// bytes not seen yet. Code points U+10FF80..U+10FFFF count as not valid: they stand for
// single bytes in the mapped stream, so real ones are mapped byte by byte too.
int Utf8Length(const unsigned char* p, std::size_t n, bool end)
{
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else
        return 0;
    for (int i = 1; i < len; ++i) {
        if (static_cast<std::size_t>(i) >= n)
            return end ? 0 : -1;
        const unsigned char b = p[i];
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF))
            return 0;
    }
    if (c == 0xF4 && p[1] == 0x8F && p[2] >= 0xBE)
        return 0; // U+10FF80.. stands for a byte
    return len;
}

// The export as the JSON parser reads it: every byte that is not part of valid UTF-8
// becomes the code point U+10FF00 + byte (4 bytes), so the parser's UTF-8 check passes
// and the handler turns them back into the bytes (UnmapBytes). Counts the bytes of the
// uncompressed export that the parser has taken.
class MappedBuf : public std::streambuf {
public:
    explicit MappedBuf(Source& src) : m_src(src), m_raw(new char[kChunk + 4]), m_out(new char[4 * (kChunk + 4)]) {}

    // Bytes of the uncompressed export taken so far (within a byte or so).
    std::uint64_t Offset() const
    {
        const std::size_t p = static_cast<std::size_t>(gptr() - eback());
        const auto k = std::lower_bound(m_expanded.begin(), m_expanded.end(), p) - m_expanded.begin();
        return m_chunkStart + p - 3 * static_cast<std::uint64_t>(k);
    }
    bool AtEnd() const { return m_eof; }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        m_expanded.clear();
        std::size_t o = 0;
        // Until some bytes come out: a chunk may end inside a sequence.
        while (o == 0 && !(m_eof && m_carry == 0)) {
            // Bytes of a sequence cut at the chunk's end come first.
            std::memmove(m_raw.get(), m_raw.get() + m_rawUsed, m_carry);
            m_chunkStart += m_rawUsed;
            std::size_t have = m_carry;
            if (!m_eof) {
                const std::size_t got = m_src.Read(m_raw.get() + have, kChunk);
                if (got == 0)
                    m_eof = true;
                have += got;
            }
            const auto* raw = reinterpret_cast<const unsigned char*>(m_raw.get());
            char* out = m_out.get();
            std::size_t i = 0;
            while (i < have) {
                // Runs of ASCII, the usual content, go across eight bytes at a time.
                while (i + 8 <= have) {
                    std::uint64_t word;
                    std::memcpy(&word, raw + i, 8);
                    if (word & 0x8080808080808080ull)
                        break;
                    std::memcpy(out + o, &word, 8);
                    i += 8;
                    o += 8;
                }
                if (i == have)
                    break;
                if (raw[i] < 0x80) {
                    out[o++] = static_cast<char>(raw[i++]);
                    continue;
                }
                const int len = Utf8Length(raw + i, have - i, m_eof);
                if (len < 0)
                    break; // the rest comes with the next chunk
                if (len > 0) {
                    std::memcpy(out + o, raw + i, static_cast<std::size_t>(len));
                    o += static_cast<std::size_t>(len);
                    i += static_cast<std::size_t>(len);
                    continue;
                }
                const unsigned char b = raw[i++];
                m_expanded.push_back(o);
                out[o++] = static_cast<char>(0xF4);
                out[o++] = static_cast<char>(0x8F);
                out[o++] = static_cast<char>(b >= 0xC0 ? 0xBF : 0xBE);
                out[o++] = static_cast<char>(0x80 | (b & 0x3F));
            }
            m_rawUsed = i;
            m_carry = have - i;
        }
        char* out = m_out.get();
        setg(out, out, out + o);
        if (o == 0)
            return traits_type::eof();
        return traits_type::to_int_type(*gptr());
    }

private:
    Source& m_src;
    std::unique_ptr<char[]> m_raw;
    std::unique_ptr<char[]> m_out;
    std::vector<std::size_t> m_expanded; // output positions of the mapped bytes of this chunk
    std::uint64_t m_chunkStart = 0;      // export offset of this chunk's first byte
    std::size_t m_rawUsed = 0;
    std::size_t m_carry = 0;
    bool m_eof = false;
};

// The bytes back from the parser's strings (see MappedBuf).
void UnmapBytes(std::string& s)
{
    if (s.find('\xF4') == std::string::npos)
        return;
    std::size_t o = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
        if (c(i) == 0xF4 && i + 3 < s.size() && c(i + 1) == 0x8F && (c(i + 2) == 0xBE || c(i + 2) == 0xBF)) {
            s[o++] = static_cast<char>(0x80 | ((c(i + 2) & 1) << 6) | (c(i + 3) & 0x3F));
            i += 4;
        } else
            s[o++] = s[i++];
    }
    s.resize(o);
}

// One entry of the export, as far as it matters here.
struct Entry {
    std::string name;
    bool hasName = false;
    std::uint64_t asize = 0, dsize = 0, dev = 0, ino = 0, nlink = 0, mode = 0;
    bool hasDev = false, hasIno = false, hasMode = false, hasMtime = false;
    bool hlnkc = false, readError = false;
    std::int64_t mtime = kNoTime;
    std::string excluded; // "" when not excluded

    // As new, keeping the strings' room (one entry after the other is read into it).
    void Reset()
    {
        name.clear();
        excluded.clear();
        hasName = hasDev = hasIno = hasMode = hasMtime = hlnkc = readError = false;
        asize = dsize = dev = ino = nlink = mode = 0;
        mtime = kNoTime;
    }
};

enum class Field { Unknown, Name, Asize, Dsize, Dev, Ino, Nlink, Mode, Mtime, Hlnkc, ReadError, Excluded };

// By length first: every entry has some eight keys, so this runs once per key.
Field FieldOf(const std::string& key)
{
    const auto is = [&](std::string_view name) { return std::string_view(key) == name; };
    switch (key.size()) {
    case 3:
        return is("dev") ? Field::Dev : is("ino") ? Field::Ino : Field::Unknown;
    case 4:
        return is("name") ? Field::Name : is("mode") ? Field::Mode : Field::Unknown;
    case 5:
        if (key[0] == 'a')
            return is("asize") ? Field::Asize : Field::Unknown;
        if (key[0] == 'd')
            return is("dsize") ? Field::Dsize : Field::Unknown;
        if (key[0] == 'm')
            return is("mtime") ? Field::Mtime : Field::Unknown;
        if (key[0] == 'n')
            return is("nlink") ? Field::Nlink : Field::Unknown;
        return is("hlnkc") ? Field::Hlnkc : Field::Unknown;
    case 8:
        return is("excluded") ? Field::Excluded : Field::Unknown;
    case 10:
        return is("read_error") ? Field::ReadError : Field::Unknown;
    default:
        return Field::Unknown;
    }
}

const char* FieldName(Field f)
{
    switch (f) {
    case Field::Name: return "name";
    case Field::Asize: return "asize";
    case Field::Dsize: return "dsize";
    case Field::Dev: return "dev";
    case Field::Ino: return "ino";
    case Field::Nlink: return "nlink";
    case Field::Mode: return "mode";
    case Field::Mtime: return "mtime";
    case Field::Hlnkc: return "hlnkc";
    case Field::ReadError: return "read_error";
    case Field::Excluded: return "excluded";
    case Field::Unknown: break;
    }
    return "";
}

// Report paths of all folders may take this many bytes beyond kPathBytesPerByte per byte
// of the export: a long chain of nested folders costs the square of its depth in paths.
constexpr std::uint64_t kPathBytesFree = 64ull << 20;
constexpr std::uint64_t kPathBytesPerByte = 16;

class Importer final : public nlohmann::json_sax<nlohmann::json> {
public:
    Importer(MappedBuf& buf, DriveReport& drive, const NcduImportOptions& options, ILoadProgress& progress)
        : m_buf(buf), m_drive(drive), m_builder(drive, ReportBuilder::Origin::Scan), m_options(options),
          m_progress(progress)
    {
    }

    std::string m_error;      // set when the import failed
    bool m_notNcdu = false;   // the failure is that this is no export at all
    bool m_done = false;      // the whole top-level array was read
    std::string m_program;    // progname and progver of the metadata
    std::string m_version;
    std::int64_t m_timestamp = 0;
    WalkCounts m_counts;

    bool null() override { return Scalar("null"); }
    bool boolean(bool v) override
    {
        if (m_skip || !Expecting())
            return Scalar("true or false");
        switch (m_field) {
        case Field::Hlnkc: m_entry.hlnkc = v; break;
        case Field::ReadError: m_entry.readError = v; break;
        default: return WrongType();
        }
        return true;
    }
    bool number_integer(number_integer_t v) override
    {
        if (v >= 0)
            return number_unsigned(static_cast<number_unsigned_t>(v));
        if (m_skip || m_state == State::Meta || (m_state == State::Item && m_field == Field::Unknown))
            return true;
        if (m_state == State::Major)
            return NotNcdu();
        if (m_state == State::Item && m_field == Field::Mtime && v > kNoTime) {
            m_entry.mtime = v;
            m_entry.hasMtime = true;
            return true;
        }
        if (m_state == State::Item && m_field != Field::Unknown)
            return Fail(std::string("\"") + FieldName(m_field) + "\" is negative");
        return Scalar("number");
    }
    bool number_unsigned(number_unsigned_t v) override
    {
        if (m_skip)
            return true;
        switch (m_state) {
        case State::Major:
            if (v != 1)
                return NotNcdu();
            m_state = State::Minor;
            return true;
        case State::Minor:
            m_state = State::MetaStart;
            return true;
        case State::Meta:
            if (m_metaField == "timestamp" && v <= static_cast<std::uint64_t>(INT64_MAX))
                m_timestamp = static_cast<std::int64_t>(v);
            return true;
        case State::Item:
            break;
        default:
            return Scalar("number");
        }
        const bool fits = v <= static_cast<std::uint64_t>(INT64_MAX);
        switch (m_field) {
        case Field::Unknown: return true;
        case Field::Asize: m_entry.asize = v; break;
        case Field::Dsize: m_entry.dsize = v; break;
        case Field::Dev: m_entry.dev = v; m_entry.hasDev = true; return true;
        case Field::Ino: m_entry.ino = v; m_entry.hasIno = true; return true;
        case Field::Nlink: m_entry.nlink = v; return true;
        case Field::Mode: m_entry.mode = v; m_entry.hasMode = true; return true;
        case Field::Mtime:
            if (!fits)
                break;
            m_entry.mtime = static_cast<std::int64_t>(v);
            m_entry.hasMtime = true;
            return true;
        default: return WrongType();
        }
        if (!fits)
            return Fail(std::string("\"") + FieldName(m_field) + "\" is beyond 64 bits");
        return true;
    }
    bool number_float(number_float_t, const string_t&) override
    {
        if (m_skip || m_state == State::Meta || (m_state == State::Item && m_field == Field::Unknown))
            return true;
        if (m_state == State::Item)
            return Fail(std::string("\"") + FieldName(m_field) + "\" is not a whole number of 64 bits");
        return m_state == State::Major ? NotNcdu() : Scalar("number");
    }
    bool string(string_t& v) override
    {
        if (m_skip)
            return true;
        if (m_state == State::Meta) {
            UnmapBytes(v);
            if (m_metaField == "progname")
                m_program = v.substr(0, 200);
            else if (m_metaField == "progver")
                m_version = v.substr(0, 200);
            return true;
        }
        if (m_state != State::Item)
            return Scalar("string");
        if (m_field == Field::Unknown)
            return true;
        UnmapBytes(v);
        // Copied into the entry's room: the parser keeps its own buffer too.
        if (m_field == Field::Name) {
            m_entry.name.assign(v);
            m_entry.hasName = true;
        } else if (m_field == Field::Excluded)
            m_entry.excluded.assign(v.empty() ? std::string_view("pattern") : std::string_view(v));
        else
            return WrongType();
        return true;
    }
    bool binary(binary_t&) override { return Scalar("binary"); }
    bool start_object(std::size_t) override
    {
        if (m_skip || ValueOfUnknown())
            return Skip();
        switch (m_state) {
        case State::MetaStart:
            m_state = State::Meta;
            m_metaField.clear();
            return true;
        case State::Meta: // a value we do not read
        case State::AfterTree:
            return Skip();
        case State::DirInfo:
        case State::InDir:
            m_itemIsDir = m_state == State::DirInfo;
            m_state = State::Item;
            m_entry.Reset();
            m_field = Field::Unknown;
            return true;
        case State::Item:
            return WrongType();
        default:
            return Fail("an object where none belongs");
        }
    }
    bool key(string_t& k) override
    {
        if (m_skip)
            return true;
        if (m_state == State::Meta)
            m_metaField = k;
        else
            m_field = FieldOf(k);
        return true;
    }
    bool end_object() override
    {
        if (m_skip)
            return Unskip();
        if (m_state == State::Meta) {
            m_state = State::TreeStart;
            return true;
        }
        // An entry is complete.
        if (!m_entry.hasName)
            return Fail("an entry without a name");
        const bool root = m_frames.empty();
        if (!root && !NameOk(m_entry.name))
            return Fail("the name \"" + Printable(m_entry.name) + "\" cannot be a file name");
        m_state = State::InDir;
        if (m_itemIsDir)
            return EnterDir();
        if (!m_entry.excluded.empty()) {
            // Left out: a folder without content, unless it is known to be no directory.
            if (m_entry.hasMode && !S_ISDIR(static_cast<mode_t>(m_entry.mode)))
                return true;
            return EnterDir() && LeaveDir();
        }
        return AddFile();
    }
    bool start_array(std::size_t) override
    {
        if (m_skip || ValueOfUnknown())
            return Skip();
        switch (m_state) {
        case State::Top:
            m_state = State::Major;
            return true;
        case State::TreeStart:
        case State::InDir:
            m_state = State::DirInfo;
            return true;
        case State::Meta:
            return Skip();
        case State::AfterTree:
            return Skip();
        case State::Major:
            return NotNcdu();
        default:
            return Fail(m_state == State::Item ? std::string("\"") + FieldName(m_field) + "\" has the wrong type"
                                               : std::string("an array where none belongs"));
        }
    }
    bool end_array() override
    {
        if (m_skip)
            return Unskip();
        switch (m_state) {
        case State::InDir:
            if (!LeaveDir())
                return false;
            if (m_frames.empty())
                m_state = State::AfterTree;
            return true;
        case State::AfterTree:
            m_state = State::Done;
            m_done = true;
            return true;
        case State::DirInfo:
            return Fail("a folder without its name");
        case State::Major:
            return NotNcdu();
        default:
            return Fail("the export ends too early");
        }
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override
    {
        if (m_error.empty()) {
            if (m_state == State::Top || m_state == State::Major)
                return NotNcdu();
            Fail(m_buf.AtEnd() ? "it ends too early" : "it is not valid JSON there");
        }
        return false;
    }

    bool Finish()
    {
        m_builder.Finish();
        SumSubtrees(m_drive);
        FolderRecord* root = m_drive.FirstFolder();
        const std::int64_t total = root ? root->nSpaceWithSubs : 0;
        for (FolderRecord* rec : m_drive.Folders())
            SetShares(*rec, total);
        if (root)
            root->dPercentOfParent = root->dPercentOfDisc = -1.0;
        m_drive.SortFolders();
        return true;
    }

private:
    enum class State { Top, Major, Minor, MetaStart, Meta, TreeStart, DirInfo, InDir, Item, AfterTree, Done };
    struct Frame {
        std::size_t pos;   // in the folder list (walk order)
        std::uint64_t dev; // of the folder, for its hard-linked files
    };

    std::string Printable(const std::string& s) const
    {
        std::string p;
        for (unsigned char c : s.substr(0, 100))
            p += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
        return p;
    }
    bool Fail(const std::string& why)
    {
        if (m_error.empty())
            m_error = "The ncdu export is damaged at byte " + std::to_string(m_buf.Offset()) + ": " + why + ".";
        return false;
    }
    bool NotNcdu()
    {
        if (m_error.empty()) {
            m_error = kMsgNotNcduExport;
            m_notNcdu = true;
        }
        return false;
    }
    bool WrongType() { return Fail(std::string("\"") + FieldName(m_field) + "\" has the wrong type"); }
    // A value that is not expected where it stands.
    bool Scalar(const char* what)
    {
        if (m_skip || m_state == State::Meta || m_state == State::AfterTree)
            return true;
        if (m_state == State::Item)
            return m_field == Field::Unknown ? true : WrongType();
        if (m_state == State::Top || m_state == State::Major)
            return NotNcdu();
        return Fail(std::string("a ") + what + " where none belongs");
    }
    bool Expecting() const { return m_state == State::Item && m_field != Field::Unknown; }
    bool ValueOfUnknown() const { return m_state == State::Item && m_field == Field::Unknown; }
    bool Skip()
    {
        if (m_state == State::Item && m_field != Field::Unknown && !m_skip)
            return WrongType();
        ++m_skip;
        return true;
    }
    bool Unskip()
    {
        --m_skip;
        return true;
    }
    static bool NameOk(const std::string& n)
    {
        return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
               n.find('\0') == std::string::npos;
    }

    bool EnterDir()
    {
        const bool root = m_frames.empty();
        std::string path;
        if (root)
            path = std::string(1, m_options.cDrive) + ":\\";
        else {
            const std::string& parent = m_drive.Folders()[m_frames.back().pos]->strPath;
            path.reserve(parent.size() + m_entry.name.size() + 1);
            path = parent;
            AppendPathStep(path, m_entry.name);
        }
        m_pathBytes += path.size();
        if (m_pathBytes > kPathBytesFree + kPathBytesPerByte * m_buf.Offset())
            return Fail("its folders are nested too deeply to be read");
        const std::size_t pos = m_drive.Folders().size();
        FolderRecord& rec = m_builder.EnterFolder(std::move(path), static_cast<std::int32_t>(m_frames.size()));
        if (root)
            m_rootName = m_entry.name;
        if (m_entry.readError) {
            rec.state = FolderState::ReadError;
            ++m_counts.nUnreadable;
        } else if (!m_entry.excluded.empty()) {
            const std::string& e = m_entry.excluded;
            if (e == "otherfs" || e == "othfs" || e == "kernfs") {
                rec.state = FolderState::OtherFs;
                ++m_counts.nOtherFs;
            } else {
                rec.state = FolderState::LeftOut;
                ++m_counts.nLeftOut;
            }
        }
        if (m_entry.hasMtime)
            rec.nNewestChange = m_entry.mtime;
        const std::uint64_t dev = m_entry.hasDev ? m_entry.dev : (root ? 0 : m_frames.back().dev);
        m_frames.push_back(Frame{pos, dev});
        if ((pos & 1023) == 0) {
            m_progress.SetPathText(rec.strPath);
            m_progress.Redraw();
        }
        return true;
    }

    // Closes the innermost folder; refuses a name it holds twice.
    bool LeaveDir()
    {
        const Frame top = m_frames.back();
        m_builder.LeaveFolder();
        m_frames.pop_back();
        const std::vector<FolderRecord*>& list = m_drive.Folders();
        FolderRecord& rec = *list[top.pos];
        if (rec.files.capacity() > rec.files.size()) // no slack kept: a scan sizes the array exactly
            rec.files.shrink_to_fit();
        if (rec.files.empty() && rec.nDescendants < 2)
            return true; // too few names for two to be alike
        // Sub-folders by their path step: their own name unless it holds a backslash.
        std::vector<std::string>& mapped = m_mapped;
        std::vector<std::string_view>& names = m_names;
        mapped.clear();
        names.clear();
        for (const FileEntry& f : rec.files)
            names.push_back(f.strName);
        const std::size_t end = top.pos + 1 + static_cast<std::size_t>(rec.nDescendants);
        for (std::size_t c = top.pos + 1; c < end; c += 1 + static_cast<std::size_t>(list[c]->nDescendants)) {
            const std::string& p = list[c]->strPath;
            const std::string_view step = std::string_view(p).substr(rec.strPath.size(), p.size() - rec.strPath.size() - 1);
            if (step.find('/') == std::string_view::npos)
                names.push_back(step);
            else
                mapped.push_back(PathStepToName(step));
        }
        for (const std::string& s : mapped)
            names.push_back(s);
        std::sort(names.begin(), names.end());
        const auto twice = std::adjacent_find(names.begin(), names.end());
        if (twice != names.end())
            return Fail("the name \"" + Printable(std::string(*twice)) + "\" is in one folder twice");
        return true;
    }

    bool AddFile()
    {
        if (m_frames.empty())
            return Fail("a file outside of every folder");
        const std::int64_t asize = static_cast<std::int64_t>(m_entry.asize);
        const std::int64_t dsize = static_cast<std::int64_t>(m_entry.dsize);
        const std::int64_t size = m_options.bDiscUsage ? dsize : asize;
        const std::int64_t other = m_options.bDiscUsage ? asize : dsize;
        bool counts = true;
        if ((m_entry.hlnkc || m_entry.nlink > 1) && m_entry.hasIno)
            counts = m_links.FirstName(m_entry.hasDev ? m_entry.dev : m_frames.back().dev, m_entry.ino);
        if (counts && (__builtin_add_overflow(m_total, size, &m_total) ||
                       __builtin_add_overflow(m_otherTotal, other, &m_otherTotal)))
            return Fail("its sizes add up to more than 64 bits hold");
        m_builder.AddFile(m_entry.name, size, other, m_entry.hasMtime ? m_entry.mtime : kNoTime, counts);
        return true;
    }

    MappedBuf& m_buf;
    DriveReport& m_drive;
    ReportBuilder m_builder;
    const NcduImportOptions& m_options;
    ILoadProgress& m_progress;
    State m_state = State::Top;
    int m_skip = 0;            // depth inside a value that is not read
    bool m_itemIsDir = false;  // the entry being read is a folder's information
    Field m_field = Field::Unknown;
    std::string m_metaField;
    Entry m_entry;
    std::vector<Frame> m_frames; // the open folders, outermost first
    HardLinkSet m_links;
    std::int64_t m_total = 0, m_otherTotal = 0;
    std::uint64_t m_pathBytes = 0;
    std::vector<std::string> m_mapped;      // LeaveDir's room, kept from folder to folder
    std::vector<std::string_view> m_names;

public:
    std::string m_rootName;
};

// Skips blanks in s from i.
std::size_t SkipBlanks(std::string_view s, std::size_t i)
{
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r'))
        ++i;
    return i;
}

bool LooksLikePlainExport(std::string_view s)
{
    std::size_t i = SkipBlanks(s, 0);
    if (i >= s.size() || s[i] != '[')
        return false;
    i = SkipBlanks(s, i + 1);
    if (i >= s.size() || s[i] != '1')
        return false;
    i = SkipBlanks(s, i + 1);
    if (i >= s.size() || s[i] != ',')
        return false;
    i = SkipBlanks(s, i + 1);
    const std::size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i;
    if (i == digits)
        return false;
    i = SkipBlanks(s, i);
    if (i >= s.size() || s[i] != ',')
        return false;
    i = SkipBlanks(s, i + 1);
    return i < s.size() && s[i] == '{';
}

} // namespace

bool LooksLikeNcduExport(std::string_view start)
{
    if (!IsGzip(start))
        return LooksLikePlainExport(start);
    z_stream z{};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK)
        return false;
    char out[512];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(start.data()));
    z.avail_in = static_cast<uInt>(start.size());
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = sizeof out;
    inflate(&z, Z_SYNC_FLUSH);
    const std::size_t n = sizeof out - z.avail_out;
    inflateEnd(&z);
    return LooksLikePlainExport(std::string_view(out, n));
}

LoadedReport ImportNcduExport(ReportReader& in, const NcduImportOptions& options, ILoadProgress& progress)
{
    LoadedReport loaded;
    try {
        auto drive = std::make_unique<DriveReport>();
        drive->cDrive = options.cDrive;
        drive->bStoreFileNames = true;
        drive->bFolderFacts = true;
        drive->nRankingSize = std::max(0, options.nRankingSize);
        progress.SetStepText(LoadingDriveText(options.cDrive));
        Source source(in);
        MappedBuf buf(source);
        std::istream stream(&buf);
        Importer importer(buf, *drive, options, progress);
        const bool parsed = nlohmann::json::sax_parse(stream, &importer);
        if (importer.m_error.empty() && source.Failed())
            importer.m_error = "The ncdu export is damaged at byte " + std::to_string(buf.Offset()) +
                               ": its gzip compression is damaged or cut short.";
        if (importer.m_error.empty() && (!parsed || !importer.m_done))
            importer.m_error = "The ncdu export is damaged at byte " + std::to_string(buf.Offset()) + ".";
        if (!importer.m_error.empty()) {
            loaded.result = LoadResult::Fail(kCaptionOpen, importer.m_error);
            return loaded;
        }
        importer.Finish();
        auto facts = std::make_unique<DriveFacts>();
        facts->strDirectory = importer.m_rootName;
        facts->options.bDiscUsage = options.bDiscUsage;
        facts->options.bCountLinksOnce = true;
        facts->counts = importer.m_counts;
        facts->nRankingSize = drive->nRankingSize;
        drive->pFacts = std::move(facts);
        ReportFacts report;
        report.strProgramVersion = importer.m_program.empty() ? std::string("ncdu export")
                                                              : importer.m_program + " " + importer.m_version;
        report.nStartTime = report.nEndTime = importer.m_timestamp;
        report.bComplete = true;
        loaded.facts = std::move(report);
        loaded.bRanking = drive->nRankingSize > 0;
        if (loaded.bRanking)
            MergeRanking(loaded.rankingAll, drive->ranking);
        loaded.drives.push_back(std::move(drive));
        loaded.nDrives = 1;
    } catch (const std::bad_alloc&) {
        loaded = LoadedReport{};
        loaded.result = LoadResult::Fail(kCaptionOpen, kMsgOutOfMemory);
    }
    return loaded;
}

} // namespace tvl
