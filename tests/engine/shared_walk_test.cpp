// The walk shared by several processes, run in one: readers that take work from each
// other, listings that cross as bytes, and the recording walk over what they deliver.
#include "DeliveredFileSystem.h"
#include "Scan.h"
#include "SharedWalk.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <tuple>
#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

using namespace tvl;
using namespace tvl::test;

namespace {

// Everything a report holds, in list order, facts and shares bit for bit.
std::string Dump(const DriveReport& r)
{
    std::ostringstream s;
    s << "folders " << r.nFolders << "\n";
    for (const FolderRecord* f : r.Folders()) {
        char shares[80];
        std::snprintf(shares, sizeof shares, "%a %a", f->dPercentOfParent, f->dPercentOfDisc);
        s << f->strPath << " L" << f->nLevel << " " << f->nSpaceWithoutSubs << " " << f->nSpaceWithSubs << " "
          << shares << " state " << static_cast<int>(f->state) << " files " << f->nFiles << " items "
          << f->nItemsWithSubs << " other " << f->nOtherWithoutSubs << "/" << f->nOtherWithSubs << " change "
          << f->nNewestChange << "\n";
        for (const FileEntry& e : f->files)
            s << "  " << e.strName << " " << e.nSize << " " << e.nOtherSize << "\n";
    }
    for (const RankEntry& e : r.ranking)
        s << "rank " << e.strLocation << e.strName << " " << e.nSize << "\n";
    return s.str();
}

// Each listing waits a little, so that the readers overlap and take work from each other.
class SlowFileSystem final : public IFileSystem {
public:
    explicit SlowFileSystem(IFileSystem& inner) : m_inner(inner) {}
    Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
    Handle OpenChild(Handle h, const std::string& n) override { return m_inner.OpenChild(h, n); }
    ListStatus ReadListing(Handle h, DirListing& out) override
    {
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        return m_inner.ReadListing(h, out);
    }
    void Close(Handle h) override { m_inner.Close(h); }

private:
    IFileSystem& m_inner;
};

// A tree with what changes a walk's result: hard links across subtrees (the first name
// in pre-order counts), folders that cannot be read for each reason, one on another
// file system, a listing that breaks off, hidden folders, names the patterns match,
// and enough folders in several levels that every reader gets some.
void BuildTree(FakeFileSystem& fs)
{
    for (int a = 0; a < 6; ++a)
        for (int b = 0; b < 5; ++b) {
            const std::string dir = "a" + std::to_string(a) + "/b" + std::to_string(b);
            for (int c = 0; c < 3; ++c)
                fs.File(dir + "/c" + std::to_string(c) + "/f", 100 * a + 10 * b + c);
            fs.File(dir + "/same", 4096); // ties in the ranking
        }
    fs.File("a1/link", 7777).inode = 42;
    fs.File("a4/b2/link", 7777).inode = 42;
    fs.File("a0/b0/c0/link", 7777).inode = 42;
    fs.File(".hidden/x/y", 900);
    fs.File("a2/.cache/z", 800);
    fs.File("a3/build/out", 700);
    fs.File("a3/b1/build/out", 600);
    fs.Dir("a1/closed").openable = false, fs.Dir("a1/closed").failure = IFileSystem::kDenied;
    fs.Dir("a1/gone").openable = false, fs.Dir("a1/gone").failure = IFileSystem::kGone;
    fs.Dir("a1/bad").openable = false;
    fs.Dir("a5/mnt").otherDevice = true;
    fs.File("a5/torn/one", 1), fs.File("a5/torn/two", 2);
    fs.Dir("a5/torn").broken = true;
}

struct SharedRun {
    std::string dump;
    std::vector<std::uint64_t> readBy; // directories each reader read
};

// The shared walk with `nReaders` readers of `nThreads` threads each, which keep their
// listings until they are asked for, and a recording walk that asks for at most
// `window` ahead. An exchange thread moves work from busy readers to idle ones and
// listings to the walk, as the processes' exchange does.
SharedRun SharedScan(IFileSystem& fs, const ScanOptions& options, int nReaders, int nThreads, bool files,
                     std::size_t window)
{
    ScanFixture fx(fs, "/fake");
    const std::string root = fx.drives.Directory('C');
    DeliveredFileSystem store(root, window);
    ScanEnvironment env{store, fx.drives, fx.progress, fx.messages, fx.pump, 1, options};
    std::mutex heldMutex;
    std::vector<std::map<std::string, std::string>> held(static_cast<std::size_t>(nReaders));
    std::vector<std::unique_ptr<SharedReader>> readers;
    for (int i = 0; i < nReaders; ++i)
        readers.push_back(std::make_unique<SharedReader>(fs, root, options, nThreads, [&, i](ReadDirectory&& d) {
            std::string bytes;
            EncodeDirectory(d, bytes);
            {
                std::lock_guard<std::mutex> lk(heldMutex);
                held[static_cast<std::size_t>(i)][d.path] = std::move(bytes);
            }
            store.Noticed(d.path, i);
        }));
    readers[0]->Give(std::vector<std::string>(1));
    std::atomic<bool> over{false};
    std::thread exchange([&] {
        std::mt19937 random(7);
        while (!over.load()) {
            for (auto& [path, holder] : store.ToFetch()) {
                std::string bytes;
                {
                    std::lock_guard<std::mutex> lk(heldMutex);
                    auto& mine = held[static_cast<std::size_t>(holder)];
                    ASSERT_TRUE(mine.count(path)) << path << " asked of a reader that does not hold it";
                    bytes = std::move(mine[path]);
                    mine.erase(path);
                }
                ReadDirectory back;
                ASSERT_TRUE(DecodeDirectory(bytes, back));
                store.Deliver(std::move(back));
            }
            for (int i = 0; i < nReaders && nReaders > 1; ++i) {
                if (!readers[i]->Idle())
                    continue;
                const int from = (i + 1 + static_cast<int>(random() % (nReaders - 1))) % nReaders;
                std::string bytes;
                EncodeWork(readers[from]->Steal(64), bytes);
                std::vector<std::string> paths;
                EXPECT_TRUE(DecodeWork(bytes, paths));
                readers[i]->Give(std::move(paths));
            }
            store.WaitForChange(std::chrono::microseconds(50));
        }
    });
    DriveReport report;
    EXPECT_TRUE(report.CreateReport('C', files, 20, env));
    over = true;
    exchange.join();
    SharedRun run{Dump(report), {}};
    for (auto& r : readers)
        run.readBy.push_back(r->DirectoriesRead());
    EXPECT_LE(store.MostWaiting(), window + 1) << "the walk holds about a window of listings";
    return run;
}

std::string PlainScan(IFileSystem& fs, const ScanOptions& options, bool files)
{
    ScanFixture fx(fs, "/fake");
    fx.env.options = options;
    return Dump(*fx.Scan(files, 20));
}

} // namespace

