// File types of a folder: the extension rule the treemap shares, the statistics of a
// scanned tree worked out by hand (hard link counted once, totals equal to the
// folder's space), names of hard-linked files told apart by size, and what is known
// only where a report knows modification times.
#include "FileTypes.h"
#include "ReportBuilder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <unistd.h>

namespace tvl::test {
namespace {

TEST(FileTypes, ExtensionRule)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a.TXT", ".txt"},         {"archive.tar.gz", ".gz"}, {"Makefile", ""},         {"file.7z", ".7z"},
        {"libz.so.1.2.13", ".so"}, {"libfoo.so.2", ".so"},    {"python3.11", ""},       {"notes.1", ""},
        {"v1.2", ""},              {".bashrc", ""},           {".vimrc.BAK", ".bak"},   {"x.", ""},
        {"a..2", ""},              {"Dr. Who", ""},           {"Mr. Smith.txt", ".txt"}, {"caf\xe9.JPG", ".jpg"},
        {"python3.11-config", ""}, {"perl5.36-x86_64-linux-gnu", ""}, {"ld.gold", ".gold"},
        {"x.\xc9T", ".\xc9t"},     {"", ""},                  {".", ""},
    };
    for (const auto& [name, ext] : cases)
        EXPECT_EQ(FileExtension(name), ext) << name;
    EXPECT_EQ(RawFileExtension("libz.SO.1"), ".SO");
    EXPECT_EQ(FileTypeLabel(""), "(no extension)");
}

const FileTypeRow* Row(const FileTypeStats& s, const std::string& ext)
{
    for (const FileTypeRow& r : s.types)
        if (r.strExtension == ext)
            return &r;
    return nullptr;
}

// Every type's files and bytes, and that the classes and types add up.
std::map<std::string, std::pair<std::int64_t, std::int64_t>> Summary(const FileTypeStats& s)
{
    std::map<std::string, std::pair<std::int64_t, std::int64_t>> m;
    std::int64_t files = 0, bytes = 0, classFiles = 0, classBytes = 0;
    for (const FileTypeRow& r : s.types) {
        m[r.strExtension] = {r.nFiles, r.nBytes};
        files += r.nFiles, bytes += r.nBytes;
    }
    for (const FileClass& c : s.sizes)
        classFiles += c.nFiles, classBytes += c.nBytes;
    EXPECT_EQ(files, s.nFiles);
    EXPECT_EQ(bytes + s.nUnmatchedBytes, s.nTotalBytes);
    EXPECT_EQ(classFiles, files);
    EXPECT_EQ(classBytes, bytes);
    return m;
}

