#include "ReportFile.h"

#include "ReportBuilder.h"
#include "Scan.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include <zlib.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace tvl {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;

// The fewest bytes each kind of entry takes in a file; a count is believed only when
// that many entries of this size fit in the bytes left.
constexpr std::uint64_t kMinDriveSection = 1 + 4 + 4;      // letter, flag, folder count
constexpr std::uint64_t kMinFolderRecord = 1 + 4 * 8 + 4;  // empty path, four numbers, level
constexpr std::uint64_t kMinFileEntry = 1 + 8;             // empty name, size
constexpr std::uint64_t kMinRankEntry = 1 + 1 + 8;         // empty name and location, size
constexpr std::uint64_t kMinRankingSection = 4;            // the count

std::uint32_t LoadLe32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint64_t LoadLe64(const unsigned char* p)
{
    return std::uint64_t(LoadLe32(p)) | std::uint64_t(LoadLe32(p + 4)) << 32;
}

void StoreLe32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void StoreLe64(unsigned char* p, std::uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// int32 position for the progress display; a file can hold more records than an int
// counts, the display then simply stays full.
int ClampToInt(std::int64_t v)
{
    return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
}

LoadResult NotValid()
{
    return LoadResult::Fail(kCaptionOpen, kMsgNotValidReport);
}

// Reads a counted list: the int32 count (believed only when that many entries of at
// least minBytes fit in the bytes left), then each entry with readOne. False when the
// input is short; the entries read in full stay in `out`.
template <class T, class ReadOne>
bool ReadList(ReportReader& in, std::uint64_t minBytes, std::vector<T>& out, ReadOne&& readOne)
{
    std::int32_t count = 0;
    if (!in.ReadInt32(count) || !in.CanHold(count, minBytes))
        return false;
    out.reserve(out.size() + in.ReserveFor(count));
    for (std::int32_t i = 0; i < count; ++i) {
        if (!readOne(out.emplace_back())) {
            out.pop_back();
            return false;
        }
    }
    return true;
}

// Reads a ranking section into `ranking` (emptied first).
bool ReadRanking(ReportReader& in, std::vector<RankEntry>& ranking)
{
    ranking.clear();
    return ReadList(in, kMinRankEntry, ranking, [&](RankEntry& e) {
        return in.ReadString(e.strName) && in.ReadString(e.strLocation) && in.ReadInt64(e.nSize);
    });
}

void WriteRanking(ReportWriter& out, const std::vector<RankEntry>& ranking)
{
    out.WriteInt32(static_cast<std::int32_t>(ranking.size()));
    for (const RankEntry& e : ranking) {
        out.WriteString(e.strName);
        out.WriteString(e.strLocation);
        out.WriteInt64(e.nSize);
    }
}

} // namespace

std::string InvalidVersionMessage(std::int32_t nVersion)
{
    return "Invalid version: " + std::to_string(nVersion) + "\n\nTovaline is compatible with version " +
           std::to_string(kReportVersion) + "!";
}

std::string LoadingDriveText(char cDrive)
{
    return std::string("Loading report for drive ") + cDrive + ":";
}

// ---------------------------------------------------------------------------------
// ReportReader

ReportReader::ReportReader(const void* data, std::size_t size)
    : m_memory(true),
      m_pos(static_cast<const unsigned char*>(data)),
      m_end(static_cast<const unsigned char*>(data) + size),
      m_left(size)
{
    if (!data) // an empty block may come without an address
        m_pos = m_end = nullptr;
}

ReportReader::ReportReader(const std::string& pathName)
{
    const int fd = ::open(pathName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return;
    }
    try {
        m_buffer.reset(new unsigned char[kBufferSize]);
    } catch (...) {
        ::close(fd);
        throw;
    }
    m_fd = fd;
    // A pipe or device has no size to check counts against: it is read as a stream,
    // and its header is checked before more than a buffer of it is taken in.
    m_stream = !S_ISREG(st.st_mode);
    m_left = m_stream ? 0 : static_cast<std::uint64_t>(st.st_size);
    m_pos = m_end = m_buffer.get();
}

ReportReader::~ReportReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ReportReader::Refill()
{
    if (m_memory || m_fd < 0 || (!m_stream && m_left == 0))
        return false;
    const std::size_t want =
        m_stream ? kBufferSize : static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, m_left));
    ssize_t n = -1;
    if (m_beforeWait) {
        // Whether the read would wait: a pipe tells by poll; a file is read without
        // waiting where the system can (what is in memory comes at once).
        if (m_stream) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 0) == 0)
                m_beforeWait();
        } else if (m_bNoWaitReads) {
            iovec v{m_buffer.get(), want};
            n = ::preadv2(m_fd, &v, 1, -1, RWF_NOWAIT);
            if (n < 0 && errno == EAGAIN)
                m_beforeWait();
            else if (n < 0 && errno != EINTR)
                m_bNoWaitReads = false; // not on this file system: read as usual
        }
    }
    while (n < 0) {
        n = ::read(m_fd, m_buffer.get(), want);
        if (n < 0 && errno != EINTR)
            break;
    }
    if (n <= 0) {
        m_left = 0; // the input shrank, ended or cannot be read: it ends here
        m_pos = m_end = m_buffer.get();
        return false;
    }
    m_pos = m_buffer.get();
    m_end = m_pos + n;
    if (m_stream)
        m_left = static_cast<std::uint64_t>(n);
    return true;
}

