#include "PathNames.h"

#include <algorithm>

namespace tvl {

void AppendPathStep(std::string& path, std::string_view name)
{
    const std::size_t start = path.size();
    path.append(name);
    std::replace(path.begin() + static_cast<std::ptrdiff_t>(start), path.end(), '\\', '/');
    path.push_back('\\');
}

std::string NameToPathStep(std::string_view name)
{
    std::string s(name);
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

std::string PathStepToName(std::string_view step)
{
    std::string s(step);
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

} // namespace tvl
