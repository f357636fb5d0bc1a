#include "FileTypes.h"

#include "Report.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_map>

namespace tvl {

namespace {

bool IsVersion(std::string_view part)
{
    return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
}

// Sums of a damaged report may exceed what 64 bits hold: they stop at the ends.
void Add(std::int64_t& sum, std::int64_t n)
{
    if (__builtin_add_overflow(sum, n, &sum))
        sum = n > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

struct TypeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
using TypeMap = std::unordered_map<std::string, std::uint32_t, TypeHash, std::equal_to<>>;

// Decides which names of a folder did not count in its own space when the report does
// not say: see FileTypeIndex's constructor. types[i] is set to kNotCounted for those.
void MarkUncountedBySize(const std::vector<FileEntry>& files, std::int64_t nExcess, std::uint32_t* types)
{
    const std::size_t n = files.size();
    // One name of exactly the difference: the common case of one hard-linked file.
    for (std::size_t i = n; i-- > 0;)
        if (files[i].nSize == nExcess) {
            types[i] = FileTypeIndex::kNotCounted;
            return;
        }
    std::vector<std::size_t> order;
    order.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (files[i].nSize > 0)
            order.push_back(i);
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return files[a].nSize != files[b].nSize ? files[a].nSize > files[b].nSize : a > b;
    });
    // The largest names that fit, either into the difference (those did not count) or
    // into the folder's own space (those did); the first way that matches exactly wins.
    std::int64_t positive = 0;
    for (std::size_t i : order)
        Add(positive, files[i].nSize);
    std::vector<char> uncounted(n, 0), counted(n, 0);
    auto fill = [&](std::int64_t left, std::vector<char>& pick) {
        for (std::size_t i : order)
            if (left > 0 && files[i].nSize <= left) {
                pick[i] = 1;
                left -= files[i].nSize;
            }
        return left;
    };
    const std::int64_t uncountedLeft = fill(nExcess, uncounted);
    if (uncountedLeft != 0 && fill(positive - nExcess, counted) == 0) {
        for (std::size_t i : order)
            if (!counted[i])
                types[i] = FileTypeIndex::kNotCounted;
        return;
    }
    for (std::size_t i : order)
        if (uncounted[i])
            types[i] = FileTypeIndex::kNotCounted;
    if (uncountedLeft <= 0)
        return;
    // The sizes cannot be matched: one more name goes (the smallest left, larger than
    // what remains), so that the counted names never claim more than the folder holds.
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        if (!uncounted[*it]) {
            types[*it] = FileTypeIndex::kNotCounted;
            return;
        }
}

std::size_t SizeClassOf(std::int64_t nSize)
{
    std::size_t c = 0;
    while (c < kSizeClassBounds.size() && nSize >= kSizeClassBounds[c])
        ++c;
    return c;
}

std::size_t AgeClassOf(std::int64_t nAge)
{
    std::size_t c = 0;
    while (c < kAgeClassBounds.size() && nAge >= kAgeClassBounds[c])
        ++c;
    return c;
}

} // namespace

std::string_view RawFileExtension(std::string_view strName)
{
    std::size_t end = strName.size();
    while (end > 0) {
        const std::size_t dot = strName.rfind('.', end - 1);
        if (dot == std::string_view::npos || dot == 0)
            return {};
        const std::string_view part = strName.substr(dot + 1, end - dot - 1);
        if (part.empty() || part.find_first_of(" -") != std::string_view::npos)
            return {};
        if (!IsVersion(part))
            return strName.substr(dot, end - dot);
        end = dot;
    }
    return {};
}

std::string FileExtension(std::string_view strName)
{
    std::string e(RawFileExtension(strName));
    for (char& c : e)
        c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
    return e;
}

std::string FileTypeLabel(std::string_view strExtension)
{
    return strExtension.empty() ? std::string("(no extension)") : std::string(strExtension);
}

FileTypeIndex::FileTypeIndex(const DriveReport& drive, const IFileFacts* facts)
    : FileTypeIndex(drive, PrimaryKind(drive), facts)
{
}

