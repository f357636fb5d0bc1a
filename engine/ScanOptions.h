// How a scan counts a Linux drive: which folders it leaves out (hidden ones on
// request, those matching exclusion patterns), whether a file with several hard links
// counts once, and whether a file counts with its length or with the space allocated
// to it on disc. None of these choices is stored in a report file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tvl {

struct ScanOptions {
    // Leave out every directory whose name begins with '.', with everything below it.
    // Off by default: only "." and ".." are skipped.
    bool bSkipHidden = false;
    // A file with several hard links counts once, under the first of its names that the
    // walk meets; later names are listed with their size but add nothing to any sum
    // and do not enter the ranking. Off: every name counts.
    bool bCountLinksOnce = true;
    // Count each file with the space allocated to it (st_blocks x 512) instead of its
    // length.
    bool bDiscUsage = false;
    // Shell patterns (fnmatch) of directories to leave out with everything below them.
    // A pattern without '/' is matched against a directory's name; one with '/' against
    // its path relative to the drive's directory, '/'-separated ("var/cache"), where
    // '*' does not cross a '/'. Every pattern must have passed CheckExcludePattern.
    std::vector<std::string> excludes;
};

// The message for a pattern that cannot be used, or "" when it is fine. A pattern is
// refused when it is empty, ends in a lone backslash, has a '[' without its ']',
// begins with '/' or holds an empty path step ("a//b"). One trailing '/' is allowed
// and means the same as none (NormalizeExcludePattern drops it).
std::string CheckExcludePattern(std::string_view pattern);
std::string NormalizeExcludePattern(std::string_view pattern);

// Splits the dialog's "Leave out folders matching" text at ';', drops blanks around
// each pattern and empty items, and checks each pattern. Returns "" and fills `out`
// (normalised patterns) when all are fine, else the message for the first bad one.
std::string ParseExcludeList(std::string_view text, std::vector<std::string>& out);
// The inverse for showing a list in the dialog: the patterns joined by "; ".
std::string JoinExcludeList(const std::vector<std::string>& patterns);

// Which directories a walk leaves out. Immutable after construction, so several walker
// threads may ask at once.
class FolderFilter {
public:
    FolderFilter() = default;
    explicit FolderFilter(const ScanOptions& options);

    // True when some pattern needs the directory's relative path; a walk that has no
    // such pattern may pass an empty relPath.
    bool NeedsRelativePath() const { return !m_pathPatterns.empty(); }
    // True when the directory `name`, whose path relative to the drive's directory is
    // relPath ("a/b/name"), is left out with its subtree. "." and ".." are always left
    // out; they never reach here from a listing.
    bool LeavesOut(std::string_view name, std::string_view relPath) const;

private:
    bool m_bSkipHidden = false;
    std::vector<std::string> m_namePatterns;
    std::vector<std::string> m_pathPatterns;
};

// The files with more than one hard link that a walk has already counted, by device
// and inode. Only such files are remembered (16 bytes and a hash node each).
class HardLinkSet {
public:
    // True the first time a (device, inode) pair is offered, false afterwards.
    bool FirstName(std::uint64_t device, std::uint64_t inode);
    std::size_t Size() const { return m_seen.size(); }

private:
    struct Key {
        std::uint64_t device, inode;
        bool operator==(const Key& o) const { return device == o.device && inode == o.inode; }
    };
    struct KeyHash {
        std::size_t operator()(const Key& k) const
        {
            return std::hash<std::uint64_t>()(k.inode * 0x9E3779B97F4A7C15ull ^ k.device);
        }
    };
    std::unordered_set<Key, KeyHash> m_seen;
};

// What each file of a walk adds: the size it is listed with (its length, or the space
// allocated to it) and whether it adds to the sums and may enter the ranking. Used by
// the one thread that records folders in walk order, so the first name of a hard-linked
// file is the one the sequential walk would meet first, whatever the thread count.
class FileCounter {
public:
    explicit FileCounter(const ScanOptions& options)
        : m_bLinksOnce(options.bCountLinksOnce), m_bDiscUsage(options.bDiscUsage) {}

    std::int64_t ListedSize(std::uint64_t size, std::uint64_t allocated) const
    {
        return static_cast<std::int64_t>(m_bDiscUsage ? allocated : size);
    }
    // The size in the other measure, kept beside the listed one.
    std::int64_t OtherSize(std::uint64_t size, std::uint64_t allocated) const
    {
        return static_cast<std::int64_t>(m_bDiscUsage ? size : allocated);
    }
    // False for a later name of a file already counted (device and inode as the
    // listing gives them: both 0 for a file with one link).
    bool Counts(std::uint64_t device, std::uint64_t inode)
    {
        return !m_bLinksOnce || (device == 0 && inode == 0) || m_links.FirstName(device, inode);
    }

private:
    bool m_bLinksOnce;
    bool m_bDiscUsage;
    HardLinkSet m_links;
};

} // namespace tvl