TEST(SharedWalk, MakesTheReportOfOneWalkWhoeverReadsWhat)
{
    FakeFileSystem fake;
    BuildTree(fake);
    SlowFileSystem fs(fake);
    ScanOptions leaveOut;
    leaveOut.bSkipHidden = true;
    leaveOut.excludes = {"build", "a3/b1"};
    for (const ScanOptions& options : {ScanOptions{}, leaveOut})
        for (const bool files : {false, true}) {
            const std::string plain = PlainScan(fs, options, files);
            for (const auto& [nReaders, nThreads, window] :
                 {std::tuple{1, 1, 4096}, {3, 1, 4}, {4, 2, 64}, {3, 2, 1}}) {
                SCOPED_TRACE(testing::Message() << nReaders << " readers of " << nThreads << " threads, window "
                                                << window << ", files " << files << ", hidden skipped "
                                                << options.bSkipHidden);
                const SharedRun run = SharedScan(fs, options, nReaders, nThreads, files, window);
                EXPECT_EQ(run.dump, plain);
                int busy = 0;
                for (std::uint64_t n : run.readBy)
                    busy += n > 0;
                EXPECT_EQ(busy, nReaders) << "every reader got work";
            }
        }
    // The tree holds what the test is about.
    const std::string plain = PlainScan(fs, ScanOptions{}, true);
    EXPECT_NE(plain.find("C:\\a1\\closed\\ L2 0 0 0x0p+0 0x0p+0 state 1"), std::string::npos) << plain;
    EXPECT_NE(plain.find("rank C:\\a0\\b0\\c0\\link 7777"), std::string::npos) << "the first name in pre-order counts";
}