void ReportReader::Consume(std::size_t n)
{
    m_pos += n;
    m_left -= n;
}

bool ReportReader::ReadBytes(void* out, std::size_t n)
{
    auto* dst = static_cast<unsigned char*>(out);
    while (n > 0) {
        if (m_pos == m_end && !Refill())
            return false;
        const std::size_t k = std::min<std::size_t>(n, static_cast<std::size_t>(m_end - m_pos));
        std::memcpy(dst, m_pos, k);
        Consume(k);
        dst += k;
        n -= k;
    }
    return true;
}

const unsigned char* ReportReader::Take(std::size_t n, unsigned char* scratch)
{
    if (static_cast<std::size_t>(m_end - m_pos) >= n) { // the usual case: all in the buffer
        const unsigned char* p = m_pos;
        Consume(n);
        return p;
    }
    return ReadBytes(scratch, n) ? scratch : nullptr;
}

bool ReportReader::ReadInt32(std::int32_t& v)
{
    unsigned char b[4];
    const unsigned char* p = Take(4, b);
    if (p)
        v = static_cast<std::int32_t>(LoadLe32(p));
    return p != nullptr;
}

bool ReportReader::ReadInt64(std::int64_t& v)
{
    unsigned char b[8];
    const unsigned char* p = Take(8, b);
    if (p)
        v = static_cast<std::int64_t>(LoadLe64(p));
    return p != nullptr;
}

bool ReportReader::ReadDouble(double& v)
{
    unsigned char b[8];
    const unsigned char* p = Take(8, b);
    if (p)
        v = std::bit_cast<double>(LoadLe64(p));
    return p != nullptr;
}

bool ReportReader::ReadString(std::string& s)
{
    s.clear();
    if (m_pos != m_end) {
        // The usual case: the whole string is in the buffer.
        if (const void* zero = std::memchr(m_pos, 0, static_cast<std::size_t>(m_end - m_pos))) {
            const std::size_t k = static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - m_pos);
            s.assign(reinterpret_cast<const char*>(m_pos), k);
            Consume(k + 1);
            return true;
        }
    }
    for (;;) {
        if (m_pos == m_end && !Refill())
            return false; // the file ends inside the string
        const std::size_t avail = static_cast<std::size_t>(m_end - m_pos);
        const void* zero = std::memchr(m_pos, 0, avail);
        const std::size_t k = zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - m_pos) : avail;
        s.append(reinterpret_cast<const char*>(m_pos), k);
        Consume(k);
        if (zero) {
            Consume(1); // the terminator
            return true;
        }
    }
}

bool ReportReader::AtEnd()
{
    return m_pos == m_end && !Refill();
}

std::optional<std::uint64_t> ReportReader::BytesLeft() const
{
    if (m_stream)
        return std::nullopt;
    return m_left;
}

bool ReportReader::CanHold(std::int64_t count, std::uint64_t minBytes) const
{
    if (count <= 0 || m_stream)
        return true;
    return static_cast<std::uint64_t>(count) <= m_left / minBytes;
}

std::size_t ReportReader::ReserveFor(std::int32_t count) const
{
    if (count <= 0)
        return 0;
    return m_stream ? std::min<std::size_t>(static_cast<std::size_t>(count), 1024) : static_cast<std::size_t>(count);
}

// ---------------------------------------------------------------------------------
// ReportWriter

ReportWriter::ReportWriter(std::string& out) : m_string(&out) {}

ReportWriter::ReportWriter(int fd) : m_fd(fd), m_buffer(new unsigned char[kBufferSize]) {}

void ReportWriter::WriteBytes(const void* data, std::size_t n)
{
    if (m_errno)
        return;
    if (m_string) {
        m_string->append(static_cast<const char*>(data), n);
        return;
    }
    const auto* p = static_cast<const unsigned char*>(data);
    if (n <= kBufferSize - m_used) { // the usual case
        std::memcpy(m_buffer.get() + m_used, p, n);
        m_used += n;
        return;
    }
    if (!Flush())
        return;
    if (n >= kBufferSize) {
        // Larger than the buffer: straight through.
        while (n > 0) {
            const ssize_t w = ::write(m_fd, p, n);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                m_errno = w < 0 ? errno : EIO;
                return;
            }
            p += w;
            n -= static_cast<std::size_t>(w);
        }
        return;
    }
    std::memcpy(m_buffer.get(), p, n);
    m_used = n;
}

void ReportWriter::WriteInt32(std::int32_t v)
{
    unsigned char b[4];
    StoreLe32(b, static_cast<std::uint32_t>(v));
    WriteBytes(b, 4);
}

void ReportWriter::WriteInt64(std::int64_t v)
{
    unsigned char b[8];
    StoreLe64(b, static_cast<std::uint64_t>(v));
    WriteBytes(b, 8);
}

void ReportWriter::WriteDouble(double v)
{
    unsigned char b[8];
    StoreLe64(b, std::bit_cast<std::uint64_t>(v));
    WriteBytes(b, 8);
}

void ReportWriter::WriteString(const std::string& s)
{
    WriteBytes(s.c_str(), s.size() + 1);
}

