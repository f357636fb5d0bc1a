// What kind of files fill a folder: its files by type (extension), with their number,
// bytes, share, largest file and newest change, and by size class and by age.
//
// The type of a file is its extension under one rule, the same the treemap colours
// by (FileExtension below). The statistics cover a folder and everything below it and
// need a drive that stores file names. They count files as the report's sums do: a
// hard-linked file counts once, under the name that counted in its folder's space, so
// the types' bytes add up to the folder's "Space (with subs)".
//
// A FileTypeIndex is a compact copy of what the statistics need of one drive (about
// 13 bytes a file), made once per report on the thread that owns the report;
// statistics of any of its folders are then made from the copy on any thread, also
// after the report is gone. No toolkit: the desktop pane and tovaline-cli use it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

class DriveReport;
struct FolderRecord;
enum class SizeKind : std::uint8_t;

// The extension of a file name as typed (not case-folded), from its dot on: "" when
// the name has none. The rule:
// - the extension is the part after the last dot (".jpg" of "a.b.jpg");
// - a part of digits only is a version, not a type: it is skipped and the part before
//   it is looked at ("libz.so.1.2" is ".so"; "python3.11" and "notes.1" have none);
// - a part holding a space or a hyphen is no type ("Dr. Who" and "python3.11-config"
//   have none);
// - a dot at the start of the name only marks it hidden: ".bashrc" has no extension,
//   ".vimrc.bak" has ".bak";
// - a name ending in a dot has none.
// Names are raw bytes: only '.', ' ' and the digits are looked at.
std::string_view RawFileExtension(std::string_view strName);

// The type of a file name: RawFileExtension with the letters A..Z folded to a..z
// (".JPG" and ".jpg" are one type). "" for names without extension.
std::string FileExtension(std::string_view strName);

// The label of a type for people: the extension itself, or "(no extension)".
std::string FileTypeLabel(std::string_view strExtension);

// What a report may know of its stored files beyond name and size. The report file
// of today holds neither; every answer is then "unknown".
class IFileFacts {
public:
    virtual ~IFileFacts() = default;
    // The last change of the nFile-th stored file of the folder at list position nPos,
    // in seconds since 1970-01-01 UTC; nullopt when not known.
    virtual std::optional<std::int64_t> ModificationTime(const FolderRecord& folder, int nPos,
                                                         std::size_t nFile) const = 0;
    // Whether that name counted in the folder's own space: false for a later name of a
    // hard-linked file that counted elsewhere; nullopt when not known.
    virtual std::optional<bool> Counted(const FolderRecord& folder, int nPos, std::size_t nFile) const = 0;
};

// The copy of a drive that the statistics read.
class FileTypeIndex {
public:
    static constexpr std::uint32_t kNotCounted = std::numeric_limits<std::uint32_t>::max();
    static constexpr std::int64_t kNoTime = std::numeric_limits<std::int64_t>::min();

    // Reads the drive (without file names it holds only the folders). Which names of
    // hard-linked files counted is taken from the report when it knows (a scan, or a
    // report file with its scan facts), else from facts when it knows, otherwise worked
    // out per folder from the sizes: when a folder's stored files add up to more than
    // its own space, the difference is later names of hard-linked files, and names of
    // that size are taken as those: one name of exactly the difference (the last one
    // when there are several); else the largest names that fit into the difference,
    // or else the largest that fit into the own space count and the others do not
    // (later names first among equal sizes). When no such choice adds up, the counted
    // names are kept below the own space and the rest is left to the statistics' "not
    // matched" bytes, so that totals stay right.
    explicit FileTypeIndex(const DriveReport& drive, const IFileFacts* facts = nullptr);
    // The same with the sizes in a measure of the caller's choosing: the drive's own (as
    // above), or the other where the drive has folder facts (CanShow; otherwise its own).
    FileTypeIndex(const DriveReport& drive, SizeKind kind, const IFileFacts* facts = nullptr);

    char DriveLetter() const { return m_cDrive; }
    bool StoresFileNames() const { return m_bNames; }
    bool KnowsTimes() const { return !m_time.empty(); }
    int Size() const { return static_cast<int>(m_subtreeEnd.size()); }
    int SubtreeEnd(int nPos) const { return m_subtreeEnd[std::size_t(nPos)]; }
    std::int64_t SpaceWithSubs(int nPos) const { return m_withSubs[std::size_t(nPos)]; }
    // The types met on the drive, in the order they were met; ids index this.
    const std::vector<std::string>& Types() const { return m_types; }
    // The id of a type ("" for no extension), or kNotCounted when the drive has none.
    std::uint32_t TypeId(std::string_view strExtension) const;

