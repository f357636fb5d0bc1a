// tovaline-mpi (see MpiScan.h).
//
// MPI is called by one thread of a process at a time (MPI_THREAD_SERIALIZED): the main
// thread before and after the run, the exchange thread during it. Every message is
// sent with MPI_Isend and received as soon as it is probed, so no two processes can
// wait on each other's sends.
#include "MpiScan.h"

#include "CliCommands.h"
#include "CommandLine.h"
#include "DeliveredFileSystem.h"
#include "HostFacts.h"
#include "ReportDocument.h"
#include "SharedWalk.h"

#include <mpi.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tvl::mpi {

namespace {

enum Tag : int {
    kTagNotice = 1,  // to process 0: this process holds the listing of a path
    kTagFetch,       // from process 0: send that listing
    kTagListing,     // a listing asked for (to process 0)
    kTagSteal,       // asks for work (empty)
    kTagWork,        // the answer to kTagSteal: paths, maybe none
    kTagDone,        // from process 0: its walk has ended (empty)
    kTagFail,        // to process 0: why this process cannot go on
};

// Most directories one answer to a request for work carries.
constexpr std::size_t kMostStolen = 4096;

// Messages travel in units of 8 bytes, so that one message may exceed 2 GiB: a
// length, the bytes, padding.
MPI_Datatype Unit()
{
    static MPI_Datatype unit = [] {
        MPI_Datatype t;
        MPI_Type_contiguous(8, MPI_BYTE, &t);
        MPI_Type_commit(&t);
        return t;
    }();
    return unit;
}

std::string Frame(std::string_view payload)
{
    std::string buf;
    const std::uint64_t n = payload.size();
    buf.reserve(8 + (n + 7) / 8 * 8);
    buf.append(reinterpret_cast<const char*>(&n), 8);
    buf.append(payload);
    buf.resize(8 + (n + 7) / 8 * 8, '\0');
    return buf;
}

std::string_view Unframe(const std::string& buf)
{
    std::uint64_t n = 0;
    if (buf.size() < 8)
        return {};
    std::memcpy(&n, buf.data(), 8);
    return n <= buf.size() - 8 ? std::string_view(buf.data() + 8, n) : std::string_view();
}

int Rank()
{
    int r = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &r);
    return r;
}

int Size()
{
    int s = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &s);
    return s;
}

// The exchange of one process: its thread moves listings, work and the end between
// the processes while the readers read and, on process 0, the walk records.
class Exchange {
public:
    Exchange(int rank, int size, std::string programName, std::vector<std::string> hosts)
        : m_rank(rank), m_size(size), m_program(std::move(programName)), m_hosts(std::move(hosts)),
          m_random(static_cast<std::mt19937::result_type>(rank * 7919 + 17))
    {
    }
    // Process 0 records into `store`; every other process reads with `reader`.
    void Attach(SharedReader* reader, DeliveredFileSystem* store)
    {
        m_reader = reader;
        m_store = store;
    }
    // A reader's listing, kept here until process 0 asks for it (any thread). Throws
    // std::bad_alloc.
    void Hold(ReadDirectory&& dir)
    {
        std::string bytes;
        EncodeDirectory(dir, bytes);
        {
            std::lock_guard<std::mutex> lk(m_heldMutex);
            m_held.insert_or_assign(dir.path, std::move(bytes));
        }
        Post(0, kTagNotice, std::move(dir.path));
    }
    // Queues a message (any thread). Throws std::bad_alloc.
    void Post(int dest, int tag, std::string payload)
    {
        std::string framed = Frame(payload);
        std::lock_guard<std::mutex> lk(m_outboxMutex);
        m_outbox.push_back(Outgoing{dest, tag, std::move(framed)});
    }
    // Process 0: its walk has ended; the others may stop.
    void WalkOver() { m_walkOver.store(true); }
    // The loop of the exchange thread; returns when every process has stopped.
    void Run();
    std::uint64_t Failures() const { return m_failed; }

private:
    struct Outgoing {
        int dest;
        int tag;
        std::string bytes;
    };
    struct InFlight {
        MPI_Request request;
        std::string bytes;
    };
    bool SendQueued();
    bool Receive();
    void Handle(int source, int tag, const std::string& framed);
    void TestSends();
    [[noreturn]] void Abort(int rank, const std::string& why);
    void AskForWork();
    std::string HostOf(int rank) const
    {
        return rank >= 0 && rank < static_cast<int>(m_hosts.size()) ? m_hosts[static_cast<std::size_t>(rank)] : "";
    }

