// The walk under scarce resources: few file descriptors, threads that cannot be
// started, little memory, small stacks. Each case runs tovaline-cli in a child process
// that set its limits first. Whatever the limit, the result is the full report or a
// clear failure with exit status 1: never a shorter report with exit status 0.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tvl;
using namespace tvl::test;

namespace {

struct ChildRun {
    int status = -1; // exit status, or 128 + signal
    std::string out, err;
};

std::string ReadAllOf(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Runs tovaline-cli with `args` in a child whose limit `resource` is set to `value`
// (soft and hard) before the program starts; stdin from `input` when given.
// The sanitizers' runtime reserves terabytes of address space and needs descriptors
// of its own, so under it these limits would test the runtime rather than the scan; the
// build without sanitizers runs them.
#ifdef TOVALINE_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#define SKIP_UNDER_SANITIZERS()                                                                          \
    if (kSanitized)                                                                                      \
    GTEST_SKIP() << "address-space and descriptor limits are tested in the build without sanitizers"

ChildRun RunLimited(int resource, rlim_t value, const std::vector<std::string>& args, const std::string& input = "")
{
    TempDir io;
    const std::string outPath = io.Abs("out"), errPath = io.Abs("err");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open(input.empty() ? "/dev/null" : input.c_str(), O_RDONLY);
        if (out < 0 || err < 0 || in < 0)
            ::_exit(120);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (int fd = 3; fd < 64; ++fd)
            ::close(fd);
        if (resource >= 0) {
            const struct rlimit rl {value, value};
            if (::setrlimit(resource, &rl) != 0)
                ::_exit(121);
        }
        std::vector<char*> argv{const_cast<char*>(TOVALINE_CLI)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TOVALINE_CLI, argv.data());
        ::_exit(122);
    }
    ChildRun run;
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    run.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    run.out = ReadAllOf(outPath);
    run.err = ReadAllOf(errPath);
    return run;
}

ChildRun Unlimited(const std::vector<std::string>& args)
{
    return RunLimited(-1, 0, args);
}

// A tree that makes the walk hold and reopen handles: a comb `depth` levels deep
// (each level holds the next and a leaf with a file, so the leaves wait while the walk
// goes down) beside a few wide folders.
void BuildHandleHungryTree(const TempDir& t, int depth)
{
    std::string dir = "comb";
    for (int i = 0; i < depth; ++i) {
        t.MakeFile(dir + "/leaf/f", static_cast<std::uint64_t>(i % 7 + 1));
        dir += "/d";
    }
    t.MakeDirs(dir);
    for (int w = 0; w < 5; ++w)
        for (int k = 0; k < 40; ++k)
            t.MakeFile("wide" + std::to_string(w) + "/s" + std::to_string(k) + "/f", static_cast<std::uint64_t>(k));
}

std::vector<std::string> ScanArgs(const TempDir& t, int threads)
{
    return {"scan", "-f", "-r", "50", "--threads", std::to_string(threads), "-d", "C=" + t.path(), "C"};
}

// The full report (identical to `full`), or a clear failure with exit status 1.
void ExpectFullOrClearFailure(const ChildRun& run, const std::string& full)
{
    if (run.status == 0) {
        EXPECT_EQ(run.out, full);
        return;
    }
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(run.err.empty());
}

} // namespace

TEST(WalkLimits, FewDescriptorsGiveTheSameFullReportForEveryThreadCount)
{
    TempDir t;
    BuildHandleHungryTree(t, 300);
    const ChildRun reference = Unlimited(ScanArgs(t, 1));
    ASSERT_EQ(reference.status, 0) << reference.err;
    ASSERT_NE(reference.out.find("Drive C: (807 folders)"), std::string::npos) << reference.out.substr(0, 200);
    for (int threads : {1, 2, 8, 32}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        const ChildRun run = RunLimited(RLIMIT_NOFILE, 20, ScanArgs(t, threads));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, reference.out);
    }
}

TEST(WalkLimits, NoDescriptorsToSpareFailTheScanWithAMessage)
{
    SKIP_UNDER_SANITIZERS();
    TempDir t;
    BuildHandleHungryTree(t, 20);
    const std::string full = Unlimited(ScanArgs(t, 1)).out;
    // Standard input, output and error take three of four: the walk has none to read with.
    const ChildRun none = RunLimited(RLIMIT_NOFILE, 4, ScanArgs(t, 4));
    EXPECT_EQ(none.status, 1) << none.err;
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("Create report: ERROR: Too many open files!"), std::string::npos) << none.err;
    for (rlim_t limit : {5, 6, 8}) {
        SCOPED_TRACE("limit " + std::to_string(limit));
        ExpectFullOrClearFailure(RunLimited(RLIMIT_NOFILE, limit, ScanArgs(t, 8)), full);
    }
}