    // The files of the folder at nPos are FirstFile(nPos) .. FirstFile(nPos + 1) - 1;
    // file i of the folder is FirstFile(nPos) + i.
    std::size_t FirstFile(int nPos) const { return m_fileFirst[std::size_t(nPos)]; }
    std::int64_t FileSize(std::size_t nFile) const { return m_size[nFile]; }
    // The file's type id, or kNotCounted for a name that did not count.
    std::uint32_t FileType(std::size_t nFile) const { return m_type[nFile]; }
    // kNoTime when not known.
    std::int64_t FileTime(std::size_t nFile) const { return m_time.empty() ? kNoTime : m_time[nFile]; }

private:
    char m_cDrive = 0;
    bool m_bNames = false;
    std::vector<std::int32_t> m_subtreeEnd;
    std::vector<std::int64_t> m_withSubs;
    std::vector<std::size_t> m_fileFirst; // per folder, and one past the last
    std::vector<std::int64_t> m_size;
    std::vector<std::uint32_t> m_type;
    std::vector<std::int64_t> m_time; // empty when no time is known
    std::vector<std::string> m_types;
};

// A file of the index: where it is in the report and its size.
struct FileTypeFile {
    std::int32_t nFolder = -1;  // list position of the folder holding it
    std::int32_t nFile = -1;    // index in that folder's stored files
    std::int64_t nSize = 0;
};

struct FileTypeRow {
    std::uint32_t nType = 0;    // id in FileTypeIndex::Types()
    std::string strExtension;   // ".jpg"; "" for names without extension
    std::int64_t nFiles = 0;
    std::int64_t nBytes = 0;
    FileTypeFile largest;       // the largest file (the first met among equal sizes)
    std::int64_t nNewest = FileTypeIndex::kNoTime; // newest change of its files where known
};

// A class of files (by size or by age): how many and their bytes.
struct FileClass {
    std::int64_t nFiles = 0;
    std::int64_t nBytes = 0;
};

// Size classes: below 4 KiB, 64 KiB, 1 MiB, 16 MiB, 256 MiB, 4 GiB, and 4 GiB or more.
inline constexpr std::size_t kSizeClasses = 7;
// The upper bounds (exclusive) of all but the last size class.
inline constexpr std::array<std::int64_t, kSizeClasses - 1> kSizeClassBounds = {
    std::int64_t(4) << 10, std::int64_t(64) << 10, std::int64_t(1) << 20,
    std::int64_t(16) << 20, std::int64_t(256) << 20, std::int64_t(4) << 30};
// Age classes: changed less than a day, a week, 30 days, 365 days ago, and older.
inline constexpr std::size_t kAgeClasses = 5;
inline constexpr std::array<std::int64_t, kAgeClasses - 1> kAgeClassBounds = {86400, 7 * 86400, 30 * 86400,
                                                                             365 * 86400};
// "< 4 KiB", ..., ">= 4 GiB" and "< 1 day", ..., "older".
const char* SizeClassLabel(std::size_t nClass);
const char* AgeClassLabel(std::size_t nClass);

struct FileTypeStats {
    int nFolder = -1;           // list position of the folder
    bool bNames = false;        // the drive stores file names; without, nothing else is filled
    std::int64_t nTotalBytes = 0; // the folder's "Space (with subs)"
    std::int64_t nFiles = 0;    // files counted (a hard-linked file once)
    std::vector<FileTypeRow> types; // most bytes first, equal bytes by extension
    // The folder's bytes that no counted name stands for: nTotalBytes less the types'
    // bytes. 0 unless the report is damaged or its names of hard-linked files could
    // not be told apart by size.
    std::int64_t nUnmatchedBytes = 0;
    std::array<FileClass, kSizeClasses> sizes{}; // add up to nFiles and the types' bytes
    // Where times are known (bTimesKnown): files by age; files without a time are in
    // agesUnknown. All four add up to nFiles and the types' bytes.
    bool bTimesKnown = false;
    std::array<FileClass, kAgeClasses> ages{};
    FileClass agesUnknown;
    bool bCancelled = false;    // pCancel was set: the rest is incomplete

    // A type's share of nTotalBytes in percent; 0 when the folder holds 0 bytes.
    double Share(std::int64_t nBytes) const;
};

struct FileTypeOptions {
    std::int64_t nNow = 0; // the time ages are measured from (seconds since 1970, UTC)
    const std::atomic<bool>* pCancel = nullptr; // set from another thread to give up early
};

// The statistics of the folder at list position nFolder and everything below it. An
// invalid position gives bNames false and nFolder -1.
FileTypeStats ComputeFileTypes(const FileTypeIndex& index, int nFolder, const FileTypeOptions& options = {});

// The nMax largest counted files of one type below the folder, largest first (equal
// sizes in list order).
std::vector<FileTypeFile> LargestFilesOfType(const FileTypeIndex& index, int nFolder, std::uint32_t nType,
                                             std::size_t nMax);

} // namespace tvl