FileTypeIndex::FileTypeIndex(const DriveReport& drive, SizeKind kind, const IFileFacts* facts)
    : m_cDrive(drive.cDrive), m_bNames(drive.bStoreFileNames)
{
    const bool bOther = ShownKind(drive, kind) != PrimaryKind(drive);
    const auto& folders = drive.Folders();
    const std::size_t n = folders.size();
    m_subtreeEnd.resize(n);
    m_withSubs.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t end = i + 1 + static_cast<std::size_t>(std::max(folders[i]->nDescendants, 0));
        m_subtreeEnd[i] = static_cast<std::int32_t>(std::min(end, n));
        m_withSubs[i] = bOther ? folders[i]->nOtherWithSubs : folders[i]->nSpaceWithSubs;
    }
    m_fileFirst.assign(n + 1, 0);
    if (!m_bNames)
        return;
    std::size_t files = 0;
    for (std::size_t i = 0; i < n; ++i)
        m_fileFirst[i] = files, files += folders[i]->files.size();
    m_fileFirst[n] = files;
    m_size.resize(files);
    m_type.resize(files);
    TypeMap ids;
    std::string folded;
    // A report that knows how it was measured (a scan, a report file with its scan
    // facts) knows which names counted; sizes are only a guess for older files.
    const bool bReportKnowsCounts = drive.pFacts != nullptr || !drive.AllCount();
    for (std::size_t i = 0; i < n; ++i) {
        const FolderRecord& f = *folders[i];
        const std::size_t first = m_fileFirst[i];
        const int nPos = static_cast<int>(i);
        std::int64_t sum = 0;
        bool bCountsKnown = bReportKnowsCounts;
        for (std::size_t k = 0; k < f.files.size(); ++k) {
            const FileEntry& e = f.files[k];
            const std::string_view raw = RawFileExtension(e.strName);
            folded.assign(raw);
            for (char& c : folded)
                c = static_cast<char>(FoldCase(static_cast<unsigned char>(c)));
            auto it = ids.find(std::string_view(folded));
            if (it == ids.end()) {
                it = ids.emplace(folded, static_cast<std::uint32_t>(m_types.size())).first;
                m_types.push_back(folded);
            }
            const std::int64_t size = bOther ? e.nOtherSize : e.nSize;
            m_size[first + k] = size;
            m_type[first + k] = it->second;
            Add(sum, size);
            if (bReportKnowsCounts && !drive.Counts(f, e.strName))
                m_type[first + k] = kNotCounted;
            // The change times the report keeps with its names, unless the caller knows them.
            std::optional<std::int64_t> t;
            if (drive.bFolderFacts && e.nChange != kNoTime)
                t = e.nChange;
            if (facts) {
                if (const std::optional<bool> counted = facts->Counted(f, nPos, k)) {
                    bCountsKnown = true;
                    if (!*counted)
                        m_type[first + k] = kNotCounted;
                }
                if (const std::optional<std::int64_t> known = facts->ModificationTime(f, nPos, k))
                    t = known;
            }
            if (t) {
                if (m_time.empty())
                    m_time.assign(files, kNoTime);
                m_time[first + k] = *t;
            }
        }
        if (!bCountsKnown && sum > f.nSpaceWithoutSubs)
            MarkUncountedBySize(f.files, sum - f.nSpaceWithoutSubs, m_type.data() + first);
    }
}

std::uint32_t FileTypeIndex::TypeId(std::string_view strExtension) const
{
    const auto it = std::find(m_types.begin(), m_types.end(), strExtension);
    return it == m_types.end() ? kNotCounted : static_cast<std::uint32_t>(it - m_types.begin());
}

const char* SizeClassLabel(std::size_t nClass)
{
    static const char* const kLabels[kSizeClasses] = {"< 4 KiB",   "< 64 KiB", "< 1 MiB", "< 16 MiB",
                                                      "< 256 MiB", "< 4 GiB",  ">= 4 GiB"};
    return nClass < kSizeClasses ? kLabels[nClass] : "";
}

const char* AgeClassLabel(std::size_t nClass)
{
    static const char* const kLabels[kAgeClasses] = {"< 1 day", "< 1 week", "< 1 month", "< 1 year", "older"};
    return nClass < kAgeClasses ? kLabels[nClass] : "";
}

double FileTypeStats::Share(std::int64_t nBytes) const
{
    return nTotalBytes > 0 ? 100.0 * double(nBytes) / double(nTotalBytes) : 0.0;
}

