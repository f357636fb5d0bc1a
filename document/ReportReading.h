// What a program needs to read report files when it shows nothing but messages: the
// real file system, no drives, no progress display, a message pump nobody stops. The
// one such set-up, for tovaline-cli, the benchmarks and the fuzz target: documents
// made on Env() read (and write) report files as Open and Save do.
#pragma once

#include "DriveMap.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "ScanEnvironment.h"

#include <string>

namespace tvl {

class ReportDocument;

class ReportReadingEnvironment {
public:
    // Messages (Open's and Save's) are recorded in Recorded().
    ReportReadingEnvironment();
    // Messages go to `messages`, which must outlive this object.
    explicit ReportReadingEnvironment(IMessageSink& messages);
    ReportReadingEnvironment(const ReportReadingEnvironment&) = delete;
    ReportReadingEnvironment& operator=(const ReportReadingEnvironment&) = delete;

    ScanEnvironment& Env() { return m_env; }
    const RecordingMessageSink& Recorded() const { return m_recorded; }

    // Reads `file` ("-": standard input) into doc as Open does. False after Open's
    // message; doc is then empty. When the report's scan facts were left out as
    // damaged, the report is read without them and the reason goes to the messages.
    static bool Open(ReportDocument& doc, const std::string& file);

private:
    RecordingMessageSink m_recorded;
    NullStepProgress m_quiet;
    MessagePump m_pump;
    DriveMap m_noDrives;
    ScanEnvironment m_env;
};

} // namespace tvl
