// What a report knows about how it was made, as labelled lines for showing: the
// command line's `info` and the desktop's "Report properties" window show the same.
#pragma once

#include <string>
#include <vector>

namespace tvl {

class ReportDocument;

struct ReportInfoLine {
    enum Kind { Report, Drive, DriveFact } kind; // a fact of the report, a drive's heading, a fact of that drive
    std::string label;                           // "Made by", "Drive C:", "Directory"
    std::string value;                           // raw bytes (paths as the file system gave them)
};

std::vector<ReportInfoLine> ReportInfoLines(const ReportDocument& doc);

// The unreadable folders of all drives, or -1 when no drive knows them.
long long UnreadableFolders(const ReportDocument& doc);

} // namespace tvl
