// The parallel walk must give the report of the sequential walk, field for field, and
// must survive folders and files that change under it.
#include "test_support.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <mutex>
#include <new>
#include <set>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tvl;
using namespace tvl::test;

namespace {

// Everything a report holds, in list order, with the shares bit for bit.
std::string Dump(const DriveReport& r)
{
    std::ostringstream s;
    s << "folders " << r.nFolders << " files " << r.bStoreFileNames << "\n";
    for (const FolderRecord* f : r.Folders()) {
        char shares[80];
        std::snprintf(shares, sizeof shares, "%a %a", f->dPercentOfParent, f->dPercentOfDisc);
        s << f->strPath << " L" << f->nLevel << " P" << (f->pParent ? f->pParent->strPath : "-") << " "
          << f->nSpaceWithoutSubs << " " << f->nSpaceWithSubs << " " << shares << " " << f->bHasSubFolders
          << f->bVisible << f->bExpanded << "\n";
        for (const FileEntry& e : f->files)
            s << "  " << e.strName << " " << e.nSize << "\n";
    }
    for (const RankEntry& e : r.ranking)
        s << "rank " << e.strLocation << e.strName << " " << e.nSize << "\n";
    return s.str();
}

std::string ScanDump(IFileSystem& fs, const std::string& root, int threads, bool files, int ranking)
{
    ScanFixture fx(fs, root);
    fx.env.nThreads = threads;
    auto r = fx.Scan(files, ranking);
    EXPECT_EQ(CheckReportInvariants(*r), "");
    EXPECT_TRUE(fx.messages.messages.empty());
    return Dump(*r);
}

// A deterministic irregular tree: fan-out from 0 to 6, depth up to 12, many files of
// equal size (the ranking's tie rules then depend on the walk order), empty folders,
// dot-folders with content, names that differ only in case.
void BuildIrregularTree(const TempDir& t)
{
    std::uint32_t seed = 12345;
    auto rnd = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    std::vector<std::pair<std::string, int>> todo{{"", 0}};
    int made = 0;
    while (!todo.empty() && made < 400) {
        auto [dir, depth] = todo.back();
        todo.pop_back();
        const std::string prefix = dir.empty() ? "" : dir + "/";
        for (std::uint32_t f = rnd(8); f > 0; --f)
            t.MakeFile(prefix + "f" + std::to_string(made) + "_" + std::to_string(f), rnd(4) * 1000);
        if (depth >= 12)
            continue;
        for (std::uint32_t k = rnd(7); k > 0; --k) {
            std::string name = (rnd(10) == 0 ? "." : "") + std::string(rnd(2) ? "Sub" : "sub") + std::to_string(k);
            t.MakeDirs(prefix + name);
            todo.push_back({prefix + name, depth + 1});
            ++made;
        }
    }
}

// Lets the fake answer slowly, so the calling thread really waits for the workers.
class SlowFileSystem final : public IFileSystem {
public:
    explicit SlowFileSystem(IFileSystem& inner) : m_inner(inner) {}
    Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
    Handle OpenChild(Handle h, const std::string& n) override { return m_inner.OpenChild(h, n); }
    ListStatus ReadListing(Handle h, DirListing& out) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ++reads;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            readers.insert(std::this_thread::get_id());
        }
        return m_inner.ReadListing(h, out);
    }
    void Close(Handle h) override { m_inner.Close(h); }
    std::atomic<int> reads{0};
    std::set<std::thread::id> readers; // the threads that read a listing

private:
    IFileSystem& m_inner;
    std::mutex m_mutex;
};

} // namespace

