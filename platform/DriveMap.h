// Drive letters C to Z mapped to directories, and report paths mapped back to real ones.
//
// Reports keep the drive-letter form of their paths: the root of drive C is "C:\",
// a sub-folder is its parent's path, its name and a backslash. The map says which
// real directory each letter stands for. It comes from, in this order of precedence:
// explicit assignments (the CLI's -d L=DIR), the environment variable TOVALINE_DRIVES
// ("C=/srv;D=/home/me"), or the mounted file systems (C is "/", D, E, ... the other
// block-device backed mounts in mount-point order).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvl {

// One line of the mount table (/proc/self/mounts format), its \ooo escapes undone.
struct MountEntry {
    std::string source, point, type;
};
// The entries of a mount table's text, in its order; lines with fewer than three
// fields are skipped.
std::vector<MountEntry> ParseMountTable(const std::string& mountsText);
// This machine's mount table (/proc/self/mounts); empty when it cannot be read.
std::vector<MountEntry> ReadMountTable();

class DriveMap {
public:
    static constexpr char kFirst = 'C';
    static constexpr char kLast = 'Z';

    // An empty map: no letter is mapped.
    DriveMap() = default;

    // The automatic map from a mount table in /proc/self/mounts format.
    static DriveMap FromMountTable(const std::string& mountsText);
    // The automatic map of this machine (reads /proc/self/mounts; C is "/" at least).
    static DriveMap FromSystem();
    // Parses one assignment "L=DIR" (L from C to Z in either case, DIR not empty; DIR
    // is taken whole, ';' and '=' included). Returns the upper-case letter and DIR, or
    // nullopt after setting *error.
    static std::optional<std::pair<char, std::string>> ParseAssignment(const std::string& item, std::string* error);
    // Parses "C=/srv;D=/home/me". Returns nullopt and sets *error on a bad entry.
    static std::optional<DriveMap> FromAssignments(const std::string& text, std::string* error);
    // The map the programs use: TOVALINE_DRIVES when set, else FromSystem().
    static DriveMap FromEnvironment(std::string* error);

    // Maps letter (upper or lower case) to dir. Returns false for a letter outside C..Z
    // or an empty dir.
    bool Set(char letter, const std::string& dir);
    bool IsMapped(char letter) const;
    // Scanning a folder: maps dir to the first letter from C to Z that is not mapped
    // yet, or returns the letter it is mapped to already. A relative dir is taken from
    // the current directory, a trailing '/' does not count ("/srv/" is "/srv"). Returns
    // 0 when dir is empty or every letter is taken. Whether dir exists is not checked
    // (IsAvailable says so).
    char MapFolder(const std::string& dir);
    // Whether a command-line argument names a directory rather than a drive letter: it
    // holds a '/' ("./C" is the folder C, "C" the drive).
    static bool IsFolderArgument(const std::string& arg) { return arg.find('/') != std::string::npos; }
    // The mapped directory, or "" when the letter is not mapped.
    std::string Directory(char letter) const;
    // True when the letter is mapped and its directory exists and is a directory. This
    // is the availability test of the dialog and of the live file listing. A directory
    // that exists but cannot be read is available (it scans to its root record alone).
    bool IsAvailable(char letter) const;
    // The mapped letters in ascending order.
    std::vector<char> MappedLetters() const;
    // The mapped and available letters in ascending order.
    std::vector<char> AvailableLetters() const;

    // The report path of a drive's root: "C:\".
    static std::string RootPath(char letter);
    // Maps a report path ("C:\usr\share\") to the real directory ("/usr/share"). A '/'
    // inside a step is a backslash of that folder's name ("C:\q/r\" is "/q\r").
    // nullopt when the letter is not mapped or the text is no report path of a real
    // folder (see IsRealFolderPath): a report may come from anybody, and its paths must
    // never reach outside the drive's directory.
    std::optional<std::string> RealPath(const std::string& reportPath) const;
    // The real path of the file `fileName` in the folder `reportPath`; nullopt as for
    // RealPath, and for a name no file can have (see IsRealFileName).
    std::optional<std::string> RealFilePath(const std::string& reportPath, const std::string& fileName) const;

    // True when a report path can name a real folder: "L:\" followed by steps that each
    // end in a backslash (the last one may lack it) and are neither empty, "." nor "..",
    // and no NUL byte. Others ("C:\..\..\etc\", "C:\a\\b\") are kept as data and shown,
    // but never mapped.
    static bool IsRealFolderPath(const std::string& reportPath);
    // True when a stored file name can be a real file's: not empty, "." or "..", and
    // without '/' or a NUL byte.
    static bool IsRealFileName(const std::string& fileName);

private:
    std::array<std::string, kLast - kFirst + 1> m_dirs{};
};

// Upper-cases a letter and checks that it lies in C..Z; returns 0 otherwise.
char NormalizeDriveLetter(char letter);

// The drive letter a report path begins with ("C:\usr\" gives 'C'), as written
// there; 0 for an empty path.
char DriveOfPath(const std::string& reportPath);

// The name a folder is shown with: the last component of its report path without the
// trailing backslash ("C:\usr\share\" gives "share", the root "C:\" gives "C:"), with
// a '/' in it shown as the backslash of the folder's own name ("C:\q/r\" gives "q\r").
std::string FolderDisplayName(const std::string& reportPath);

} // namespace tvl
