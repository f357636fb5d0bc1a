#include "DriveMap.h"
#include "PathNames.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace tvl {

char NormalizeDriveLetter(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    return (letter >= DriveMap::kFirst && letter <= DriveMap::kLast) ? letter : 0;
}

char DriveOfPath(const std::string& reportPath)
{
    return reportPath.empty() ? 0 : reportPath[0];
}

std::string FolderDisplayName(const std::string& reportPath)
{
    if (reportPath.empty())
        return std::string();
    const std::string_view trimmed(reportPath.data(), reportPath.size() - 1);
    const std::size_t slash = trimmed.rfind('\\');
    if (slash == std::string_view::npos)
        return std::string(trimmed);
    return PathStepToName(trimmed.substr(slash + 1)); // a '/' in the step is the name's backslash
}

char DriveMap::MapFolder(const std::string& dirIn)
{
    if (dirIn.empty())
        return 0;
    std::string dir = dirIn;
    if (dir[0] != '/') {
        char* c = ::getcwd(nullptr, 0);
        if (!c)
            return 0;
        const std::string cwd = c;
        std::free(c);
        if (dir == ".")
            dir = cwd;
        else
            dir = cwd + (cwd.back() == '/' ? "" : "/") + (dir.rfind("./", 0) == 0 ? dir.substr(2) : dir);
    }
    // "/srv//data/./x/" is "/srv/data/x": the same folder gets the same letter.
    std::string clean;
    for (std::size_t i = 0; i < dir.size();) {
        const std::size_t next = std::min(dir.find('/', i), dir.size());
        const std::string_view step(dir.data() + i, next - i);
        if (!step.empty() && step != ".") {
            clean += '/';
            clean += step;
        }
        i = next + 1;
    }
    dir = clean.empty() ? "/" : clean;
    for (char l = kFirst; l <= kLast; ++l)
        if (m_dirs[static_cast<std::size_t>(l - kFirst)] == dir)
            return l;
    for (char l = kFirst; l <= kLast; ++l)
        if (!IsMapped(l)) {
            Set(l, dir);
            return l;
        }
    return 0;
}

bool DriveMap::Set(char letter, const std::string& dir)
{
    char l = NormalizeDriveLetter(letter);
    if (!l || dir.empty())
        return false;
    m_dirs[l - kFirst] = dir;
    return true;
}

bool DriveMap::IsMapped(char letter) const
{
    char l = NormalizeDriveLetter(letter);
    return l && !m_dirs[l - kFirst].empty();
}

std::string DriveMap::Directory(char letter) const
{
    char l = NormalizeDriveLetter(letter);
    return l ? m_dirs[l - kFirst] : std::string();
}

