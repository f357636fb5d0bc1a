// Fixtures for the report file tests: a document with a recording message sink,
// reports built by hand, temporary directories and whole-file helpers.
#pragma once

#include "Progress.h"
#include "ReportDocument.h"
#include "ReportFile.h"
#include "TempDir.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tvl::test {

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// Writes the report file `from` to `to` without its extension block, as an older
// program wrote it; `to` is returned.
std::string CopyWithoutBlock(const std::string& from, const std::string& to);

// Records every call Open makes on its progress display.
class RecordingLoadProgress final : public ILoadProgress {
public:
    void SetCaption(const std::string& t) override { log.push_back("caption:" + t); }
    void SetStepText(const std::string& t) override { log.push_back("step:" + t); }
    void SetPathText(const std::string& t) override { lastPath = t; }
    void SetProgress(int pos, int total) override { progress.emplace_back(pos, total); }
    void Show() override { log.push_back("show"); shown = true; }
    void Hide() override { log.push_back("hide"); shown = false; }
    void Redraw() override { log.push_back("redraw"); }
    std::vector<std::string> log;
    std::vector<std::pair<int, int>> progress;
    std::string lastPath;
    bool shown = false;
};

// A document whose messages are recorded.
struct DocFixture {
    DocFixture();
    DriveMap drives;
    NullStepProgress stepProgress;
    RecordingMessageSink messages;
    MessagePump pump;
    ScanEnvironment env;
    ReportDocument doc;
    // "caption|text" of the only message shown, "" when none, "many" when several.
    std::string Message() const;
};

// One folder of a hand-made report.
struct FolderSpec {
    std::string path;
    int level = 0;
    std::int64_t withoutSubs = 0, withSubs = 0;
    double ofParent = -1.0, ofDisc = -1.0;
    std::vector<FileEntry> files;
};

// Adds a drive with the given folders to the document (appended to its table).
DriveReport& AddDrive(ReportDocument& doc, char letter, bool storeFiles, const std::vector<FolderSpec>& folders,
                      std::vector<RankEntry> ranking = {});

// The report as the writer puts it into a file.
std::string Serialize(const ReportDocument& doc);

// Little-endian pieces for hand-made files.
std::string Le32(std::int32_t v);
std::string Le64(std::int64_t v);
std::string LeDouble(double v);
std::string Str(const std::string& s); // bytes and the zero byte
// Header with the magic: version, ranking flag, total folders, drive count.
std::string Header(std::int32_t version, std::int32_t ranking, std::int32_t total, std::int32_t drives);

} // namespace tvl::test