TEST(WalkLimits, ThreadsThatCannotStartLeaveTheWorkToThoseThatDid)
{
    SKIP_UNDER_SANITIZERS();
    // 64 threads with their stacks and heaps do not fit in 400 MiB of address space:
    // the scan runs with those that started. Now and then the threads that did start
    // leave too little for the report itself; then the scan must fail with its message,
    // never abort or print a short report.
    TempDir t;
    BuildHandleHungryTree(t, 50);
    const ChildRun reference = Unlimited(ScanArgs(t, 1));
    ASSERT_EQ(reference.status, 0);
    const ChildRun run = RunLimited(RLIMIT_AS, rlim_t(400) << 20, ScanArgs(t, 64));
    ExpectFullOrClearFailure(run, reference.out);
}

TEST(WalkLimits, LittleMemoryGivesTheFullReportOrTheOutOfMemoryMessage)
{
    SKIP_UNDER_SANITIZERS();
    // A folder of many long names: its listing and stored names need some megabytes.
    TempDir t;
    const std::string pad(120, 'n');
    for (int i = 0; i < 20000; ++i)
        t.MakeFile("big/" + pad + std::to_string(i), 1);
    BuildHandleHungryTree(t, 10);
    const ChildRun reference = Unlimited(ScanArgs(t, 2));
    ASSERT_EQ(reference.status, 0);
    bool failedOnce = false;
    for (rlim_t mib = 64; mib >= 8; mib -= 4) {
        SCOPED_TRACE(std::to_string(mib) + " MiB");
        const ChildRun run = RunLimited(RLIMIT_AS, mib << 20, ScanArgs(t, 2));
        ExpectFullOrClearFailure(run, reference.out);
        failedOnce = failedOnce || run.status != 0;
    }
    EXPECT_TRUE(failedOnce); // the smallest limits did reach the failure path
}

TEST(WalkLimits, SmallStacksScanAndShow)
{
    TempDir t;
    BuildHandleHungryTree(t, 100);
    const ChildRun reference = Unlimited(ScanArgs(t, 1));
    TempDir elsewhere;
    const std::string report = elsewhere.Abs("r.tvl");
    ASSERT_EQ(Unlimited({"scan", "-f", "-d", "C=" + t.path(), "-o", report, "C"}).status, 0);
    for (int threads : {1, 4}) {
        const ChildRun run = RunLimited(RLIMIT_STACK, 64 << 10, ScanArgs(t, threads));
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, reference.out);
    }
    const ChildRun shown = RunLimited(RLIMIT_STACK, 64 << 10, {"show", report});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("Drive C:"), std::string::npos);
}

TEST(WalkLimits, ShowOfEndlessOrGarbageInputFailsAtTheHeader)
{
    // /dev/zero never ends; the header is checked before more is taken in.
    if (!kSanitized) {
        const ChildRun zero = RunLimited(RLIMIT_AS, rlim_t(256) << 20, {"show", "/dev/zero"});
        EXPECT_EQ(zero.status, 1);
        EXPECT_EQ(zero.err, "Open: This is not a valid disc space report!\n");
        EXPECT_EQ(zero.out, "");
    }

    TempDir t;
    {
        std::ofstream f(t.Abs("garbage"), std::ios::binary);
        for (int i = 0; i < 100000; ++i)
            f << "garbage " << i;
    }
    // Through a pipe (stdin as "-"), and a version the reader does not know.
    const std::string fifo = t.Abs("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        const std::string bytes = ReadAllOf(t.Abs("garbage"));
        ssize_t done = 0;
        while (done < static_cast<ssize_t>(bytes.size())) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - static_cast<std::size_t>(done));
            if (n <= 0)
                break;
            done += n;
        }
        ::_exit(0);
    }
    const ChildRun piped = RunLimited(-1, 0, {"show", "-"}, fifo);
    ::waitpid(writer, nullptr, 0);
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.err, "Open: This is not a valid disc space report!\n");

    {
        std::ofstream f(t.Abs("v7"), std::ios::binary);
        f << "TovalineReportMQX" << std::string("\x07\0\0\0", 4);
    }
    const ChildRun version = RunLimited(-1, 0, {"show", "-"}, t.Abs("v7"));
    EXPECT_EQ(version.status, 1);
    EXPECT_EQ(version.err, "Open: Invalid version: 7\n\nTovaline is compatible with version 2!\n");
}