bool ReportWriter::Flush()
{
    if (m_errno)
        return false;
    if (m_string)
        return true;
    const unsigned char* p = m_buffer.get();
    std::size_t n = m_used;
    m_used = 0;
    while (n > 0) {
        const ssize_t w = ::write(m_fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            m_errno = w < 0 ? errno : EIO;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

// ---------------------------------------------------------------------------------
// Drive sections

namespace {

// Writes one drive section; the ranking section only when bRanking.
void SaveToFile(const DriveReport& drive, ReportWriter& out, bool bRanking)
{
    out.WriteBytes(&drive.cDrive, 1);
    out.WriteInt32(drive.bStoreFileNames ? 1 : 0);
    out.WriteInt32(static_cast<std::int32_t>(drive.Folders().size()));
    for (const FolderRecord* f : drive.Folders()) {
        out.WriteString(f->strPath);
        out.WriteInt64(f->nSpaceWithoutSubs);
        out.WriteInt64(f->nSpaceWithSubs);
        out.WriteDouble(f->dPercentOfParent);
        out.WriteDouble(f->dPercentOfDisc);
        out.WriteInt32(f->nLevel);
        if (drive.bStoreFileNames) {
            out.WriteInt32(static_cast<std::int32_t>(f->files.size()));
            for (const FileEntry& e : f->files) {
                out.WriteString(e.strName);
                out.WriteInt64(e.nSize);
            }
        }
    }
    if (bRanking)
        WriteRanking(out, drive.ranking);
}

// Reads one folder record and enters it into the builder. False when the input is
// short; the record is then left out.
bool ReadFolderRecord(ReportReader& in, bool bStoreFileNames, ReportBuilder& builder, ILoadProgress& progress)
{
    std::string path;
    std::int64_t withoutSubs = 0, withSubs = 0;
    double ofParent = 0, ofDisc = 0;
    std::int32_t level = 0;
    if (!in.ReadString(path))
        return false;
    progress.SetPathText(path);
    if (!in.ReadInt64(withoutSubs) || !in.ReadInt64(withSubs) || !in.ReadDouble(ofParent) ||
        !in.ReadDouble(ofDisc) || !in.ReadInt32(level))
        return false;
    std::vector<FileEntry> files;
    if (bStoreFileNames && !ReadList(in, kMinFileEntry, files, [&](FileEntry& e) {
            return in.ReadString(e.strName) && in.ReadInt64(e.nSize);
        }))
        return false;
    FolderRecord& rec = builder.EnterFolder(std::move(path), level);
    builder.SetFiles(std::move(files));
    rec.nSpaceWithoutSubs = withoutSubs;
    rec.nSpaceWithSubs = withSubs;
    rec.dPercentOfParent = ofParent;
    rec.dPercentOfDisc = ofDisc;
    return true;
}

// Reads one drive section into an empty DriveReport: its folders go into a
// ReportBuilder (Origin::File) with their levels. nFoldersBefore and nFoldersTotal only
// feed the progress display. On failure the records read so far stay in the report.
LoadResult LoadFromFile(DriveReport& drive, ReportReader& in, bool bRanking, std::int64_t nFoldersBefore,
                        std::int32_t nFoldersTotal, ILoadProgress& progress)
{
    std::int32_t storeFileNames = 0, nFolders = 0;
    if (!in.ReadBytes(&drive.cDrive, 1) || !in.ReadInt32(storeFileNames) || !in.ReadInt32(nFolders))
        return NotValid();
    drive.bStoreFileNames = storeFileNames != 0;
    progress.SetStepText(LoadingDriveText(drive.cDrive));

    const std::uint64_t minRecord = kMinFolderRecord + (drive.bStoreFileNames ? 4 : 0);
    if (!in.CanHold(nFolders, minRecord))
        return NotValid();

    ReportBuilder builder(drive, ReportBuilder::Origin::File);
    for (std::int32_t i = 0; i < nFolders; ++i) {
        progress.SetProgress(ClampToInt(nFoldersBefore + i), nFoldersTotal);
        bool ok = false;
        try {
            ok = ReadFolderRecord(in, drive.bStoreFileNames, builder, progress);
        } catch (const std::bad_alloc&) {
            builder.Finish();
            return LoadResult::Fail(kCaptionCreateReport, kMsgOutOfMemory);
        }
        if (!ok) {
            builder.Finish();
            return NotValid();
        }
    }
    builder.Finish();

    if (bRanking && !ReadRanking(in, drive.ranking))
        return NotValid();
    return LoadResult::Ok();
}

} // namespace

void WriteReport(ReportWriter& out, const ReportContent& report)
{
    std::uint32_t total = 0; // int32 addition, wrapping like the format's field
    std::int32_t drives = 0;
    for (const auto& d : report.drives)
        if (d) {
            total += static_cast<std::uint32_t>(d->Folders().size());
            ++drives;
        }
    out.WriteBytes(kReportMagic.data(), kReportMagic.size());
    out.WriteInt32(kReportVersion);
    out.WriteInt32(report.bRanking ? 1 : 0);
    out.WriteInt32(static_cast<std::int32_t>(total));
    out.WriteInt32(drives);
    for (const auto& d : report.drives)
        if (d)
            SaveToFile(*d, out, report.bRanking);
    if (report.bRanking)
        WriteRanking(out, report.rankingAll);
    WriteExtensionBlock(out, report);
}

// ---------------------------------------------------------------------------------
// The extension block

namespace {

constexpr std::uint32_t Tag(const char (&t)[5])
{
    return std::uint32_t(static_cast<unsigned char>(t[0])) | std::uint32_t(static_cast<unsigned char>(t[1])) << 8 |
           std::uint32_t(static_cast<unsigned char>(t[2])) << 16 | std::uint32_t(static_cast<unsigned char>(t[3])) << 24;
}
constexpr std::uint32_t kTagScan = Tag("SCAN");
constexpr std::uint32_t kTagDrive = Tag("DRIV");
constexpr std::uint32_t kTagCounted = Tag("CNTD");
constexpr std::uint32_t kTagFolders = Tag("FOLD");
constexpr std::uint32_t kTagFiles = Tag("FILE");
constexpr std::size_t kFolderFactsSize = 1 + 4 + 8 * 4;
constexpr std::size_t kFileFactsSize = 8 * 2;
constexpr std::size_t kBlockHead = 8 + 4 + 8; // magic, version, length
constexpr std::size_t kSectionHead = 4 + 8;   // tag, length

constexpr std::uint32_t kOptSkipHidden = 1, kOptLinksOnce = 2, kOptDiscUsage = 4;

std::uint32_t Crc32(const char* data, std::size_t n)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (n > 0) { // zlib takes at most 4 GB in one call
        const uInt k = static_cast<uInt>(std::min<std::size_t>(n, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), k);
        data += k;
        n -= k;
    }
    return static_cast<std::uint32_t>(crc);
}

// Reads the fields of a block's bytes; every read is checked against the end, and a
// failed read leaves the cursor failed for good.
class Cursor {
public:
    Cursor(const unsigned char* p, std::size_t n) : m_p(p), m_end(p + n) {}
    bool Ok() const { return m_ok; }
    std::size_t Left() const { return static_cast<std::size_t>(m_end - m_p); }
    const unsigned char* Take(std::size_t n)
    {
        if (!m_ok || Left() < n) {
            m_ok = false;
            return nullptr;
        }
        const unsigned char* p = m_p;
        m_p += n;
        return p;
    }
    std::uint32_t U32()
    {
        const unsigned char* p = Take(4);
        return p ? LoadLe32(p) : 0;
    }
    std::uint64_t U64()
    {
        const unsigned char* p = Take(8);
        return p ? LoadLe64(p) : 0;
    }
    std::string Str()
    {
        const std::uint32_t n = U32();
        const unsigned char* p = Take(n);
        return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
    }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
    bool m_ok = true;
};

// What the sections of a block say, before it is known to fit the report.
struct BlockContent {
    std::optional<ReportFacts> facts;
    std::vector<std::unique_ptr<DriveFacts>> drives;   // by drive index
    std::vector<std::optional<std::vector<bool>>> counted; // by drive index
    std::vector<const unsigned char*> folderFacts; // by drive index: the "FOLD" records, or null
    std::vector<const unsigned char*> fileFacts;   // by drive index: the "FILE" records, or null
};

// Puts a drive's folder and file facts into its records when they hold together: every
// state known, no count or size below zero, each folder's items and other sum those of
// its own files and of the folders below, each newest change no older than what is
// below it, and with file names the own files and other space those of the stored names
// that count. Returns false, the drive unchanged, otherwise; with `check` only checks.
// `counted` as the "CNTD" section gave it (null: every name counts).
bool TakeFolderFacts(DriveReport& d, const unsigned char* folders, const unsigned char* files,
                     const std::vector<bool>* counted, bool check)
{
    const std::vector<FolderRecord*>& list = d.Folders();
    const std::size_t n = list.size();
    struct Facts {
        FolderState state;
        std::int32_t nFiles;
        std::int64_t nItems, nOtherOwn, nOtherSubs, nNewest;
    };
    std::vector<Facts> facts(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char* p = folders + i * kFolderFactsSize;
        if (p[0] >= kFolderStateCount)
            return false;
        const std::uint32_t own = LoadLe32(p + 1);
        Facts& f = facts[i];
        f = Facts{static_cast<FolderState>(p[0]), static_cast<std::int32_t>(own),
                  static_cast<std::int64_t>(LoadLe64(p + 5)), static_cast<std::int64_t>(LoadLe64(p + 13)),
                  static_cast<std::int64_t>(LoadLe64(p + 21)), static_cast<std::int64_t>(LoadLe64(p + 29))};
        if (own > INT32_MAX || f.nItems < 0 || f.nOtherOwn < 0 || f.nOtherSubs < 0)
            return false;
    }
    // Sums from below, in reverse list order (each subtree follows its folder), in
    // unsigned arithmetic so that crafted numbers cannot overflow.
    // Each folder's parent by position: the parent is on the stack of open folders.
    std::vector<std::size_t> parentOf(n, SIZE_MAX), open;
    for (std::size_t i = 0; i < n; ++i) {
        while (!open.empty() && list[open.back()] != list[i]->pParent)
            open.pop_back();
        if (!open.empty())
            parentOf[i] = open.back();
        open.push_back(i);
    }
    std::vector<std::uint64_t> items(n), other(n);
    std::vector<std::int64_t> newest(n, kNoTime);
    for (std::size_t i = 0; i < n; ++i) {
        items[i] = static_cast<std::uint64_t>(facts[i].nFiles);
        other[i] = static_cast<std::uint64_t>(facts[i].nOtherOwn);
    }
    for (std::size_t i = n; i-- > 0;) {
        if (items[i] != static_cast<std::uint64_t>(facts[i].nItems) ||
            other[i] != static_cast<std::uint64_t>(facts[i].nOtherSubs) || newest[i] > facts[i].nNewest)
            return false;
        if (const std::size_t p = parentOf[i]; p != SIZE_MAX) {
            items[p] += items[i] + 1;
            other[p] += other[i];
            newest[p] = std::max(newest[p], facts[i].nNewest);
        }
    }
    // The stored names, in file order (checked here, taken below from the same bytes).
    if (d.bStoreFileNames) {
        if (!files)
            return false;
        std::size_t k = 0;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint64_t own = 0, ownOther = 0;
            for (std::size_t j = 0; j < list[i]->files.size(); ++j, ++k) {
                const unsigned char* p = files + k * kFileFactsSize;
                const auto otherSize = static_cast<std::int64_t>(LoadLe64(p));
                const auto change = static_cast<std::int64_t>(LoadLe64(p + 8));
                if (otherSize < 0 || change > facts[i].nNewest)
                    return false;
                if (!counted || (*counted)[k]) {
                    ++own;
                    ownOther += static_cast<std::uint64_t>(otherSize);
                }
            }
            if (own != static_cast<std::uint64_t>(facts[i].nFiles) ||
                ownOther != static_cast<std::uint64_t>(facts[i].nOtherOwn))
                return false;
        }
    }
    if (check)
        return true;
    std::size_t k = 0;
    for (std::size_t i = 0; i < n; ++i) {
        FolderRecord& r = *list[i];
        r.state = facts[i].state;
        r.nFiles = facts[i].nFiles;
        r.nItemsWithSubs = facts[i].nItems;
        r.nOtherWithoutSubs = facts[i].nOtherOwn;
        r.nOtherWithSubs = facts[i].nOtherSubs;
        r.nNewestChange = facts[i].nNewest;
        for (FileEntry& e : r.files) {
            const unsigned char* p = files + k++ * kFileFactsSize;
            e.nOtherSize = static_cast<std::int64_t>(LoadLe64(p));
            e.nChange = static_cast<std::int64_t>(LoadLe64(p + 8));
        }
    }
    d.bFolderFacts = true;
    return true;
}

std::size_t StoredFileCount(const DriveReport& d)
{
    std::size_t n = 0;
    for (const FolderRecord* f : d.Folders())
        n += f->files.size();
    return n;
}

constexpr const char* kWarnBlockPrefix = "The scan facts stored after the report were left out: ";

// Parses the sections (the bytes between the block's head and its checksum) against
// the report's drives. Returns "" and fills `content`, or why the block is not used.
std::string ParseSections(const unsigned char* p, std::size_t n, const LoadedReport& report, BlockContent& content)
{
    const char* kMismatch = "they do not match the report's drives";
    const std::size_t nDrives = report.drives.size();
    content.drives.resize(nDrives);
    content.counted.resize(nDrives);
    content.folderFacts.resize(nDrives);
    content.fileFacts.resize(nDrives);
    Cursor c(p, n);
    while (c.Ok() && c.Left() > 0) {
        const std::uint32_t tag = c.U32();
        const std::uint64_t length = c.U64();
        if (!c.Ok() || length > c.Left())
            return "a section runs past the end of the block";
        Cursor s(c.Take(static_cast<std::size_t>(length)), static_cast<std::size_t>(length));
        if (tag == kTagScan) {
            if (content.facts)
                return "the scan is described twice";
            ReportFacts f;
            f.strProgramVersion = s.Str();
            f.strHost = s.Str();
            f.nStartTime = static_cast<std::int64_t>(s.U64());
            f.nEndTime = static_cast<std::int64_t>(s.U64());
            f.bComplete = (s.U32() & 1) != 0;
            if (!s.Ok())
                return "the scan's section is cut short";
            content.facts = std::move(f);
        } else if (tag == kTagDrive) {
            const std::uint32_t index = s.U32();
            const unsigned char* letter = s.Take(1);
            auto f = std::make_unique<DriveFacts>();
            f->strDirectory = s.Str();
            f->strFsType = s.Str();
            const std::uint32_t flags = s.U32();
            f->options.bSkipHidden = (flags & kOptSkipHidden) != 0;
            f->options.bCountLinksOnce = (flags & kOptLinksOnce) != 0;
            f->options.bDiscUsage = (flags & kOptDiscUsage) != 0;
            const std::uint32_t nPatterns = s.U32();
            if (!s.Ok() || nPatterns > s.Left() / 4)
                return "a drive's section is cut short";
            for (std::uint32_t i = 0; i < nPatterns && s.Ok(); ++i)
                f->options.excludes.push_back(s.Str());
            f->counts.nUnreadable = static_cast<std::int64_t>(s.U64());
            f->counts.nOtherFs = static_cast<std::int64_t>(s.U64());
            f->counts.nLeftOut = static_cast<std::int64_t>(s.U64());
            f->nRankingSize = static_cast<int>(std::min<std::uint32_t>(s.U32(), INT_MAX));
            if (!s.Ok())
                return "a drive's section is cut short";
            if (index >= nDrives || !report.drives[index] || report.drives[index]->cDrive != char(*letter) ||
                content.drives[index])
                return kMismatch;
            content.drives[index] = std::move(f);
        } else if (tag == kTagCounted) {
            const std::uint32_t index = s.U32();
            const std::uint64_t nFiles = s.U64();
            if (!s.Ok() || nFiles / 8 > s.Left() || (nFiles + 7) / 8 > s.Left())
                return "a section of counted names is cut short";
            if (index >= nDrives || !report.drives[index] || !report.drives[index]->bStoreFileNames ||
                content.counted[index] || StoredFileCount(*report.drives[index]) != nFiles)
                return kMismatch;
            const unsigned char* bits = s.Take(static_cast<std::size_t>((nFiles + 7) / 8));
            std::vector<bool> counted(static_cast<std::size_t>(nFiles));
            for (std::size_t i = 0; i < counted.size(); ++i)
                counted[i] = (bits[i / 8] >> (i % 8)) & 1;
            content.counted[index] = std::move(counted);
        } else if (tag == kTagFolders || tag == kTagFiles) {
            const std::uint32_t index = s.U32();
            const std::uint64_t count = s.U64();
            const std::size_t size = tag == kTagFolders ? kFolderFactsSize : kFileFactsSize;
            if (!s.Ok() || count > s.Left() / size)
                return "a section of folder facts is cut short";
            if (index >= nDrives || !report.drives[index])
                return kMismatch;
            const DriveReport& d = *report.drives[index];
            auto& slot = tag == kTagFolders ? content.folderFacts[index] : content.fileFacts[index];
            const std::uint64_t want = tag == kTagFolders ? d.Folders().size() : StoredFileCount(d);
            if (slot || count != want || (tag == kTagFiles && !d.bStoreFileNames))
                return kMismatch;
            slot = s.Take(static_cast<std::size_t>(count * size));
        }
        // Any other tag is a section of a later version: skipped.
    }
    return c.Ok() ? std::string() : "a section runs past the end of the block";
}

// Reads and checks the block that follows the report's content, if any, and puts what
// it says into the report. A block that cannot be used leaves the report as it is and
// sets the warning. Reads nothing beyond the block's own length.
void ReadExtensionBlock(ReportReader& in, LoadedReport& report)
{
    if (in.AtEnd())
        return; // no block: a report as the plain format has it
    auto leaveOut = [&](const std::string& why) { report.strBlockWarning = kWarnBlockPrefix + why + "."; };
    unsigned char head[kBlockHead];
    if (!in.ReadBytes(head, 8) || std::memcmp(head, kBlockMagic.data(), 8) != 0)
        return leaveOut("unknown data follows the report");
    if (!in.ReadBytes(head + 8, kBlockHead - 8))
        return leaveOut("the block is cut short");
    const std::uint32_t version = LoadLe32(head + 8);
    const std::uint64_t length = LoadLe64(head + 12);
    if (version != kBlockVersion)
        return leaveOut("the block's version " + std::to_string(version) + " is not known to this program");
    if (const auto left = in.BytesLeft(); left && (length > *left || *left - length != 4))
        return leaveOut(length > *left || *left - length < 4 ? "the block is cut short"
                                                              : "unknown data follows the block");
    // The block in memory, head included (the checksum covers it); a stream's bytes are
    // taken as they arrive, so a false length costs no more memory than the data sent.
    std::string block(reinterpret_cast<const char*>(head), kBlockHead);
    if (in.BytesLeft()) // a file's length is known and checked: one allocation, no doubling
        block.reserve(kBlockHead + static_cast<std::size_t>(length) + 4);
    std::uint64_t want = length + 4;
    char chunk[1 << 14];
    while (want > 0) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::uint64_t>(want, sizeof chunk));
        if (!in.ReadBytes(chunk, k))
            return leaveOut("the block is cut short");
        block.append(chunk, k);
        want -= k;
    }
    if (!in.AtEnd())
        return leaveOut("unknown data follows the block");
    const std::size_t body = block.size() - 4;
    if (Crc32(block.data(), body) != LoadLe32(reinterpret_cast<const unsigned char*>(block.data() + body)))
        return leaveOut("its checksum does not match");
    BlockContent content;
    if (std::string why = ParseSections(reinterpret_cast<const unsigned char*>(block.data()) + kBlockHead,
                                        body - kBlockHead, report, content);
        !why.empty())
        return leaveOut(why);

    // Folder facts that do not add up (a crafted or damaged file) leave the block out.
    for (std::size_t i = 0; i < report.drives.size(); ++i) {
        DriveReport& d = *report.drives[i];
        const std::vector<bool>* counted = content.counted[i] ? &*content.counted[i] : nullptr;
        if (content.folderFacts[i] &&
            (!content.drives[i] || !TakeFolderFacts(d, content.folderFacts[i], content.fileFacts[i], counted, true)))
            return leaveOut(std::string("the folder facts of drive ") + d.cDrive + " do not add up");
    }

    // Everything fits: the report takes it.
    report.facts = std::move(content.facts);
    for (std::size_t i = 0; i < report.drives.size(); ++i) {
        DriveReport& d = *report.drives[i];
        d.pFacts = std::move(content.drives[i]);
        // Read for edits of the report, which keep its ranking as the scan did; only
        // rankings that the file holds count.
        if (d.pFacts && report.bRanking)
            d.nRankingSize = d.pFacts->nRankingSize;
        const std::vector<bool>* counted = content.counted[i] ? &*content.counted[i] : nullptr;
        if (content.folderFacts[i])
            TakeFolderFacts(d, content.folderFacts[i], content.fileFacts[i], counted, false);
        if (!counted)
            continue;
        std::size_t k = 0;
        for (const FolderRecord* f : d.Folders())
            for (const FileEntry& e : f->files)
                if (!(*counted)[k++])
                    d.MarkUncounted(*f, e.strName);
    }
}

} // namespace