    const int m_rank, m_size;
    const std::string m_program;
    const std::vector<std::string> m_hosts; // every process's host (process 0 only)
    SharedReader* m_reader = nullptr;       // every process but 0
    DeliveredFileSystem* m_store = nullptr; // process 0
    std::mutex m_heldMutex;
    std::unordered_map<std::string, std::string> m_held; // listings not asked for yet
    std::mutex m_outboxMutex;
    std::vector<Outgoing> m_outbox;
    std::list<InFlight> m_inFlight;
    std::atomic<bool> m_walkOver{false};
    bool m_done = false;         // process 0 said the walk has ended
    bool m_asking = false;       // a request for work is unanswered
    bool m_failSent = false;
    unsigned m_emptyAnswers = 0; // in a row
    std::uint64_t m_failed = 0;
    std::mt19937 m_random;
};

bool Exchange::SendQueued()
{
    std::vector<Outgoing> out;
    {
        std::lock_guard<std::mutex> lk(m_outboxMutex);
        out.swap(m_outbox);
    }
    for (Outgoing& o : out) {
        m_inFlight.push_back(InFlight{MPI_REQUEST_NULL, std::move(o.bytes)});
        InFlight& f = m_inFlight.back();
        const auto units = static_cast<long long>(f.bytes.size() / 8);
        if (units > INT_MAX)
            Abort(m_rank, "a directory's listing is too large to send");
        MPI_Isend(f.bytes.data(), static_cast<int>(units), Unit(), o.dest, o.tag, MPI_COMM_WORLD, &f.request);
    }
    return !out.empty();
}

void Exchange::TestSends()
{
    for (auto it = m_inFlight.begin(); it != m_inFlight.end();) {
        int done = 0;
        MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
        it = done ? m_inFlight.erase(it) : std::next(it);
    }
}

bool Exchange::Receive()
{
    bool any = false;
    for (int flag = 1; flag;) {
        MPI_Status status;
        MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status);
        if (!flag)
            break;
        int units = 0;
        MPI_Get_count(&status, Unit(), &units);
        std::string buf(static_cast<std::size_t>(units) * 8, '\0');
        MPI_Recv(buf.data(), units, Unit(), status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        Handle(status.MPI_SOURCE, status.MPI_TAG, buf);
        any = true;
    }
    return any;
}

void Exchange::Handle(int source, int tag, const std::string& framed)
{
    const std::string_view payload = Unframe(framed);
    switch (tag) {
    case kTagNotice:
        if (m_store && !m_walkOver.load())
            m_store->Noticed(std::string(payload), source);
        return;
    case kTagFetch: {
        std::string bytes;
        {
            std::lock_guard<std::mutex> lk(m_heldMutex);
            const auto it = m_held.find(std::string(payload));
            if (it == m_held.end())
                Abort(m_rank, "process 0 asked for a listing this process does not hold");
            bytes = std::move(it->second);
            m_held.erase(it);
        }
        Post(0, kTagListing, std::move(bytes));
        return;
    }
    case kTagListing: {
        if (!m_store || m_walkOver.load())
            return; // after the walk: nobody waits for it
        ReadDirectory dir;
        if (!DecodeDirectory(payload, dir))
            Abort(source, "a listing arrived damaged");
        m_store->Deliver(std::move(dir));
        return;
    }
    case kTagSteal: {
        std::vector<std::string> paths;
        if (m_reader && !m_done)
            paths = m_reader->Steal(kMostStolen);
        std::string bytes;
        EncodeWork(paths, bytes);
        Post(source, kTagWork, std::move(bytes));
        return;
    }
    case kTagWork: {
        m_asking = false;
        std::vector<std::string> paths;
        if (!DecodeWork(payload, paths))
            Abort(source, "work arrived damaged");
        m_emptyAnswers = paths.empty() ? m_emptyAnswers + 1 : 0;
        if (!paths.empty() && !m_done)
            m_reader->Give(std::move(paths));
        return;
    }
    case kTagDone:
        m_done = true;
        return;
    case kTagFail:
        Abort(source, std::string(payload));
    default:
        Abort(source, "an unknown message arrived");
    }
}