TEST(FileTypes, ScannedTreeGivesHandCountedTypesAndSizes)
{
    TempDir t;
    t.MakeFile("a.TXT", 100);
    t.MakeFile("b.txt", 5000);
    t.MakeFile("archive.tar.gz", 70000);
    t.MakeFile(".bashrc", 10);
    t.MakeFile("Makefile", 0);
    t.MakeFile("sub/libz.so.1.2", 2 << 20);
    t.MakeFile("sub/python3.11", 20 << 20);
    t.MakeFile("sub/photo.JPG", 300 << 20);
    t.MakeFile("sub/disk.IMG", 5LL << 30);
    t.MakeFile("sub/.hidden/notes.md", 1);
    // Two names of one file, of the same type whichever the walk meets first.
    ASSERT_EQ(::link(t.Abs("sub/photo.JPG").c_str(), t.Abs("sub/photo-copy.jpg").c_str()), 0);

    ScanFixture fx(RealFileSystem(), t.path());
    const auto r = fx.Scan(true);
    ASSERT_EQ(r->GetFolder(0)->nSpaceWithSubs, 5706425703);
    const FileTypeIndex index(*r);

    const FileTypeStats root = ComputeFileTypes(index, 0);
    ASSERT_TRUE(root.bNames);
    EXPECT_EQ(root.nTotalBytes, 5706425703);
    EXPECT_EQ(root.nUnmatchedBytes, 0);
    EXPECT_EQ(root.nFiles, 10);
    using P = std::pair<std::int64_t, std::int64_t>;
    const std::map<std::string, P> expected{
        {".img", {1, 5LL << 30}}, {".jpg", {1, 300 << 20}}, {"", {3, (20 << 20) + 10}}, {".so", {1, 2 << 20}},
        {".gz", {1, 70000}},      {".txt", {2, 5100}},      {".md", {1, 1}}};
    EXPECT_EQ(Summary(root), expected);
    // Most bytes first.
    ASSERT_EQ(root.types.size(), 7u);
    EXPECT_EQ(root.types[0].strExtension, ".img");
    EXPECT_EQ(root.types[6].strExtension, ".md");
    EXPECT_NEAR(root.Share(root.types[0].nBytes), 100.0 * (5LL << 30) / 5706425703.0, 1e-9);
    const FileTypeRow* none = Row(root, "");
    ASSERT_NE(none, nullptr);
    const FolderRecord* holder = r->GetFolder(none->largest.nFolder);
    EXPECT_EQ(holder->files[std::size_t(none->largest.nFile)].strName, "python3.11");
    EXPECT_EQ(Row(root, ".txt")->largest.nSize, 5000);

    const std::int64_t sizeFiles[kSizeClasses] = {4, 1, 1, 1, 1, 1, 1};
    const std::int64_t sizeBytes[kSizeClasses] = {111, 5000, 70000, 2 << 20, 20 << 20, 300 << 20, 5LL << 30};
    for (std::size_t c = 0; c < kSizeClasses; ++c) {
        EXPECT_EQ(root.sizes[c].nFiles, sizeFiles[c]) << SizeClassLabel(c);
        EXPECT_EQ(root.sizes[c].nBytes, sizeBytes[c]) << SizeClassLabel(c);
    }
    EXPECT_TRUE(root.bTimesKnown); // a scan keeps every name's change time

    // A folder below: its own subtree only.
    int sub = -1;
    for (int i = 0; i < r->nFolders; ++i)
        if (r->GetFolder(i)->strPath == "C:\\sub\\")
            sub = i;
    const FileTypeStats s = ComputeFileTypes(index, sub);
    EXPECT_EQ(s.nTotalBytes, r->GetFolder(sub)->nSpaceWithSubs);
    const std::map<std::string, P> below{
        {".img", {1, 5LL << 30}}, {".jpg", {1, 300 << 20}}, {"", {1, 20 << 20}}, {".so", {1, 2 << 20}}, {".md", {1, 1}}};
    EXPECT_EQ(Summary(s), below);

    // The largest files of a type, largest first; both .txt files of the root.
    const std::vector<FileTypeFile> txt = LargestFilesOfType(index, 0, index.TypeId(".txt"), 10);
    ASSERT_EQ(txt.size(), 2u);
    EXPECT_EQ(txt[0].nSize, 5000);
    EXPECT_EQ(txt[1].nSize, 100);
    EXPECT_EQ(LargestFilesOfType(index, 0, index.TypeId(".txt"), 1).size(), 1u);
    EXPECT_TRUE(LargestFilesOfType(index, sub, index.TypeId(".txt"), 10).empty());

    // Without stored names there are no types, only the total.
    ScanFixture plain(RealFileSystem(), t.path());
    const FileTypeStats noNames = ComputeFileTypes(FileTypeIndex(*plain.Scan(false)), 0);
    EXPECT_FALSE(noNames.bNames);
    EXPECT_TRUE(noNames.types.empty());
}

// A report as a file holds it: folders with their own space and stored files.
struct Folder {
    std::string path;
    int level;
    std::int64_t own;
    std::vector<FileEntry> files;
};

std::unique_ptr<DriveReport> MakeReport(const std::vector<Folder>& folders)
{
    auto d = std::make_unique<DriveReport>();
    d->cDrive = 'C';
    d->bStoreFileNames = true;
    ReportBuilder b(*d, ReportBuilder::Origin::File);
    std::vector<FolderRecord*> list;
    for (const Folder& f : folders) {
        FolderRecord& rec = b.EnterFolder(f.path, f.level);
        rec.nSpaceWithoutSubs = rec.nSpaceWithSubs = f.own;
        b.SetFiles(std::vector<FileEntry>(f.files));
        list.push_back(&rec);
    }
    b.Finish();
    for (std::size_t i = list.size(); i-- > 1;)
        list[i]->pParent->nSpaceWithSubs += list[i]->nSpaceWithSubs;
    return d;
}

