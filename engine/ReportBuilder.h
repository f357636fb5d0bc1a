// The one way folders get into a DriveReport. Both producers feed it, the drive scan
// as it walks and the report file reader as it reads records; the builder alone sets
// parents, levels, list order, the display flags and the subtree extents.
//
// A folder's parent is the nearest open folder whose level is smaller than its own:
// EnterFolder first closes every open folder whose level is not smaller. So the scan,
// which leaves each folder when its listing is done, and the reader, which only knows
// each record's level, build the same list.
#pragma once

#include "Report.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tvl {

class ReportBuilder {
public:
    // Where the folders come from; the display flags of a finished report differ.
    // Scan: the root and the first level are shown and expandable, nothing is expanded;
    // files added count in the folder's own space and are offered to the ranking.
    // File: only the drive's first record is shown, nothing is expanded; the records
    // carry their own numbers. Both: every folder with a child is expandable.
    enum class Origin { Scan, File };

    // Builds into `drive`, whose folder list must be empty. Not owning.
    ReportBuilder(DriveReport& drive, Origin origin) : m_drive(drive), m_origin(origin) {}

    // Closes the open folders whose level is not smaller than nLevel, then appends the
    // folder as a child of the innermost one left (none for the first) and opens it.
    // Throws std::bad_alloc; the report is then as before the call.
    FolderRecord& EnterFolder(std::string strPath, std::int32_t nLevel);
    // Room for the files AddFile will add to the innermost open folder (the listing is
    // known first, so the array is sized exactly).
    void ExpectFiles(std::size_t nFiles);
    // A file of the innermost open folder (Origin::Scan): counts in its own space, is
    // offered to the drive's ranking and kept when the drive stores file names.
    // Throws std::bad_alloc.
    // With bCounts false (a later name of a hard-linked file already counted) the file
    // is only kept in the stored names: it adds nothing to the own space and is not
    // offered to the ranking.
    void AddFile(std::string_view strName, std::int64_t nSize, bool bCounts = true);
    // The same with the facts of a drive that keeps them (bFolderFacts): the file's
    // other size and modification time count in the folder's own facts (file count and
    // other space only when bCounts; the change time always) and are stored with its name.
    void AddFile(std::string_view strName, std::int64_t nSize, std::int64_t nOtherSize, std::int64_t nChange,
                 bool bCounts);
    // The stored files of the innermost open folder as a file gave them (Origin::File).
    void SetFiles(std::vector<FileEntry>&& files) { Current()->files = std::move(files); }
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

    DriveReport& m_drive;
    Origin m_origin;
    std::vector<Open> m_open; // the folders entered and not yet closed, outermost first
};

} // namespace tvl