TEST(ParallelWalk, ThreadsNMeansNThreadsRead)
{
    FakeFileSystem fs;
    for (int i = 0; i < 120; ++i)
        fs.File("d" + std::to_string(i) + "/e/f", 1);
    for (int threads : {1, 2, 4}) {
        SCOPED_TRACE(threads);
        SlowFileSystem slow(fs);
        ScanFixture fx(slow, fs.RootPath(), threads);
        auto r = fx.Scan(false, 10);
        EXPECT_EQ(r->nFolders, 241);
        // Never more readers than asked for (it was N + 1 for N of 2 or more). With
        // slow reads and work to spare, several workers share the reads (with two
        // threads the one worker may well read everything itself).
        EXPECT_LE(slow.readers.size(), static_cast<std::size_t>(threads));
        if (threads == 4) {
            EXPECT_GE(slow.readers.size(), 2u);
        }
    }
}

TEST(ParallelWalk, RealTreesGiveTheSequentialReportWithAnyThreadCount)
{
    TempDir t;
    BuildIrregularTree(t);
    for (bool files : {false, true}) {
        for (int ranking : {0, 1, 7, 1000}) {
            SCOPED_TRACE("files " + std::to_string(files) + " ranking " + std::to_string(ranking));
            const std::string sequential = ScanDump(RealFileSystem(), t.path(), 1, files, ranking);
            EXPECT_GT(sequential.size(), 1000u);
            for (int threads : {2, 3, 8})
                EXPECT_EQ(ScanDump(RealFileSystem(), t.path(), threads, files, ranking), sequential)
                    << threads << " threads";
        }
    }
}

TEST(ParallelWalk, WideDeepTreesReopenFromAnchorsAndCloseEveryHandle)
{
    // A comb 400 levels deep: every level holds the next level and a leaf with a file.
    // The leaves wait while the walk goes down, so their parents would all hold handles;
    // beyond the budget they are opened from an anchor further up.
    FakeFileSystem fs;
    FakeFileSystem::Node* cur = &fs.Root();
    for (int i = 0; i < 400; ++i) {
        auto add = [](FakeFileSystem::Node* parent, const std::string& name) {
            parent->children.push_back(std::make_unique<FakeFileSystem::Node>());
            FakeFileSystem::Node* n = parent->children.back().get();
            n->name = name;
            n->isDir = true;
            return n;
        };
        FakeFileSystem::Node* next = add(cur, "down");
        FakeFileSystem::Node* leaf = add(cur, "leaf");
        leaf->children.push_back(std::make_unique<FakeFileSystem::Node>());
        leaf->children.back()->name = "f";
        leaf->children.back()->size = static_cast<std::uint64_t>(i % 5);
        cur = next;
    }
    const std::string sequential = ScanDump(fs, fs.RootPath(), 1, true, 10);
    fs.maxOpenHandles = 0;
    EXPECT_EQ(ScanDump(fs, fs.RootPath(), 4, true, 10), sequential);
    EXPECT_LE(fs.maxOpenHandles, 200);
    EXPECT_EQ(fs.openHandles, 0);
}

TEST(ParallelWalk, FoldersThatCannotBeReadStayWithoutContentAndNothingStalls)
{
    // "gone" was listed but has vanished (or become unreadable, or been replaced by a
    // file) by the time a worker opens it; the root of drive D cannot be read at all.
    FakeFileSystem fs;
    fs.File("a/x", 10);
    fs.File("gone/inner/y", 20);
    fs.File("gone/z", 30);
    fs.File("b/w", 40);
    fs.Dir("gone").openable = false;
    SlowFileSystem slow(fs);
    ScanFixture fx(slow, fs.RootPath());
    fx.env.nThreads = 3;
    auto r = fx.Scan(true, 100);
    EXPECT_EQ(Paths(*r), (std::vector<std::string>{"C:\\", "C:\\a\\", "C:\\b\\", "C:\\gone\\"}));
    const FolderRecord* gone = Find(*r, "C:\\gone\\");
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->nSpaceWithSubs, 0);
    EXPECT_TRUE(gone->files.empty());
    EXPECT_EQ(r->GetFolder(0)->nSpaceWithSubs, 50);
    ASSERT_EQ(r->ranking.size(), 2u);
    EXPECT_TRUE(fx.messages.messages.empty());
    EXPECT_EQ(fs.openHandles, 0);

    FakeFileSystem closed;
    closed.File("a/x", 10);
    closed.Root().openable = false;
    ScanFixture fx2(closed, closed.RootPath());
    fx2.env.nThreads = 2;
    auto r2 = fx2.Scan(true, 100);
    EXPECT_FALSE(r2->WasCancelled());
    ASSERT_EQ(r2->nFolders, 1);
    EXPECT_EQ(r2->GetFolder(0)->nSpaceWithSubs, 0);
    EXPECT_EQ(r2->GetFolder(0)->dPercentOfDisc, -1.0);
}

