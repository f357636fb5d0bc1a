// tovaline-mpi under mpirun on real trees: with 1, 2 and 4 processes its report is the
// one tovaline-cli scan makes, byte for byte up to the extension block, where only the
// scan's times and hosts may differ; a process killed during the walk, or out of
// descriptors, fails the run and leaves no report.
#include "AsUser.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tvl::test {
namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// mpirun with n processes, however many cores there are, as whoever runs the test.
std::string Mpirun(int n)
{
    return std::string("mpirun --oversubscribe --bind-to none") + (::geteuid() == 0 ? " --allow-run-as-root" : "") +
           " -np " + std::to_string(n) + " ";
}

// Runs a shell command, its output to `out`, its messages nowhere (unless the command
// sends them elsewhere first).
int Shell(const std::string& command, const std::string& out = "/dev/null")
{
    const int status = std::system(("{ " + command + "; } >" + Quote(out) + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The bytes of a report before its extension block (which ends the file).
std::string BeforeBlock(const std::string& report)
{
    const std::size_t at = report.rfind("TvlFacts");
    return at == std::string::npos ? report : report.substr(0, at);
}

// show --json of a report.
std::string Shown(const std::string& report)
{
    const std::string out = report + ".json";
    if (Shell(std::string(TOVALINE_CLI) + " show --json " + Quote(report), out) != 0)
        return "show failed";
    return ReadAll(out);
}

// show --json without its first line, which holds the scan's times and hosts.
std::string ShownWithoutScan(const std::string& report)
{
    const std::string json = Shown(report);
    return json.substr(json.find('\n') + 1);
}

// The hosts a report names.
std::string Hosts(const std::string& report)
{
    const std::string json = Shown(report);
    const std::size_t at = json.find("\"host\":");
    return at == std::string::npos ? "" : json.substr(at, json.find(',', at) - at);
}

// A tree of every kind of folder the walk treats apart, below `base` in t, with enough
// folders in several levels for every process to get work.
void BuildTree(const TempDir& t, const std::string& base, bool closedToOthers)
{
    const auto at = [&](const std::string& rel) { return base + "/" + rel; };
    for (int a = 0; a < 8; ++a)
        for (int b = 0; b < 6; ++b)
            for (int c = 0; c < 3; ++c)
                t.MakeFile(at("d" + std::to_string(a) + "/e" + std::to_string(b) + "/f" + std::to_string(c) + "/g"),
                           static_cast<std::uint64_t>(a * 1000 + b * 100 + c + 1));
    // One file under three names in three subtrees: the first name in pre-order counts.
    t.MakeFile(at("d2/e1/linked"), 50000);
    ASSERT_EQ(::link(t.Abs(at("d2/e1/linked")).c_str(), t.Abs(at("d5/e3/f0/linked")).c_str()), 0);
    ASSERT_EQ(::link(t.Abs(at("d2/e1/linked")).c_str(), t.Abs(at("d7/linked")).c_str()), 0);
    t.MakeFile(at(".hidden/a/b"), 3000);
    t.MakeFile(at("d1/.cache/c"), 2000);
    t.MakeFile(at("d3/build/o"), 1000);
    t.MakeFile(at("d4/e2/build/o"), 1500);
    t.MakeFile(at("closed/inside/x"), 777);
    ASSERT_EQ(::symlink("../d1", t.Abs(at("d6/up")).c_str()), 0);
    ASSERT_EQ(::chmod(t.Abs(at("closed")).c_str(), closedToOthers ? 0700 : 0), 0);
}

struct Options {
    const char* name;
    const char* args;
};
const Options kOptions[] = {
    {"defaults", ""},
    {"names, disc usage, hidden and build left out", "-f --disc-usage --skip-hidden --exclude build -r 7"},
};

// Everything the test compares, run as `run` (the test's user, or nobody).
std::string CompareScans(const std::string& tree, const std::string& out)
{
    std::ostringstream problems;
    for (const Options& o : kOptions) {
        const std::string cli = out + "/cli.tvl";
        if (Shell(std::string(TOVALINE_CLI) + " scan " + o.args + " -o " + cli + " " + Quote(tree)) != 0)
            return "tovaline-cli scan failed";
        const std::string cliBytes = ReadAll(cli);
        for (int n : {1, 2, 4}) {
            const std::string mpi = out + "/mpi" + std::to_string(n) + ".tvl";
            const int code = Shell(Mpirun(n) + TOVALINE_MPI_PROGRAM + " scan " + o.args + " -o " + mpi + " " + Quote(tree));
            const std::string what = std::string(o.name) + ", " + std::to_string(n) + " processes: ";
            if (code != 0) {
                problems << what << "exit " << code << "\n";
                continue;
            }
            const std::string mpiBytes = ReadAll(mpi);
            if (BeforeBlock(mpiBytes) != BeforeBlock(cliBytes) || BeforeBlock(cliBytes).size() == cliBytes.size())
                problems << what << "the report differs before the extension block\n";
            if (ShownWithoutScan(mpi) != ShownWithoutScan(cli))
                problems << what << "the extension block tells another story\n";
            if (Hosts(mpi) != Hosts(cli) || Hosts(cli).empty()) // one machine, named once
                problems << what << "hosts " << Hosts(mpi) << " instead of " << Hosts(cli) << "\n";
        }
    }
    return problems.str();
}

} // namespace

TEST(MpiScan, ReportIsTheScanOfOneProcessWithAnyNumberOfProcesses)
{
    TempDir t;
    ASSERT_EQ(::chmod(t.path().c_str(), 0755), 0);
    // As root, both scans run as nobody, to whom the closed folder is closed.
    const bool asNobody = CanActAsOtherUsers();
    BuildTree(t, "tree", asNobody);
    t.MakeDirs("out");
    ASSERT_EQ(::chmod(t.Abs("out").c_str(), 0777), 0);
    const std::string tree = t.Abs("tree"), out = t.Abs("out");
    const std::string problems = asNobody ? RunAsUser(kNobody, kNobody, [&] { return CompareScans(tree, out); })
                                          : CompareScans(tree, out);
    EXPECT_EQ(problems, "");
    // The tree holds what the test is about: a folder not read, a file under three names.
    const std::string shown = ShownWithoutScan(out + "/mpi4.tvl");
    EXPECT_NE(shown.find("\"state\":\"no-access\""), std::string::npos) << shown.substr(0, 3000);
    EXPECT_EQ(::chmod((tree + "/closed").c_str(), 0755), 0); // for the clean-up
}

TEST(MpiScan, ProcessThatFailsOrIsKilledFailsTheRun)
{
    TempDir t;
    BuildTree(t, "tree", false);
    t.MakeDirs("out");
    const std::string report = t.Abs("out/report.tvl");
    // Each listing waits 20 ms: the walk of 190 folders by 3 processes of one reader takes
    // over a second.
    const std::string command = Mpirun(3) + TVL_BENCH_MPI_SCAN + " --latency 0,20000,0 scan --threads 1 -o " +
                                Quote(report) + " " + Quote(t.Abs("tree"));
    pid_t launcher = 0;
    const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
    ASSERT_EQ(::posix_spawnp(&launcher, "sh", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    // Process 1 of the job: a process whose environment says so and whose command line
    // names this report.
    pid_t victim = 0;
    for (int wait = 0; wait < 100 && !victim; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        DIR* proc = ::opendir("/proc");
        while (dirent* e = proc ? ::readdir(proc) : nullptr) {
            const std::string dir = std::string("/proc/") + e->d_name;
            const std::string cmdline = ReadAll(dir + "/cmdline"), env = ReadAll(dir + "/environ");
            if (cmdline.find(report) != std::string::npos && cmdline.find("tvl-bench-mpi-scan") != std::string::npos &&
                env.find(std::string("OMPI_COMM_WORLD_RANK=1") + '\0') != std::string::npos)
                victim = static_cast<pid_t>(std::atoi(e->d_name));
        }
        if (proc)
            ::closedir(proc);
    }
    ASSERT_NE(victim, 0) << "process 1 of the job was not found";
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // well into the walk
    ::kill(victim, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(launcher, &status, 0), launcher);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0) << "the run must fail";
    DIR* outDir = ::opendir(t.Abs("out").c_str());
    int entries = 0;
    while (dirent* e = outDir ? ::readdir(outDir) : nullptr)
        entries += e->d_name[0] != '.';
    if (outDir)
        ::closedir(outDir);
    EXPECT_EQ(entries, 0) << "nothing is left in the report's folder";

    // A process that runs out of descriptors: process 0 says which and why, and the
    // report written before stays as it was.
    {
        std::ofstream(report) << "an earlier report";
    }
    const std::string err = t.Abs("err.txt");
    const int code = Shell(Mpirun(3) + TVL_BENCH_MPI_SCAN + " --latency 0,2000,0 --exhaust-in-process 2 scan -o " +
                               Quote(report) + " " + Quote(t.Abs("tree")) + " 2>" + Quote(err),
                           "/dev/null");
    EXPECT_NE(code, 0);
    EXPECT_NE(ReadAll(err).find("tvl-bench-mpi-scan: process 2 on "), std::string::npos) << ReadAll(err);
    EXPECT_NE(ReadAll(err).find(" cannot go on: ERROR: Too many open files! The disc could not be read completely.\n"
                                "tvl-bench-mpi-scan: the scan failed; nothing was written"),
              std::string::npos);
    EXPECT_EQ(ReadAll(report), "an earlier report");
    ::chmod(t.Abs("tree/closed").c_str(), 0755); // for the clean-up
}

} // namespace tvl::test
