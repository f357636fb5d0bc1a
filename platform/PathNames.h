// Folder names inside report paths.
//
// A report path is the drive's root ("C:\") followed by one name and a backslash per
// level. A Linux name may hold a backslash itself, which would make such a path
// ambiguous ("C:\q\r\" could be the folder "q\r" or the folder "r" inside "q"). So a
// backslash inside a name is written as '/' in the report path; a Linux name can never
// hold '/', so the mapping is one-to-one and can be undone. Only report paths carry
// the mapped form: file names, the ranking's file names and real paths keep a name's
// own bytes.
#pragma once

#include <string>
#include <string_view>

namespace tvl {

// Appends a folder's name in its report-path form and the closing backslash.
void AppendPathStep(std::string& path, std::string_view name);
// A name as a report path writes it (backslashes as '/').
std::string NameToPathStep(std::string_view name);
// The folder's own name back from one step of a report path ('/' as backslash).
std::string PathStepToName(std::string_view step);

} // namespace tvl