TEST(ParallelWalk, AStopWhileWaitingForTheWorkersEndsPromptlyAndClosesEverything)
{
    FakeFileSystem fs;
    for (int i = 0; i < 200; ++i)
        fs.File("d" + std::to_string(i) + "/e/f", 1);
    SlowFileSystem slow(fs);
    ScanFixture fx(slow, fs.RootPath());
    fx.env.nThreads = 2;
    fx.clock.step = 1000; // every reading passes a pump
    fx.hook.onPump = [&] {
        if (fx.hook.calls == 5)
            fx.pump.RequestStop();
    };
    auto r = fx.Scan(false, 100);
    EXPECT_TRUE(r->WasCancelled());
    EXPECT_LT(slow.reads.load(), 300); // far from the 401 directories
    EXPECT_EQ(fs.openHandles, 0);
    EXPECT_EQ(fx.progress.log.back(), "redraw");
}

TEST(ParallelWalk, FilesVanishingDuringTheListingAreLeftOutNotMisreported)
{
    // Files are deleted while the directory is listed: every entry delivered must be a
    // file that existed, with its own size, never a half-filled one.
    TempDir t;
    for (int i = 0; i < 3000; ++i)
        t.MakeFile("d/file" + std::to_string(i), 7);
    std::atomic<bool> done{false};
    std::thread remover([&] {
        for (int i = 2999; i >= 0; i -= 2)
            ::unlink(t.Abs("d/file" + std::to_string(i)).c_str());
        done = true;
    });
    int rounds = 0;
    while (!done || rounds < 2) {
        DirListing l;
        IFileSystem::Handle h = RealFileSystem().OpenDir(t.Abs("d"));
        ASSERT_NE(h, IFileSystem::kInvalid);
        RealFileSystem().ReadListing(h, l);
        RealFileSystem().Close(h);
        for (const DirListing::Item& item : l.items) {
            const std::string name(l.Name(item));
            ASSERT_EQ(name.rfind("file", 0), 0u) << name;
            ASSERT_EQ(item.size, 7u) << name;
            ASSERT_FALSE(item.isDir);
        }
        ++rounds;
    }
    remover.join();
    DirListing after;
    IFileSystem::Handle h = RealFileSystem().OpenDir(t.Abs("d"));
    RealFileSystem().ReadListing(h, after);
    RealFileSystem().Close(h);
    EXPECT_EQ(after.items.size(), 1500u);
}

namespace {

// Runs out of descriptors, or of memory, on the calls the test picks.
class ScarceFileSystem final : public IFileSystem {
public:
    explicit ScarceFileSystem(IFileSystem& inner) : m_inner(inner) {}
    Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
    Handle OpenChild(Handle h, const std::string& n) override
    {
        const int k = ++opens;
        if ((k > failOpensFrom && k <= failOpensTo) || (k > failOpensFrom && failOpensTo < 0))
            return kExhausted;
        return m_inner.OpenChild(h, n);
    }
    ListStatus ReadListing(Handle h, DirListing& out) override
    {
        const int k = ++listings;
        if (k == exhaustListing)
            return ListStatus::Exhausted;
        if (k == throwListing)
            throw std::bad_alloc();
        return m_inner.ReadListing(h, out);
    }
    void Close(Handle h) override { m_inner.Close(h); }