void Exchange::Abort(int rank, const std::string& why)
{
    // Said by process 0 for all; another process says it for itself.
    std::ostringstream text;
    text << m_program << ": process " << rank;
    if (const std::string host = HostOf(rank); !host.empty())
        text << " on " << host;
    text << " cannot go on: " << why << "\n"
         << m_program << ": the scan failed; nothing was written\n";
    std::cerr << text.str() << std::flush;
    MPI_Abort(MPI_COMM_WORLD, 1);
    std::_Exit(1);
}

void Exchange::AskForWork()
{
    if (m_size < 3 || m_asking)
        return;
    // A random reading process other than this one (process 0 only records).
    std::uniform_int_distribution<int> pick(1, m_size - 2);
    int victim = pick(m_random);
    if (victim >= m_rank)
        ++victim;
    Post(victim, kTagSteal, std::string());
    m_asking = true;
}

void Exchange::Run()
{
    enum class Phase { Reading, Draining, Leaving } phase = Phase::Reading;
    MPI_Request barrier = MPI_REQUEST_NULL;
    auto idleSleep = std::chrono::microseconds(0);
    for (;;) {
        bool progressed = SendQueued();
        progressed = Receive() || progressed;
        TestSends();
        if (const std::optional<std::string> failure = m_reader ? m_reader->Failure() : std::nullopt;
            failure && !m_failSent) {
            m_failSent = true;
            ++m_failed;
            if (m_rank == 0)
                Abort(0, *failure);
            Post(0, kTagFail, *failure);
            continue;
        }
        if (phase == Phase::Reading) {
            if (m_rank == 0 && m_walkOver.load()) {
                for (int r = 1; r < m_size; ++r)
                    Post(r, kTagDone, std::string());
                m_done = true;
            }
            if (m_done) {
                if (m_reader)
                    m_reader->Stop();
                std::lock_guard<std::mutex> lk(m_heldMutex);
                m_held.clear();
                phase = Phase::Draining;
                continue;
            }
            if (m_store)
                for (auto& [path, holder] : m_store->ToFetch())
                    Post(holder, kTagFetch, std::move(path));
            if (m_reader && !m_failSent && m_reader->Idle()) {
                // After a round of empty answers, ask less often.
                if (m_emptyAnswers >= static_cast<unsigned>(m_size) && !m_asking)
                    m_reader->WaitForChange(std::chrono::microseconds(200));
                AskForWork();
            }
        }
        if (phase == Phase::Draining) {
            bool outboxEmpty;
            {
                std::lock_guard<std::mutex> lk(m_outboxMutex);
                outboxEmpty = m_outbox.empty();
            }
            // Leave only with the readers stopped (none can post any more), every
            // request answered and every message delivered.
            if (!m_asking && (!m_reader || m_reader->Idle()) && outboxEmpty && m_inFlight.empty()) {
                MPI_Ibarrier(MPI_COMM_WORLD, &barrier);
                phase = Phase::Leaving;
            }
        }
        if (phase == Phase::Leaving) {
            int done = 0;
            MPI_Test(&barrier, &done, MPI_STATUS_IGNORE);
            if (done) {
                SendQueued();
                while (!m_inFlight.empty())
                    TestSends();
                return;
            }
        }
        if (progressed) {
            idleSleep = std::chrono::microseconds(0);
            continue;
        }
        // Nothing happened: wait a little longer each time, for the readers or a message.
        idleSleep = std::min(std::chrono::microseconds(500), idleSleep + std::chrono::microseconds(20));
        if (phase == Phase::Reading && m_reader)
            m_reader->WaitForChange(idleSleep);
        else if (phase == Phase::Reading && m_store)
            m_store->WaitForChange(std::min(idleSleep, std::chrono::microseconds(100)));
        else
            std::this_thread::sleep_for(idleSleep);
    }
}