TEST(SharedWalk, ReaderThatRunsOutOfDescriptorsSaysSo)
{
    FakeFileSystem fake;
    BuildTree(fake);
    class Exhausted final : public IFileSystem {
    public:
        explicit Exhausted(IFileSystem& inner) : m_inner(inner) {}
        Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
        Handle OpenChild(Handle, const std::string&) override { return kExhausted; }
        ListStatus ReadListing(Handle h, DirListing& out) override { return m_inner.ReadListing(h, out); }
        void Close(Handle h) override { m_inner.Close(h); }

    private:
        IFileSystem& m_inner;
    } fs(fake);
    std::atomic<int> delivered{0};
    SharedReader reader(fs, fake.RootPath(), ScanOptions{}, 2, [&](ReadDirectory&&) { ++delivered; });
    reader.Give(std::vector<std::string>(1));
    while (!reader.Failure())
        reader.WaitForChange(std::chrono::milliseconds(50));
    EXPECT_EQ(*reader.Failure(), kMsgTooManyOpenFiles);
    while (!reader.Idle()) // the other thread gives up too
        reader.WaitForChange(std::chrono::milliseconds(50));
    EXPECT_EQ(delivered.load(), 1) << "the root only: nothing is delivered for a folder not read";
    EXPECT_TRUE(reader.Steal(100).empty()) << "a failed reader gives no work away";

    // The recording walk, told that a reader failed, fails rather than waiting.
    DeliveredFileSystem store("/fake");
    std::thread([&] { store.Abandon(); }).join();
    DirListing out;
    EXPECT_EQ(store.ReadListing(store.OpenDir("/fake"), out), ListStatus::Exhausted);
}

TEST(SharedWalk, DamagedMessagesAreRefused)
{
    ReadDirectory dir;
    dir.path = "a/b";
    dir.outcome = ReadOutcome::Broken;
    dir.listing.Add("file", 10, false, false, 4096, 7, 8, 1234);
    dir.listing.Add("sub", 0, true, true);
    std::string bytes;
    EncodeDirectory(dir, bytes);
    ReadDirectory back;
    ASSERT_TRUE(DecodeDirectory(bytes, back));
    EXPECT_EQ(back.path, "a/b");
    EXPECT_EQ(back.outcome, ReadOutcome::Broken);
    ASSERT_EQ(back.listing.items.size(), 2u);
    EXPECT_EQ(back.listing.Name(back.listing.items[1]), "sub");
    EXPECT_TRUE(back.listing.items[1].otherDevice);
    EXPECT_EQ(back.listing.items[0].inode, 8u);
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(DecodeDirectory(std::string_view(bytes).substr(0, n), back)) << "cut at " << n;
    std::string bad = bytes;
    bad[bad.size() - 1 - 4 - 5] = 'x'; // the NUL after the first name: a name that runs on is fine...
    bad.resize(bad.size() - 1);        // ...but one past the end is not
    EXPECT_FALSE(DecodeDirectory(bad, back));

    std::string work;
    EncodeWork({"", "a", "a/b c"}, work);
    std::vector<std::string> paths;
    ASSERT_TRUE(DecodeWork(work, paths));
    EXPECT_EQ(paths, (std::vector<std::string>{"", "a", "a/b c"}));
    EXPECT_FALSE(DecodeWork(work.substr(0, work.size() - 1), paths));
    EXPECT_FALSE(DecodeWork(work + "x", paths));
}