bool DriveMap::IsAvailable(char letter) const
{
    if (!IsMapped(letter))
        return false;
    struct stat st {};
    return ::stat(Directory(letter).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<char> DriveMap::MappedLetters() const
{
    std::vector<char> out;
    for (char l = kFirst; l <= kLast; ++l)
        if (IsMapped(l))
            out.push_back(l);
    return out;
}

std::vector<char> DriveMap::AvailableLetters() const
{
    std::vector<char> out;
    for (char l : MappedLetters())
        if (IsAvailable(l))
            out.push_back(l);
    return out;
}

std::string DriveMap::RootPath(char letter)
{
    return std::string(1, letter) + ":\\";
}

bool DriveMap::IsRealFolderPath(const std::string& reportPath)
{
    if (reportPath.size() < 3 || reportPath[1] != ':' || reportPath[2] != '\\' ||
        reportPath.find('\0') != std::string::npos)
        return false;
    std::size_t start = 3;
    while (start < reportPath.size()) {
        std::size_t end = reportPath.find('\\', start);
        if (end == std::string::npos)
            end = reportPath.size();
        const std::string_view step(reportPath.data() + start, end - start);
        if (step.empty() || step == "." || step == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool DriveMap::IsRealFileName(const std::string& fileName)
{
    return !fileName.empty() && fileName != "." && fileName != ".." &&
           fileName.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::optional<std::string> DriveMap::RealFilePath(const std::string& reportPath, const std::string& fileName) const
{
    if (!IsRealFileName(fileName))
        return std::nullopt;
    std::optional<std::string> real = RealPath(reportPath);
    if (real)
        *real += (real->back() == '/' ? "" : "/") + fileName;
    return real;
}

std::optional<std::string> DriveMap::RealPath(const std::string& reportPath) const
{
    if (!IsRealFolderPath(reportPath))
        return std::nullopt;
    if (!IsMapped(DriveOfPath(reportPath)))
        return std::nullopt;
    std::string real = Directory(DriveOfPath(reportPath));
    std::string rest = reportPath.substr(3);
    if (!rest.empty() && rest.back() == '\\')
        rest.pop_back();
    if (rest.empty())
        return real;
    // Steps are separated by backslashes; a '/' inside a step stands for a backslash
    // of the folder's own name (PathNames.h).
    for (char& c : rest)
        c = c == '\\' ? '/' : c == '/' ? '\\' : c;
    if (real.back() != '/')
        real += '/';
    return real + rest;
}

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

// Mount table fields escape blanks and a few other bytes as \ooo.
std::string UnescapeMountField(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && IsOctal(s[i + 1]) && IsOctal(s[i + 2]) &&
            IsOctal(s[i + 3])) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool IsRealFileSystem(const std::string& source, const std::string& type)
{
    static const std::set<std::string> pseudo = {
        "proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "overlay",
        "squashfs", "securityfs", "pstore", "debugfs", "tracefs", "configfs", "fusectl",
        "mqueue", "hugetlbfs", "bpf", "autofs", "binfmt_misc", "rpc_pipefs", "nsfs",
        "efivarfs", "ramfs", "nfsd", "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal"};
    if (pseudo.count(type))
        return false;
    // Backed by a block device.
    return source.rfind("/dev/", 0) == 0;
}

} // namespace

std::vector<MountEntry> ParseMountTable(const std::string& mountsText)
{
    std::istringstream in(mountsText);
    std::string line;
    std::vector<MountEntry> entries;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        MountEntry e;
        if (!(fields >> e.source >> e.point >> e.type))
            continue;
        e.source = UnescapeMountField(e.source);
        e.point = UnescapeMountField(e.point);
        e.type = UnescapeMountField(e.type);
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<MountEntry> ReadMountTable()
{
    std::ifstream f("/proc/self/mounts");
    std::stringstream text;
    text << f.rdbuf();
    return ParseMountTable(text.str());
}

DriveMap DriveMap::FromMountTable(const std::string& mountsText)
{
    std::set<std::string> mountPoints;
    for (const MountEntry& e : ParseMountTable(mountsText))
        if (IsRealFileSystem(e.source, e.type) && e.point != "/")
            mountPoints.insert(e.point);
    DriveMap map;
    map.Set('C', "/");
    char letter = 'D';
    for (const std::string& mp : mountPoints) { // std::set: mount-point order
        if (letter > kLast)
            break;
        map.Set(letter++, mp);
    }
    return map;
}

DriveMap DriveMap::FromSystem()
{
    std::ifstream f("/proc/self/mounts");
    std::stringstream text;
    text << f.rdbuf();
    return FromMountTable(text.str());
}

std::optional<std::pair<char, std::string>> DriveMap::ParseAssignment(const std::string& item, std::string* error)
{
    const char letter = item.size() >= 3 ? NormalizeDriveLetter(item[0]) : 0;
    if (!letter || item[1] != '=') {
        if (error)
            *error = "bad drive assignment '" + item + "' (expected L=DIR with L from C to Z)";
        return std::nullopt;
    }
    return std::make_pair(letter, item.substr(2));
}

std::optional<DriveMap> DriveMap::FromAssignments(const std::string& text, std::string* error)
{
    DriveMap map;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(';', start);
        if (end == std::string::npos)
            end = text.size();
        std::string item = text.substr(start, end - start);
        start = end + 1;
        if (item.empty())
            continue;
        auto one = ParseAssignment(item, error);
        if (!one)
            return std::nullopt;
        map.Set(one->first, one->second);
    }
    return map;
}

DriveMap DriveMap::FromEnvironment(std::string* error)
{
    const char* env = std::getenv("TOVALINE_DRIVES");
    if (env && *env) {
        if (auto map = FromAssignments(env, error))
            return *map;
    }
    return FromSystem();
}

} // namespace tvl
