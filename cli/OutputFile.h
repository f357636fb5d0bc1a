// The files tovaline-cli writes besides reports (a treemap picture, CSV tables) are
// written the way Save writes a report: through AtomicFile, so that the name is
// replaced only by a complete file and only where Save would replace it (a regular
// file the user may write, a link only where the system lets the user follow it,
// owner and mode kept). A file that begins with the report magic is never replaced.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

namespace tvl::cli {

// Writes what `print` puts on its stream to the file `name`. Returns false after one
// line on err: "tovaline-cli: cannot create NAME: REASON" when nothing could be
// written (the name is left as it was), "tovaline-cli: cannot write NAME: REASON"
// when writing or putting the file in place failed (no part of it is left; a file
// that was there is as it was).
bool WriteOutputFile(const std::string& name, const std::function<void(std::ostream&)>& print, std::ostream& err);

// As WriteOutputFile, but the name "-" means the stream `out` (standard output).
bool WriteOutput(const std::string& name, std::ostream& out, const std::function<void(std::ostream&)>& print,
                 std::ostream& err);

} // namespace tvl::cli
