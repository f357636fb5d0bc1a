// What a scan needs from its surroundings: the file system, the drive map, the
// five-step progress display, the message boxes and the message pump.
#pragma once

#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "ScanOptions.h"

namespace tvl {

struct ScanEnvironment {
    IFileSystem& fs;
    const DriveMap& drives;
    IStepProgress& progress;
    IMessageSink& messages;
    MessagePump& pump;
    // Walker threads of step 1: 0 one per core, 1 the sequential walk, N that many.
    int nThreads = 0;
    // What the walk leaves out and how it counts files.
    ScanOptions options = {};
};

// Texts of the scan.
inline constexpr const char* kCaptionCreateReport = "Create report";
inline constexpr const char* kMsgOutOfMemory = "ERROR: Out of memory!";
inline constexpr const char* kMsgCannotSort = "Cannot sort the list. Out of memory!";
inline constexpr const char* kStep1 = "Step 1: Reading disc structure";
inline constexpr const char* kStep1Ranking = " and creating ranking";

} // namespace tvl
