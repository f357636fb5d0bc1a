// The ".tvl" report file: reading and writing, without any toolkit.
//
// Layout (little-endian, no padding, strings are their bytes plus one zero byte):
//   header   17 bytes "TovalineReportMQX", int32 version (2), int32 ranking flag,
//            int32 total folders (progress display only), int32 drive count
//   drive    char letter, int32 store-file-names flag, int32 folder count,
//            folder records, then a ranking section when the ranking flag is set
//   folder   string path, int64 space w/o subs, int64 space with subs,
//            double % of parent, double % of disc, int32 level,
//            [int32 file count, file count x (string name, int64 size)]
//   ranking  int32 count, count x (string name, string location, int64 size)
//   the combined ranking section follows the last drive when the flag is set.
// A count of zero or less means no entries. Files written by earlier versions of
// Tovaline read here byte for byte, and ours read there.
//
// After that content, and only when the report knows how it was measured, comes one
// extension block of our own (ExtensionBlock below). A reader of the layout above stops
// before it; ours reads it, and leaves it out with a warning when it is damaged.
//
// The reader trusts nothing: every field must be there in full, every count must fit
// in the bytes left, and nothing is allocated before its count has been checked.
#pragma once

#include "Progress.h"
#include "Report.h"
#include "ScanFacts.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

inline constexpr std::string_view kReportMagic = "TovalineReportMQX"; // 17 bytes, no terminator
inline constexpr std::int32_t kReportVersion = 2;

inline constexpr const char* kCaptionOpen = "Open";
inline constexpr const char* kCaptionSave = "Save";
inline constexpr const char* kMsgCannotOpen = "Cannot open file!";
inline constexpr const char* kMsgNotValidReport = "This is not a valid disc space report!";
inline constexpr const char* kMsgCannotCreateFile = "Cannot create file!";
inline constexpr const char* kLoadingCaption = "Loading ...";

// "Invalid version: 1\n\nTovaline is compatible with version 2!"
std::string InvalidVersionMessage(std::int32_t nVersion);
// "Loading report for drive C:"
std::string LoadingDriveText(char cDrive);

// Buffered input over a file descriptor or a block of memory. For a regular file or a
// block of memory the number of bytes left is known at every point, and counts are
// checked against it; a pipe or device is read as a stream, a buffer at a time.
class ReportReader {
public:
    // Reads the given memory, which must outlive the reader.
    ReportReader(const void* data, std::size_t size);
    // Opens a file for reading; IsOpen() tells whether that worked. Throws std::bad_alloc.
    explicit ReportReader(const std::string& pathName);
    ~ReportReader();
    ReportReader(const ReportReader&) = delete;
    ReportReader& operator=(const ReportReader&) = delete;

    bool IsOpen() const { return m_fd >= 0 || m_memory; }
    // Called before a read of the file that would wait (a pipe with nothing in it yet,
    // a part of a file that is not in memory), so that a progress display can show its
    // latest text first. Null for none.
    void SetBeforeWait(std::function<void()> beforeWait) { m_beforeWait = std::move(beforeWait); }
    // True when no byte is left (for a stream: none arrives any more).
    bool AtEnd();
    // The number of bytes left, when known (a regular file or memory).
    std::optional<std::uint64_t> BytesLeft() const;

    // Reads exactly n bytes; false (and nothing usable in out) when the input ends first.
    bool ReadBytes(void* out, std::size_t n);
    bool ReadInt32(std::int32_t& v);
    bool ReadInt64(std::int64_t& v);
    bool ReadDouble(double& v);
    // Reads a string up to its zero byte (not kept); false when the input ends first.
    bool ReadString(std::string& s);

    // True when `count` entries of at least `minBytes` bytes each can still follow
    // (always for a stream, whose length is not known).
    bool CanHold(std::int64_t count, std::uint64_t minBytes) const;
    // How many of `count` entries a list may reserve room for before they are read:
    // all for a checked count, a modest number for a stream (the list grows as
    // entries really arrive).
    std::size_t ReserveFor(std::int32_t count) const;

private:
    bool Refill();
    // The next n bytes: in place in the buffer, or copied into scratch when they cross
    // its end. Null when the input ends first.
    const unsigned char* Take(std::size_t n, unsigned char* scratch);
    void Consume(std::size_t n);

    int m_fd = -1;
    bool m_memory = false;
    bool m_stream = false; // a pipe or device: m_left is not known
    std::unique_ptr<unsigned char[]> m_buffer;
    const unsigned char* m_pos = nullptr; // next unread byte of the buffer
    const unsigned char* m_end = nullptr; // end of the buffered bytes
    std::uint64_t m_left = 0;             // bytes left in the input, buffered ones included
    std::function<void()> m_beforeWait;
    bool m_bNoWaitReads = true;           // the file system can tell whether a read would wait
};

