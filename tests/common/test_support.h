// Fixtures for the engine tests: temporary directory trees on disc, an in-memory file
// system whose listing order and failures the test decides, and recorders for the
// progress display and the message pump.
#pragma once

#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "Report.h"
#include "Scan.h"
#include "TempDir.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tvl::test {

// An in-memory tree. Directories list their entries in insertion order.
class FakeFileSystem final : public IFileSystem {
public:
    struct Node {
        std::string name;
        bool isDir = false;
        std::uint64_t size = 0;
        bool openable = true;     // OpenDir/OpenChild succeed
        Handle failure = kInvalid; // what they give when not openable
        bool broken = false;      // its listing breaks off after the first entry
        bool otherDevice = false; // lies on another file system
        std::uint64_t allocated = 0; // space on disc
        std::uint64_t inode = 0;     // a file with several hard links: its inode (device 1)
        std::vector<std::unique_ptr<Node>> children;
    };

    FakeFileSystem();
    // Adds a directory or file along a '/'-separated path below the root.
    Node& Dir(const std::string& path);
    Node& File(const std::string& path, std::uint64_t size);
    Node& Root() { return *m_root; }
    const std::string& RootPath() const { return m_rootPath; }

    Handle OpenDir(const std::string& realPath) override;
    Handle OpenChild(Handle parent, const std::string& name) override;
    ListStatus ReadListing(Handle dir, DirListing& out) override;
    void Close(Handle dir) override;

    int openHandles = 0; // handles currently open
    int maxOpenHandles = 0;

private:
    Node* Find(Node& from, const std::string& name);
    std::unique_ptr<Node> m_root;
    std::string m_rootPath = "/fake";
    std::map<Handle, Node*> m_open;
    Handle m_next = 3;
    std::mutex m_mutex; // the scan's walker threads call in concurrently
};

// Records every call the scan makes on its progress display.
class RecordingStepProgress final : public IStepProgress {
public:
    void SetCaption(const std::string& t) override { log.push_back("caption:" + t); }
    void SetStep1Text(const std::string& t) override { log.push_back("step1:" + t); }
    void SetStatus(const std::string& t) override
    {
        if (t.empty())
            log.push_back("status:");
        else
            ++statusTexts;
    }
    void SetStep(int n) override { log.push_back("step:" + std::to_string(n)); }
    void SetProgress(int pos, int total) override
    {
        progress.push_back({pos, total});
        if (pos == -1)
            log.push_back("progress:-1");
    }
    void Show() override { log.push_back("show"); }
    void Hide() override { log.push_back("hide"); }
    void Redraw() override { log.push_back("redraw"); }

    std::vector<std::string> log;
    std::vector<std::pair<int, int>> progress;
    int statusTexts = 0;
};

// A clock the test moves by hand.
class ManualClock final : public IClock {
public:
    std::uint32_t NowMs() override { return now += step; }
    std::uint32_t now = 0;
    std::uint32_t step = 0; // added on every reading
};

class CountingPump final : public IEventPump {
public:
    void ProcessPendingEvents() override
    {
        ++calls;
        if (onPump)
            onPump();
    }
    int calls = 0;
    std::function<void()> onPump;
};

// Everything a scan needs, with drive C mapped to `root` of `fs`.
struct ScanFixture {
    // nThreads as ScanEnvironment::nThreads.
    ScanFixture(IFileSystem& fs, const std::string& root, int nThreads = 1);
    DriveMap drives;
    RecordingStepProgress progress;
    RecordingMessageSink messages;
    ManualClock clock;
    CountingPump hook;
    MessagePump pump{clock, &hook};
    ScanEnvironment env;
    // Scans drive C into a fresh report.
    std::unique_ptr<DriveReport> Scan(bool storeFiles = false, int rankingSize = 100);
};

// Checks what every reader of a finished report relies on: the root first, every
// folder's parent is the nearest earlier folder with a smaller level, levels and
// paths agree with the parent, and each folder's space with subs is its own space
// plus that of its children. Returns "" or a description of the first violation.
std::string CheckReportInvariants(const DriveReport& r);

// The paths of a report's folders in list order.
std::vector<std::string> Paths(const DriveReport& r);
// The record with the given path, or null.
const FolderRecord* Find(const DriveReport& r, const std::string& path);

} // namespace tvl::test
