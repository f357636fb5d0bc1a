// Feeds arbitrary bytes to the ncdu export reader. Besides the sanitizers' checks: a
// failure leaves no drive and says why; an export that reads keeps the parent rule and
// sums that add up, and our export of it reads back into the same numbers.
#include "NcduExport.h"
#include "NcduImport.h"
#include "ReportFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

tvl::LoadedReport Read(const void* data, std::size_t size)
{
    tvl::NullLoadProgress progress;
    tvl::ReportReader in(data, size);
    return tvl::ImportNcduExport(in, tvl::NcduImportOptions{}, progress);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    tvl::LoadedReport first = Read(data, size);
    if (!first.result.bOk) {
        Check(first.drives.empty() && !first.result.message.empty());
        return 0;
    }
    Check(first.nDrives == 1 && first.drives.size() == 1);
    const tvl::DriveReport& d = *first.drives[0];
    for (const tvl::FolderRecord* rec : d.Folders()) {
        std::int64_t own = 0;
        for (const tvl::FileEntry& f : rec->files)
            if (d.Counts(*rec, f.strName))
                own += f.nSize;
        Check(own == rec->nSpaceWithoutSubs && rec->nSpaceWithSubs >= own);
        if (rec->pParent)
            Check(rec->pParent->nLevel + 1 == rec->nLevel && rec->pParent->nSpaceWithSubs >= rec->nSpaceWithSubs);
    }

    std::ostringstream out;
    Check(tvl::WriteNcduExport(out, first.drives, 0).empty());
    const std::string json = out.str();
    tvl::LoadedReport second = Read(json.data(), json.size());
    Check(second.result.bOk);
    const tvl::DriveReport& e = *second.drives[0];
    Check(e.nFolders == d.nFolders);
    for (int i = 0; i < d.nFolders; ++i) {
        Check(d.GetFolder(i)->strPath == e.GetFolder(i)->strPath);
        Check(d.GetFolder(i)->nSpaceWithSubs == e.GetFolder(i)->nSpaceWithSubs);
        Check(d.GetFolder(i)->nOtherWithSubs == e.GetFolder(i)->nOtherWithSubs);
    }
    return 0;
}
