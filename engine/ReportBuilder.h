// The one way folders get into a DriveReport. Both producers feed it: the drive scan
// as it walks, the report file reader as it reads records. The builder alone sets
// what the Parts of a report depend on besides the numbers: parents, levels, list
// order, the display flags and the subtree extents.
//
//   ReportBuilder b(drive, ReportBuilder::Origin::Scan);
//   b.EnterFolder("C:\\", 0);  b.AddFile("a.txt", 10);
//     b.EnterFolder("C:\\sub\\", 1);  ...  b.LeaveFolder();
//   b.LeaveFolder();
//   b.Finish();
//
// A folder's parent is the nearest folder still open whose level is smaller than its
// own; EnterFolder first closes every open folder whose level is not smaller. So the
// scan, which leaves each folder when its listing is done, and the reader, which only
// knows each record's level, build the same list.
#pragma once

#include "Report.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

class ReportBuilder {
public:
    // Where the folders come from; the display flags of a finished report differ:
    // - Scan: the root and the first level are shown and count as expandable, nothing
    //   is expanded; every folder with a child is expandable; files entered through
    //   AddFile count in the folder's own space and are offered to the ranking.
    // - File: only the drive's first record is shown, nothing is expanded, exactly the
    //   folders with a child are expandable; the records carry their own numbers.
    enum class Origin { Scan, File };

    // Builds into `drive`, whose folder list must be empty. Not owning.
    ReportBuilder(DriveReport& drive, Origin origin);

    // Appends a folder at `nLevel`, after closing the open folders whose level is not
    // smaller; its parent is then the innermost open folder (none for the first). The
    // folder is open until LeaveFolder, a later EnterFolder of no greater level, or
    // Finish. Throws std::bad_alloc; the report is then as before the call.
    FolderRecord& EnterFolder(std::string strPath, std::int32_t nLevel);
    // Makes room for the files that AddFile will add to the innermost open folder (the
    // listing is known before its files are added, so the array is sized exactly).
    void ExpectFiles(std::size_t nFiles);
    // A file of the innermost open folder (Origin::Scan): its size counts in the
    // folder's own space, it is offered to the drive's ranking when the drive has one,
    // and it is kept in the folder's files when the drive stores file names.
    // Throws std::bad_alloc.
    void AddFile(std::string_view strName, std::int64_t nSize);
    // The stored files of the innermost open folder as a file gave them (Origin::File).
    void SetFiles(std::vector<FileEntry>&& files);
    // Closes the innermost open folder.
    void LeaveFolder();
    // Closes every open folder and settles the display flags. Call once, at the end.
    void Finish();

    // The innermost open folder, or null.
    FolderRecord* Current() const { return m_open.empty() ? nullptr : m_open.back().rec; }

private:
    struct Open {
        FolderRecord* rec;
        std::size_t pos; // its position in the list
    };
    void Close();

    DriveReport& m_drive;
    Origin m_origin;
    std::vector<Open> m_open; // the folders entered and not yet closed, outermost first
};

} // namespace tvl