// Buffered output to a file descriptor or to a string in memory. Errors are sticky:
// after the first failed write nothing more is written and Failed() stays true.
class ReportWriter {
public:
    // Appends to `out`.
    explicit ReportWriter(std::string& out);
    // Writes to an open file descriptor (not closed by the writer).
    explicit ReportWriter(int fd);
    ~ReportWriter() = default;
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    void WriteBytes(const void* data, std::size_t n);
    void WriteInt32(std::int32_t v);
    void WriteInt64(std::int64_t v);
    void WriteDouble(double v);
    // The string's bytes and one zero byte.
    void WriteString(const std::string& s);
    // Writes out what is buffered. Returns false when any write failed.
    bool Flush();
    bool Failed() const { return m_errno != 0; }
    int Errno() const { return m_errno; }

private:
    std::string* m_string = nullptr;
    int m_fd = -1;
    std::unique_ptr<unsigned char[]> m_buffer; // file output only
    std::size_t m_used = 0;                   // bytes of m_buffer not yet written
    int m_errno = 0;
};

// What a whole report consists of, as the document holds it (for writing).
struct ReportContent {
    std::vector<std::unique_ptr<DriveReport>>& drives;
    int& nDrives;
    bool& bRanking;
    std::vector<RankEntry>& rankingAll;
    // The scan's facts; with it, or with any drive that has its facts, the extension
    // block is written after the content above. Null and no drive facts: no block.
    const ReportFacts* pFacts = nullptr;
};

// The outcome of reading; on failure the message to show and its caption.
struct LoadResult {
    bool bOk = true;
    std::string caption;
    std::string message;
    static LoadResult Ok() { return {}; }
    static LoadResult Fail(std::string caption, std::string message)
    {
        return {false, std::move(caption), std::move(message)};
    }
};

// Writes a whole report (header, drive sections, combined ranking). Null entries of
// the drive table are left out and not counted.
void WriteReport(ReportWriter& out, const ReportContent& report);

// A report as read from a file, for the document to adopt.
struct LoadedReport {
    LoadResult result;      // on failure the message to show; what was read is kept below
    std::vector<std::unique_ptr<DriveReport>> drives; // nDrives entries; those not reached are null
    int nDrives = 0;
    bool bRanking = false;
    std::vector<RankEntry> rankingAll;
    std::optional<ReportFacts> facts; // from the extension block; empty without one
    // Not empty when the file had an extension block that was left out (damaged, cut
    // short, inconsistent with the report, of an unknown version): what to warn about.
    std::string strBlockWarning;
};

// Reads a whole report. Does not show or hide the progress display; sets its step
// line, path line and position. Never throws: a report that does not fit in memory
// fails with the out-of-memory message.
LoadedReport ReadReport(ReportReader& in, ILoadProgress& progress);

// The extension block. Layout (little-endian):
//   8 bytes  magic "TvlFacts"
//   uint32   block version (1)
//   uint64   length of the sections that follow, in bytes
//   sections each: uint32 tag, uint64 length, that many bytes
//   uint32   zlib crc32 of every byte of the block before it
// and nothing after it. A reader skips a section whose tag it does not know, and the
// fields a section holds beyond those it knows (later versions append fields). Strings
// in the block are a uint32 length and that many bytes. Sections of version 1:
//   "SCAN" program version, host, int64 start and end (seconds since 1970 UTC),
//          uint32 flags (1: the scan read everything)
//   "DRIV" one per drive: uint32 drive index, byte letter, directory, file-system type,
//          uint32 option flags (1: hidden folders left out, 2: hard links counted once,
//          4: disc usage), uint32 pattern count, the patterns, int64 folders unreadable,
//          on other file systems, left out, uint32 ranking size (0: none)
//   "CNTD" one per drive with file names: uint32 drive index, uint64 file count (all the
//          drive's stored names, in file order), then one bit per name, lowest bit
//          first: 1 when the name counted in the sums.
//   "FOLD" one per drive with folder facts (only with its "DRIV"): uint32 drive index,
//          uint64 folder count, then per folder in list order: byte state (0 read,
//          1 no access, 2 vanished, 3 read error, 4 other file system, 5 left out),
//          uint32 own files, int64 items with subs, int64 other measure without and
//          with subs, int64 newest change (seconds since 1970 UTC; INT64_MIN unknown).
//   "FILE" one per drive with folder facts and file names (after its "FOLD"): uint32
//          drive index, uint64 file count (as in "CNTD"), then per name int64 size in
//          the other measure and int64 change time.
//          A reader checks that the counts and sums add up from the folders below and
//          the files; the facts of a drive are used only when they do.
inline constexpr std::string_view kBlockMagic = "TvlFacts";
inline constexpr std::uint32_t kBlockVersion = 1;

// Appends the extension block for `report` to `out` (nothing when it knows no facts).
void WriteExtensionBlock(ReportWriter& out, const ReportContent& report);

} // namespace tvl