FileTypeStats ComputeFileTypes(const FileTypeIndex& index, int nFolder, const FileTypeOptions& options)
{
    FileTypeStats s;
    if (nFolder < 0 || nFolder >= index.Size())
        return s;
    s.nFolder = nFolder;
    s.nTotalBytes = index.SpaceWithSubs(nFolder);
    s.bNames = index.StoresFileNames();
    if (!s.bNames)
        return s;
    s.bTimesKnown = index.KnowsTimes();
    std::vector<FileTypeRow> acc(index.Types().size());
    const int end = index.SubtreeEnd(nFolder);
    for (int p = nFolder; p < end; ++p) {
        if ((p & 1023) == 0 && options.pCancel && options.pCancel->load(std::memory_order_relaxed)) {
            s.bCancelled = true;
            return s;
        }
        const std::size_t first = index.FirstFile(p), last = index.FirstFile(p + 1);
        for (std::size_t i = first; i < last; ++i) {
            const std::uint32_t t = index.FileType(i);
            if (t == FileTypeIndex::kNotCounted)
                continue;
            const std::int64_t size = index.FileSize(i);
            FileTypeRow& r = acc[t];
            if (r.nFiles == 0 || size > r.largest.nSize)
                r.largest = {p, static_cast<std::int32_t>(i - first), size};
            ++r.nFiles;
            Add(r.nBytes, size);
            FileClass& sc = s.sizes[SizeClassOf(size)];
            ++sc.nFiles;
            Add(sc.nBytes, size);
            if (s.bTimesKnown) {
                const std::int64_t time = index.FileTime(i);
                FileClass* ac = &s.agesUnknown;
                if (time != FileTypeIndex::kNoTime) {
                    r.nNewest = std::max(r.nNewest, time);
                    std::int64_t age = 0;
                    if (__builtin_sub_overflow(options.nNow, time, &age))
                        age = time > 0 ? -1 : std::numeric_limits<std::int64_t>::max();
                    ac = &s.ages[AgeClassOf(age)];
                }
                ++ac->nFiles;
                Add(ac->nBytes, size);
            }
        }
    }
    std::int64_t counted = 0;
    for (std::size_t t = 0; t < acc.size(); ++t) {
        if (acc[t].nFiles == 0)
            continue;
        acc[t].nType = static_cast<std::uint32_t>(t);
        acc[t].strExtension = index.Types()[t];
        s.nFiles += acc[t].nFiles;
        Add(counted, acc[t].nBytes);
        s.types.push_back(std::move(acc[t]));
    }
    std::sort(s.types.begin(), s.types.end(), [](const FileTypeRow& a, const FileTypeRow& b) {
        return a.nBytes != b.nBytes ? a.nBytes > b.nBytes : a.strExtension < b.strExtension;
    });
    if (__builtin_sub_overflow(s.nTotalBytes, counted, &s.nUnmatchedBytes))
        s.nUnmatchedBytes = 0;
    return s;
}

std::vector<FileTypeFile> LargestFilesOfType(const FileTypeIndex& index, int nFolder, std::uint32_t nType,
                                             std::size_t nMax)
{
    std::vector<FileTypeFile> out;
    if (nFolder < 0 || nFolder >= index.Size() || nMax == 0 || !index.StoresFileNames())
        return out;
    // A heap whose top is the smallest kept (the latest among equal sizes).
    struct Kept {
        FileTypeFile f;
        std::size_t order;
    };
    auto smaller = [](const Kept& a, const Kept& b) {
        return a.f.nSize != b.f.nSize ? a.f.nSize > b.f.nSize : a.order < b.order;
    };
    std::vector<Kept> heap;
    const int end = index.SubtreeEnd(nFolder);
    for (int p = nFolder; p < end; ++p) {
        const std::size_t first = index.FirstFile(p), last = index.FirstFile(p + 1);
        for (std::size_t i = first; i < last; ++i) {
            if (index.FileType(i) != nType)
                continue;
            const Kept k{{p, static_cast<std::int32_t>(i - first), index.FileSize(i)}, i};
            if (heap.size() < nMax) {
                heap.push_back(k);
                std::push_heap(heap.begin(), heap.end(), smaller);
            } else if (smaller(k, heap.front())) {
                std::pop_heap(heap.begin(), heap.end(), smaller);
                heap.back() = k;
                std::push_heap(heap.begin(), heap.end(), smaller);
            }
        }
    }
    std::sort_heap(heap.begin(), heap.end(), smaller);
    out.reserve(heap.size());
    for (const Kept& k : heap)
        out.push_back(k.f);
    return out;
}

} // namespace tvl
