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
    // Threads that read directories in step 1: 0 one per core and more while the reads
    // wait for the device, 1 the calling thread alone, N the calling thread and N - 1
    // workers beside it.
    int nThreads = 0;
    // What the walk leaves out and how it counts files.
    ScanOptions options = {};
};

} // namespace tvl