namespace {

// Where the block's bytes go: counted only (to learn a length before writing it), or
// also written to the report and taken into the checksum, through a small buffer, so
// that a block of millions of names never stands in memory as a whole.
class BlockSink {
public:
    explicit BlockSink(ReportWriter* out) : m_out(out) {}
    ~BlockSink() { Flush(); }
    void Bytes(const void* p, std::size_t n)
    {
        m_size += n;
        if (!m_out)
            return;
        if (m_used + n > sizeof m_buf)
            Flush();
        if (n > sizeof m_buf) {
            Emit(p, n);
            return;
        }
        std::memcpy(m_buf + m_used, p, n);
        m_used += n;
    }
    void U8(unsigned char v) { Bytes(&v, 1); }
    void U32(std::uint32_t v)
    {
        unsigned char x[4];
        StoreLe32(x, v);
        Bytes(x, 4);
    }
    void U64(std::uint64_t v)
    {
        unsigned char x[8];
        StoreLe64(x, v);
        Bytes(x, 8);
    }
    void Str(const std::string& v)
    {
        U32(static_cast<std::uint32_t>(v.size()));
        Bytes(v.data(), v.size());
    }
    // Flushes and returns the checksum of every byte so far.
    std::uint32_t Crc()
    {
        Flush();
        return static_cast<std::uint32_t>(m_crc);
    }
    std::uint64_t Size() const { return m_size; }
    bool Counting() const { return !m_out; }

private:
    void Flush()
    {
        if (m_used > 0)
            Emit(m_buf, m_used);
        m_used = 0;
    }
    void Emit(const void* p, std::size_t n)
    {
        const auto* b = static_cast<const unsigned char*>(p);
        for (std::size_t left = n; left > 0;) { // zlib takes at most 4 GB in one call
            const uInt k = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
            m_crc = crc32(m_crc, b, k);
            b += k;
            left -= k;
        }
        m_out->WriteBytes(p, n);
    }