// Whether every process got this far with no trouble (all call it at the same point);
// `firstOk` tells whether process 0 did.
bool Agree(bool ok, bool* firstOk = nullptr)
{
    int mine = ok ? 1 : 0;
    std::vector<int> all(static_cast<std::size_t>(Size()));
    MPI_Allgather(&mine, 1, MPI_INT, all.data(), 1, MPI_INT, MPI_COMM_WORLD);
    if (firstOk)
        *firstOk = all[0] == 1;
    return std::find(all.begin(), all.end(), 0) == all.end();
}

// Every process's host name, at process 0 (empty elsewhere).
std::vector<std::string> GatherHosts(int rank, int size)
{
    constexpr int kLength = 256;
    char mine[kLength] = {};
    std::string host = HostName();
    std::strncpy(mine, host.c_str(), kLength - 1);
    std::vector<char> all(rank == 0 ? static_cast<std::size_t>(size) * kLength : 1);
    MPI_Gather(mine, kLength, MPI_CHAR, all.data(), kLength, MPI_CHAR, 0, MPI_COMM_WORLD);
    std::vector<std::string> hosts;
    if (rank == 0)
        for (int r = 0; r < size; ++r)
            hosts.emplace_back(all.data() + static_cast<std::size_t>(r) * kLength);
    return hosts;
}

// The hosts once each, in the order of the processes.
std::string HostList(const std::vector<std::string>& hosts)
{
    std::vector<std::string> seen;
    std::string list;
    for (const std::string& h : hosts) {
        if (std::find(seen.begin(), seen.end(), h) != seen.end())
            continue;
        seen.push_back(h);
        list += (list.empty() ? "" : ", ") + h;
    }
    return list;
}