    std::atomic<int> opens{0}, listings{0};
    int failOpensFrom = 1 << 30, failOpensTo = -1; // opens in (from, to] fail; to < 0: all after from
    int exhaustListing = -1, throwListing = -1;

private:
    IFileSystem& m_inner;
};

void BuildFakeTree(FakeFileSystem& fs)
{
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 4; ++j)
            fs.File("d" + std::to_string(i) + "/e" + std::to_string(j) + "/f", static_cast<std::uint64_t>(i * j));
}

class WalkScarcity : public ::testing::TestWithParam<int> {};
INSTANTIATE_TEST_SUITE_P(, WalkScarcity, ::testing::Values(1, 4),
                         [](const ::testing::TestParamInfo<int>& info) { return std::to_string(info.param) + "Threads"; });

} // namespace

TEST_P(WalkScarcity, DescriptorsThatComeBackGiveTheFullReport)
{
    FakeFileSystem fs;
    BuildFakeTree(fs);
    const std::string full = ScanDump(fs, fs.RootPath(), 1, true, 10);
    ScarceFileSystem scarce(fs);
    scarce.failOpensFrom = 20;
    scarce.failOpensTo = 60; // forty opens find no descriptor, then they are back
    EXPECT_EQ(ScanDump(scarce, fs.RootPath(), GetParam(), true, 10), full);
    EXPECT_EQ(fs.openHandles, 0);
}

TEST_P(WalkScarcity, DescriptorsThatNeverComeBackFailTheScan)
{
    FakeFileSystem fs;
    BuildFakeTree(fs);
    ScarceFileSystem scarce(fs);
    scarce.failOpensFrom = 20;
    ScanFixture fx(scarce, fs.RootPath(), GetParam());
    auto r = fx.Scan(true, 10);
    EXPECT_FALSE(r->WasCancelled());
    EXPECT_EQ(r->nFolders, 0); // no short report
    EXPECT_TRUE(r->ranking.empty());
    ASSERT_EQ(fx.messages.messages.size(), 1u);
    EXPECT_EQ(fx.messages.messages[0].caption, "Create report");
    EXPECT_EQ(fx.messages.messages[0].text, "ERROR: Too many open files! The disc could not be read completely.");
    EXPECT_EQ(fs.openHandles, 0);
    EXPECT_EQ(fx.progress.log.back(), "redraw"); // the window was hidden
}

TEST_P(WalkScarcity, AListingWithoutMemoryFailsTheScan)
{
    for (bool throws : {false, true}) {
        SCOPED_TRACE(throws ? "bad_alloc" : "kernel out of memory");
        FakeFileSystem fs;
        BuildFakeTree(fs);
        ScarceFileSystem scarce(fs);
        (throws ? scarce.throwListing : scarce.exhaustListing) = 17;
        ScanFixture fx(scarce, fs.RootPath(), GetParam());
        auto r = fx.Scan(true, 10);
        EXPECT_EQ(r->nFolders, 0);
        ASSERT_EQ(fx.messages.messages.size(), 1u);
        EXPECT_EQ(fx.messages.messages[0].text, "ERROR: Out of memory!");
        EXPECT_EQ(fs.openHandles, 0);
    }
}

namespace {

// The real file system with reads that wait, as on a cold cache: every listing first
// sleeps (a voluntary wait the walk can see), and the most reads in flight at once are
// counted.
class WaitingFileSystem final : public IFileSystem {
public:
    explicit WaitingFileSystem(IFileSystem& inner) : m_inner(inner) {}
    Handle OpenDir(const std::string& p) override { return m_inner.OpenDir(p); }
    Handle OpenChild(Handle h, const std::string& n) override { return m_inner.OpenChild(h, n); }
    ListStatus ReadListing(Handle h, DirListing& out) override
    {
        const int now = ++m_inFlight;
        for (int seen = maxInFlight.load(); now > seen && !maxInFlight.compare_exchange_weak(seen, now);) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const ListStatus status = m_inner.ReadListing(h, out);
        --m_inFlight;
        return status;
    }
    void Close(Handle h) override { m_inner.Close(h); }
    int HandleBudget() override { return m_inner.HandleBudget(); }
    std::atomic<int> maxInFlight{0};

private:
    IFileSystem& m_inner;
    std::atomic<int> m_inFlight{0};
};

// The irregular tree beside a comb 150 levels deep (each level holds the next and a
// leaf with a file), so that handles are held and reopened from anchors.
void BuildIrregularTreeWithComb(const TempDir& t)
{
    BuildIrregularTree(t);
    std::string dir = "comb";
    for (int i = 0; i < 150; ++i) {
        t.MakeFile(dir + "/leaf/f", static_cast<std::uint64_t>(i % 7 + 1));
        dir += "/d";
    }
    t.MakeDirs(dir);
}

int StartingReaders()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) + 1;
}

