#include "ScanOptions.h"

#include <fnmatch.h>

namespace tvl {

namespace {

std::string Quoted(std::string_view pattern)
{
    return "The pattern \"" + std::string(pattern) + "\" ";
}

// Position after the bracket expression that opens at `open`, or npos when it is not
// closed. The first character after "[", "[!" or "[^" may be a literal ']'.
std::size_t BracketEnd(std::string_view p, std::size_t open)
{
    std::size_t i = open + 1;
    if (i < p.size() && (p[i] == '!' || p[i] == '^'))
        ++i;
    if (i < p.size() && p[i] == ']')
        ++i;
    for (; i < p.size(); ++i)
        if (p[i] == ']')
            return i + 1;
    return std::string_view::npos;
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string NormalizeExcludePattern(std::string_view pattern)
{
    if (pattern.size() > 1 && pattern.back() == '/' && pattern[pattern.size() - 2] != '\\')
        pattern.remove_suffix(1);
    return std::string(pattern);
}

std::string CheckExcludePattern(std::string_view pattern)
{
    if (pattern.empty())
        return "An empty pattern cannot say which folders to leave out.";
    const std::string p = NormalizeExcludePattern(pattern);
    if (p.front() == '/')
        return Quoted(pattern) + "begins with '/': a pattern with '/' is matched against folder paths "
                                 "relative to the drive's directory, such as \"var/cache\".";
    if (p.find("//") != std::string::npos || p.back() == '/')
        return Quoted(pattern) + "has an empty step between two '/'.";
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] == '\\') {
            if (i + 1 == p.size())
                return Quoted(pattern) + "ends in a lone backslash.";
            ++i; // the escaped character
        } else if (p[i] == '[') {
            const std::size_t end = BracketEnd(p, i);
            if (end == std::string_view::npos)
                return Quoted(pattern) + "has a '[' without its closing ']'.";
            i = end - 1;
        }
    }
    return std::string();
}

std::string ParseExcludeList(std::string_view text, std::vector<std::string>& out)
{
    std::vector<std::string> patterns;
    while (true) {
        const std::size_t semi = text.find(';');
        const std::string_view item = Trimmed(text.substr(0, semi));
        if (!item.empty()) {
            if (std::string problem = CheckExcludePattern(item); !problem.empty())
                return problem;
            patterns.push_back(NormalizeExcludePattern(item));
        }
        if (semi == std::string_view::npos)
            break;
        text.remove_prefix(semi + 1);
    }
    out = std::move(patterns);
    return std::string();
}

std::string JoinExcludeList(const std::vector<std::string>& patterns)
{
    std::string text;
    for (const std::string& p : patterns) {
        if (!text.empty())
            text += "; ";
        text += p;
    }
    return text;
}

FolderFilter::FolderFilter(const ScanOptions& options) : m_bSkipHidden(options.bSkipHidden)
{
    for (const std::string& p : options.excludes)
        (p.find('/') == std::string::npos ? m_namePatterns : m_pathPatterns).push_back(p);
}

bool FolderFilter::LeavesOut(std::string_view name, std::string_view relPath) const
{
    if (name.empty() || name == "." || name == "..")
        return true;
    if (m_bSkipHidden && name.front() == '.')
        return true;
    if (m_namePatterns.empty() && m_pathPatterns.empty())
        return false;
    const std::string n(name);
    for (const std::string& p : m_namePatterns)
        if (::fnmatch(p.c_str(), n.c_str(), 0) == 0)
            return true;
    if (m_pathPatterns.empty())
        return false;
    const std::string r(relPath);
    for (const std::string& p : m_pathPatterns)
        if (::fnmatch(p.c_str(), r.c_str(), FNM_PATHNAME) == 0)
            return true;
    return false;
}

bool HardLinkSet::FirstName(std::uint64_t device, std::uint64_t inode)
{
    return m_seen.insert(Key{device, inode}).second;
}

} // namespace tvl