// Everything a process does in one run (the scan hooks of the command).
class Run {
public:
    Run(IFileSystem& readFs, const RunOptions& options, int rank, int size)
        : m_readFs(readFs), m_options(options), m_rank(rank), m_size(size)
    {
    }
    ~Run()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    cli::ScanHooks Hooks()
    {
        cli::ScanHooks h;
        h.begin = [this](const std::string& directory, const ScanOptions& options, int threads, int& code) {
            return Begin(directory, options, threads, code);
        };
        h.scanned = [this](ReportDocument& doc) { Scanned(doc); };
        return h;
    }
    bool Began() const { return m_began; }
    bool Ready() const { return m_ready; }
    // After the command: joins the exchange.
    void Finish()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    // Prints the readers' counts (all processes call it).
    void PrintStats()
    {
        const std::uint64_t mine = m_reader ? m_reader->DirectoriesRead() : 0;
        std::vector<std::uint64_t> all(static_cast<std::size_t>(m_size));
        MPI_Gather(&mine, 1, MPI_UINT64_T, all.data(), 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
        if (m_rank != 0 || m_size == 1)
            return; // one process: the scan of tovaline-cli, no readers of its own
        std::cerr << "directories read by process:";
        for (std::uint64_t n : all)
            std::cerr << ' ' << n;
        std::cerr << "\nmost listings waiting for the walk: " << (m_store ? m_store->MostWaiting() : 0)
                  << "; the walk waited " << (m_store ? m_store->WalkWaits() : 0) << " times\n";
    }

private:
    cli::ScanHooks::Reading Begin(const std::string& directory, const ScanOptions& options, int threads, int& code)
    {
        m_began = true;
        code = cli::kFailed;
        if (!Agree(!directory.empty())) {
            if (directory.empty() && m_rank == 0)
                code = cli::Usage(std::cerr, "tovaline-mpi scans one directory (or one drive letter)", "scan");
            else if (m_rank == 0)
                std::cerr << m_options.programName
                          << ": the scan could not start in every process (their messages follow); nothing was "
                             "scanned\n";
            return {};
        }
        // The same directory in every process: its inode as process 0 sees it (the
        // device number may differ between machines that mount one file system).
        struct stat st {};
        const bool found = ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        std::uint64_t rootIds[2] = {found ? st.st_dev : 0, found ? st.st_ino : 0};
        std::uint64_t ownDevice = rootIds[0];
        MPI_Bcast(rootIds, 2, MPI_UINT64_T, 0, MPI_COMM_WORLD);
        if (!Agree(found && st.st_ino == rootIds[1])) {
            if (m_rank == 0)
                std::cerr << m_options.programName << ": " << directory
                          << " is not the same directory in every process; nothing was scanned\n";
            return {};
        }
        m_ready = true; // every process gets here, or none
        std::vector<std::string> hosts = GatherHosts(m_rank, m_size);
        m_hosts = HostList(hosts);
        if (m_size == 1)
            return {&m_readFs, threads};

        const int readers = threads > 0 ? threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
        m_exchange = std::make_unique<Exchange>(m_rank, m_size, m_options.programName, std::move(hosts));
        if (m_rank == 0) {
            // Process 0 records: its walk only waits for listings.
            m_store = std::make_unique<DeliveredFileSystem>(directory);
            m_exchange->Attach(nullptr, m_store.get());
            m_thread = std::thread([this] { m_exchange->Run(); });
            return {m_store.get(), 1};
        }
        // Hard links are told apart by device and inode at process 0: a file on the
        // scanned file system carries process 0's number for it.
        const std::uint64_t device0 = rootIds[0];
        auto hold = [this, ownDevice, device0](ReadDirectory&& dir) {
            for (DirListing::Item& it : dir.listing.items)
                if (it.device == ownDevice && it.inode != 0)
                    it.device = device0;
            m_exchange->Hold(std::move(dir));
        };
        m_reader = std::make_unique<SharedReader>(m_readFs, directory, options, readers, std::move(hold));
        m_exchange->Attach(m_reader.get(), nullptr);
        if (m_rank == 1)
            m_reader->Give(std::vector<std::string>(1)); // the root
        m_exchange->Run();
        code = m_exchange->Failures() ? cli::kFailed : cli::kOk;
        return {};
    }
    void Scanned(ReportDocument& doc)
    {
        if (m_exchange)
            m_exchange->WalkOver();
        if (doc.m_facts)
            doc.m_facts->strHost = m_hosts;
    }

    IFileSystem& m_readFs;
    const RunOptions& m_options;
    const int m_rank, m_size;
    bool m_began = false;
    bool m_ready = false;
    std::string m_hosts;
    std::unique_ptr<Exchange> m_exchange;
    std::unique_ptr<DeliveredFileSystem> m_store;
    std::unique_ptr<SharedReader> m_reader;
    std::thread m_thread;
};

const char* const kHelp = R"HELP(Usage: tovaline-mpi scan [OPTIONS] DIRECTORY
Runs the scan of 'tovaline-cli scan' with every process of an MPI job, e.g.
  mpirun -np 4 tovaline-mpi scan -o report.tvl /srv/data
Every process must see DIRECTORY at the same path. The other processes share the
directories to read; process 0 records and writes the report (or prints it), the
same report 'tovaline-cli scan' makes of the same tree with the same options, apart
from the scan's times and hosts. The options are those of 'tovaline-cli scan' (see
'tovaline-mpi scan --help'); --threads sets the readers of each reading process.
Start it with 'mpirun --bind-to none', or each process's readers share one core.
If a process fails or is killed, the run fails and nothing is written.
)HELP";

} // namespace