// Runs the default (adaptive) walk through a WaitingFileSystem in a child process whose
// descriptor limit is `limit`; returns the most reads seen in flight and the report's
// dump, or "" when the child did not finish.
std::pair<int, std::string> AdaptiveScanInChild(const std::string& root, rlim_t limit)
{
    TempDir io;
    const std::string outPath = io.Abs("dump");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const struct rlimit rl {limit, limit};
        if (::setrlimit(RLIMIT_NOFILE, &rl) != 0)
            ::_exit(121);
        WaitingFileSystem waiting(RealFileSystem());
        const std::string dump = ScanDump(waiting, root, 0, true, 7);
        std::FILE* f = std::fopen(outPath.c_str(), "wb");
        if (!f)
            ::_exit(120);
        std::fprintf(f, "%d\n", waiting.maxInFlight.load());
        std::fwrite(dump.data(), 1, dump.size(), f);
        std::fclose(f);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0)
        return {0, ""};
    std::ifstream f(outPath, std::ios::binary);
    int inFlight = 0;
    f >> inFlight;
    f.get();
    std::stringstream rest;
    rest << f.rdbuf();
    return {inFlight, rest.str()};
}

} // namespace

TEST(ParallelWalk, ReadsThatWaitAddReadersAndTheReportStaysTheSequentialOne)
{
    TempDir t;
    BuildIrregularTreeWithComb(t);
    const std::string sequential = ScanDump(RealFileSystem(), t.path(), 1, true, 7);
    ASSERT_GT(sequential.size(), 1000u);

    // Default thread count: the walk sees its reads wait and adds readers.
    WaitingFileSystem waiting(RealFileSystem());
    EXPECT_EQ(ScanDump(waiting, t.path(), 0, true, 7), sequential);
    EXPECT_GT(waiting.maxInFlight.load(), StartingReaders());

    // A fixed thread count is kept however long the reads wait.
    WaitingFileSystem fixed(RealFileSystem());
    EXPECT_EQ(ScanDump(fixed, t.path(), 2, true, 7), sequential);
    EXPECT_LE(fixed.maxInFlight.load(), 3);
}

TEST(ParallelWalk, ReadersAddedUnderALowDescriptorLimitGiveTheSequentialReport)
{
    TempDir t;
    BuildIrregularTreeWithComb(t);
    const std::string sequential = ScanDump(RealFileSystem(), t.path(), 1, true, 7);
    // 40 descriptors leave room for a few readers beyond the first and a handful of
    // anchors: the comb must be reopened from anchors far up while the pool grows.
    const auto [inFlight, dump] = AdaptiveScanInChild(t.path(), 40);
    EXPECT_EQ(dump, sequential);
    EXPECT_GT(inFlight, 1); // workers read beside the calling thread
    if (StartingReaders() <= 3) {
        EXPECT_GT(inFlight, StartingReaders()); // and, with few cores, the pool grew
    }
    // Too few to read with at all beside the calling thread: still the full report.
    const auto [inFlightFew, dumpFew] = AdaptiveScanInChild(t.path(), 12);
    EXPECT_EQ(dumpFew, sequential);
    EXPECT_GE(inFlightFew, 1);
}