    ReportWriter* m_out;
    uLong m_crc = crc32(0L, Z_NULL, 0);
    std::uint64_t m_size = 0;
    unsigned char m_buf[1 << 14];
    std::size_t m_used = 0;
};

// Puts a section: its tag, its length (learnt by a counting pass), then what `fill` puts.
template <class Fill>
void PutSection(BlockSink& sink, std::uint32_t tag, Fill&& fill)
{
    sink.U32(tag);
    if (sink.Counting()) {
        sink.U64(0);
    } else {
        BlockSink count(nullptr);
        fill(count);
        sink.U64(count.Size());
    }
    fill(sink);
}

// Every section of the block for `report`, in order.
void PutSections(BlockSink& s, const ReportContent& report)
{
    if (const ReportFacts* f = report.pFacts)
        PutSection(s, kTagScan, [&](BlockSink& b) {
            b.Str(f->strProgramVersion);
            b.Str(f->strHost);
            b.U64(static_cast<std::uint64_t>(f->nStartTime));
            b.U64(static_cast<std::uint64_t>(f->nEndTime));
            b.U32(f->bComplete ? 1 : 0);
        });
    // Drive indexes count the drives written (null entries of the table are left out).
    std::uint32_t index = 0;
    for (const auto& d : report.drives) {
        if (!d)
            continue;
        if (const DriveFacts* f = d->pFacts.get())
            PutSection(s, kTagDrive, [&](BlockSink& b) {
                b.U32(index);
                b.U8(static_cast<unsigned char>(d->cDrive));
                b.Str(f->strDirectory);
                b.Str(f->strFsType);
                b.U32((f->options.bSkipHidden ? kOptSkipHidden : 0) | (f->options.bCountLinksOnce ? kOptLinksOnce : 0) |
                      (f->options.bDiscUsage ? kOptDiscUsage : 0));
                b.U32(static_cast<std::uint32_t>(f->options.excludes.size()));
                for (const std::string& pattern : f->options.excludes)
                    b.Str(pattern);
                b.U64(static_cast<std::uint64_t>(f->counts.nUnreadable));
                b.U64(static_cast<std::uint64_t>(f->counts.nOtherFs));
                b.U64(static_cast<std::uint64_t>(f->counts.nLeftOut));
                b.U32(static_cast<std::uint32_t>(std::max(f->nRankingSize, 0)));
            });
        if (d->bStoreFileNames)
            PutSection(s, kTagCounted, [&](BlockSink& b) {
                b.U32(index);
                b.U64(StoredFileCount(*d));
                unsigned char bits = 0;
                std::size_t k = 0;
                for (const FolderRecord* f : d->Folders())
                    for (const FileEntry& e : f->files) {
                        if (d->Counts(*f, e.strName))
                            bits = static_cast<unsigned char>(bits | (1 << (k % 8)));
                        if (++k % 8 == 0) {
                            b.U8(bits);
                            bits = 0;
                        }
                    }
                if (k % 8 != 0)
                    b.U8(bits);
            });
        if (d->bFolderFacts && d->pFacts) {
            PutSection(s, kTagFolders, [&](BlockSink& b) {
                b.U32(index);
                b.U64(d->Folders().size());
                for (const FolderRecord* f : d->Folders()) {
                    b.U8(static_cast<unsigned char>(f->state));
                    b.U32(static_cast<std::uint32_t>(f->nFiles));
                    b.U64(static_cast<std::uint64_t>(f->nItemsWithSubs));
                    b.U64(static_cast<std::uint64_t>(f->nOtherWithoutSubs));
                    b.U64(static_cast<std::uint64_t>(f->nOtherWithSubs));
                    b.U64(static_cast<std::uint64_t>(f->nNewestChange));
                }
            });
            if (d->bStoreFileNames)
                PutSection(s, kTagFiles, [&](BlockSink& b) {
                    b.U32(index);
                    b.U64(StoredFileCount(*d));
                    for (const FolderRecord* f : d->Folders())
                        for (const FileEntry& e : f->files) {
                            b.U64(static_cast<std::uint64_t>(e.nOtherSize));
                            b.U64(static_cast<std::uint64_t>(e.nChange));
                        }
                });
        }
        ++index;
    }
}

} // namespace