// True when the process is surely the only one of its job: started by mpirun or srun
// for one process, or by no launcher at all. Then MPI is not started (its start costs
// a few tenths of a second).
bool Alone()
{
    if (const char* size = std::getenv("OMPI_COMM_WORLD_SIZE"))
        return std::strcmp(size, "1") == 0;
    if (const char* tasks = std::getenv("SLURM_STEP_NUM_TASKS"))
        return std::strcmp(tasks, "1") == 0;
    for (const char* launched : {"PMIX_RANK", "PMI_RANK", "PMI_SIZE", "OMPI_COMM_WORLD_RANK"})
        if (std::getenv(launched))
            return false;
    return true;
}

// One process alone: the scan of tovaline-cli, reading through readFs.
int RunAlone(int argc, char** argv, IFileSystem& readFs)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kHelp;
        return args.empty() ? cli::kUsage : cli::kOk;
    }
    if (args[0] != "scan" && args[0] != "--version")
        return cli::Usage(std::cerr, "the only command is scan ('" + args[0] + "' is not one)");
    cli::ScanHooks hooks;
    hooks.begin = [&](const std::string& directory, const ScanOptions&, int threads, int& code) {
        if (!directory.empty())
            return cli::ScanHooks::Reading{&readFs, threads};
        code = cli::Usage(std::cerr, "tovaline-mpi scans one directory (or one drive letter)", "scan");
        return cli::ScanHooks::Reading{};
    };
    cli::SetScanHooks(&hooks);
    const int code = cli::Run(args, std::cout, std::cerr, false);
    cli::SetScanHooks(nullptr);
    std::cout.flush();
    return code;
}

int RunMpiScan(int argc, char** argv, IFileSystem& readFs, const RunOptions& options)
{
    cli::ProgramName() = options.programName;
    if (Alone())
        return RunAlone(argc, argv, readFs);
    int provided = 0;
    if (MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided) != MPI_SUCCESS) {
        std::cerr << options.programName << ": MPI could not be started\n";
        return cli::kFailed;
    }
    const int rank = Rank(), size = Size();
    if (provided < MPI_THREAD_SERIALIZED) {
        if (rank == 0)
            std::cerr << options.programName << ": this MPI library does not allow a second thread to call it\n";
        MPI_Finalize();
        return cli::kFailed;
    }
    cli::ProgramName() = options.programName;
    std::vector<std::string> args(argv + 1, argv + argc);
    int code = cli::kOk;
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (rank == 0)
            std::cout << kHelp;
        code = args.empty() ? cli::kUsage : cli::kOk;
    } else if (args[0] == "--version") {
        args = {"--version"};
        if (rank == 0)
            code = cli::Run(args, std::cout, std::cerr, false);
    } else if (args[0] != "scan") {
        if (rank == 0)
            code = cli::Usage(std::cerr, "the only command is scan ('" + args[0] + "' is not one)");
        else
            code = cli::kUsage;
    } else {
        Run run(readFs, options, rank, size);
        cli::ScanHooks hooks = run.Hooks();
        cli::SetScanHooks(&hooks);
        // Process 0 speaks for all; another's messages are shown only when it alone
        // could not start.
        std::ostringstream quietOut, otherErr;
        code = rank == 0 ? cli::Run(args, std::cout, std::cerr, false) : cli::Run(args, quietOut, otherErr, false);
        cli::SetScanHooks(nullptr);
        if (!run.Began()) {
            // Stopped before the scan (a usage error, a directory not there): the
            // others wait in Begin for this one.
            bool firstOk = false;
            Agree(false, &firstOk);
            if (rank != 0 && firstOk && !otherErr.str().empty()) // else process 0 has said it
                std::cerr << "process " << rank << ": " << otherErr.str();
        }
        run.Finish();
        if (options.printStats && run.Ready())
            run.PrintStats();
    }
    std::cout.flush();
    MPI_Finalize();
    return code;
}

} // namespace tvl::mpi