TEST(FileTypes, NamesOfHardLinkedFilesAreToldApartBySize)
{
    const auto d = MakeReport({
        {"C:\\", 0, 0, {}},
        // One name of exactly the difference: the later one did not count.
        {"C:\\one\\", 1, 10, {{"a.iso", 10}, {"b.ISO", 10}, {"c.txt", 0}}},
        // No single name of 6: the 4 counted, both 3s did not.
        {"C:\\two\\", 1, 4, {{"x.bin", 3}, {"y.dat", 4}, {"z.bin", 3}}},
        // Every name counted elsewhere.
        {"C:\\three\\", 1, 0, {{"p.log", 5}, {"q.log", 2}}},
        // Sizes that no choice of names explains (a damaged report): the names never
        // claim more than the folder holds, the rest is "not matched".
        {"C:\\four\\", 1, 5, {{"m.txt", 3}, {"n.txt", 3}}},
    });
    const FileTypeIndex index(*d);
    const FileTypeStats s = ComputeFileTypes(index, 0);
    using P = std::pair<std::int64_t, std::int64_t>;
    const std::map<std::string, P> expected{{".iso", {1, 10}}, {".txt", {2, 3}}, {".dat", {1, 4}}};
    EXPECT_EQ(Summary(s), expected);
    EXPECT_EQ(s.nTotalBytes, 19);
    EXPECT_EQ(s.nUnmatchedBytes, 2);
    EXPECT_EQ(Row(s, ".iso")->largest.nFile, 0); // a.iso, the name met first

    // Where the report knows which names counted (a scan, a file with its scan facts),
    // that is taken, not the guess: here the first .iso name is the one that did not.
    d->MarkUncounted(*d->GetFolder(1), "a.iso");
    const FileTypeStats known = ComputeFileTypes(FileTypeIndex(*d), 1);
    ASSERT_NE(Row(known, ".iso"), nullptr);
    EXPECT_EQ(Row(known, ".iso")->nFiles, 1);
    EXPECT_EQ(FileTypeIndex(*d).FileType(index.FirstFile(1)), FileTypeIndex::kNotCounted);
    EXPECT_NE(FileTypeIndex(*d).FileType(index.FirstFile(1) + 1), FileTypeIndex::kNotCounted);
}

// Facts a later report file may carry: times and which names counted.
class FakeFacts final : public IFileFacts {
public:
    std::map<std::pair<int, std::size_t>, std::int64_t> times;
    std::map<std::pair<int, std::size_t>, bool> counted;
    std::optional<std::int64_t> ModificationTime(const FolderRecord&, int nPos, std::size_t nFile) const override
    {
        const auto it = times.find({nPos, nFile});
        return it == times.end() ? std::nullopt : std::optional<std::int64_t>(it->second);
    }
    std::optional<bool> Counted(const FolderRecord&, int nPos, std::size_t nFile) const override
    {
        const auto it = counted.find({nPos, nFile});
        return it == counted.end() ? std::nullopt : std::optional<bool>(it->second);
    }
};

TEST(FileTypes, AgesAndNewestChangeWhereTimesAreKnown)
{
    const auto d = MakeReport({
        {"C:\\", 0, 0, {}},
        {"C:\\a\\", 1, 15, {{"new.txt", 1}, {"week.txt", 2}, {"old.log", 4}, {"untimed.log", 8}}},
        // Both names the same size; the report says the first did not count.
        {"C:\\b\\", 1, 16, {{"link.log", 16}, {"real.log", 16}}},
    });
    constexpr std::int64_t now = 1'800'000'000;
    FakeFacts facts;
    facts.times = {{{1, 0}, now - 3600},          {{1, 1}, now - 3 * 86400},
                   {{1, 2}, now - 400 * 86400},    {{2, 0}, now + 60}, // a clock ahead: changed "now"
                   {{2, 1}, now - 40 * 86400}};
    facts.counted = {{{2, 0}, false}, {{2, 1}, true}};
    FileTypeOptions o;
    o.nNow = now;
    const FileTypeStats s = ComputeFileTypes(FileTypeIndex(*d, &facts), 0, o);
    ASSERT_TRUE(s.bTimesKnown);
    using P = std::pair<std::int64_t, std::int64_t>;
    const std::map<std::string, P> expected{{".txt", {2, 3}}, {".log", {3, 28}}};
    EXPECT_EQ(Summary(s), expected);
    EXPECT_EQ(Row(s, ".txt")->nNewest, now - 3600);
    EXPECT_EQ(Row(s, ".log")->nNewest, now - 40 * 86400); // the uncounted name is not seen
    EXPECT_EQ(Row(s, ".log")->largest.nFile, 1);
    const std::int64_t files[kAgeClasses] = {1, 1, 0, 1, 1}, bytes[kAgeClasses] = {1, 2, 0, 16, 4};
    std::int64_t sumFiles = s.agesUnknown.nFiles, sumBytes = s.agesUnknown.nBytes;
    for (std::size_t c = 0; c < kAgeClasses; ++c) {
        EXPECT_EQ(s.ages[c].nFiles, files[c]) << AgeClassLabel(c);
        EXPECT_EQ(s.ages[c].nBytes, bytes[c]) << AgeClassLabel(c);
        sumFiles += s.ages[c].nFiles, sumBytes += s.ages[c].nBytes;
    }
    EXPECT_EQ(s.agesUnknown.nFiles, 1);
    EXPECT_EQ(sumFiles, s.nFiles);
    EXPECT_EQ(sumBytes, 31);
}

} // namespace
} // namespace tvl::test