void WriteExtensionBlock(ReportWriter& out, const ReportContent& report)
{
    bool anyDrive = false;
    for (const auto& d : report.drives)
        anyDrive = anyDrive || (d && (d->pFacts || !d->AllCount()));
    if (!report.pFacts && !anyDrive)
        return;
    // The sections' length first, from a counting pass (the section heads included).
    BlockSink count(nullptr);
    PutSections(count, report);
    BlockSink sink(&out);
    sink.Bytes(kBlockMagic.data(), kBlockMagic.size());
    sink.U32(kBlockVersion);
    sink.U64(count.Size());
    PutSections(sink, report);
    const std::uint32_t crc = sink.Crc();
    unsigned char x[4];
    StoreLe32(x, crc);
    out.WriteBytes(x, 4);
}

namespace {

LoadResult ReadReportSections(ReportReader& in, LoadedReport& report, ILoadProgress& progress)
{
    char magic[17];
    std::int32_t version = 0;
    static_assert(sizeof magic == kReportMagic.size());
    // Both are read before either is checked; a short file is no report at all.
    const bool haveMagic = in.ReadBytes(magic, sizeof magic);
    const bool haveVersion = haveMagic && in.ReadInt32(version);
    if (!haveMagic || std::memcmp(magic, kReportMagic.data(), sizeof magic) != 0 || !haveVersion)
        return NotValid();
    if (version != kReportVersion)
        return LoadResult::Fail(kCaptionOpen, InvalidVersionMessage(version));

    std::int32_t ranking = 0, total = 0, nDrives = 0;
    if (!in.ReadInt32(ranking) || !in.ReadInt32(total) || !in.ReadInt32(nDrives))
        return NotValid();
    report.bRanking = ranking != 0;
    const std::uint64_t minDrive = kMinDriveSection + (report.bRanking ? kMinRankingSection : 0);
    if (!in.CanHold(nDrives, minDrive))
        return NotValid();
    nDrives = std::max<std::int32_t>(nDrives, 0);

    try {
        report.drives.resize(static_cast<std::size_t>(nDrives));
    } catch (const std::bad_alloc&) {
        report.drives.clear();
        return LoadResult::Fail(kCaptionOpen, kMsgOutOfMemory);
    }
    report.nDrives = nDrives;

    std::int64_t foldersBefore = 0;
    for (std::int32_t i = 0; i < nDrives; ++i) {
        try {
            report.drives[static_cast<std::size_t>(i)] = std::make_unique<DriveReport>();
        } catch (const std::bad_alloc&) {
            return LoadResult::Fail(kCaptionOpen, kMsgOutOfMemory);
        }
        DriveReport& drive = *report.drives[static_cast<std::size_t>(i)];
        LoadResult r = LoadFromFile(drive, in, report.bRanking, foldersBefore, total, progress);
        if (!r.bOk)
            return r;
        foldersBefore += drive.nFolders;
    }
    if (report.bRanking && !ReadRanking(in, report.rankingAll))
        return NotValid();
    return LoadResult::Ok();
}

} // namespace

LoadedReport ReadReport(ReportReader& in, ILoadProgress& progress)
{
    LoadedReport report;
    in.SetBeforeWait([&progress] { progress.ShowPendingText(); });
    struct Unhook {
        ReportReader& in;
        ~Unhook() { in.SetBeforeWait(nullptr); }
    } unhook{in};
    try {
        report.result = ReadReportSections(in, report, progress);
        if (report.result.bOk)
            ReadExtensionBlock(in, report);
    } catch (const std::bad_alloc&) {
        // A string or list that does not fit in memory (every count was checked
        // against the file's size, so this takes a file larger than memory, or a
        // stream without end).
        report.result = LoadResult::Fail(kCaptionOpen, kMsgOutOfMemory);
    }
    return report;
}

} // namespace tvl
