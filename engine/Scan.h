// The drive scan: DriveReport::CreateReport (Scan.cpp) runs five steps, each shown in
// the step progress display; step 1 is the walk over the drive (Walk.h). This header
// holds the scan's texts, the one table of the five step texts among them, which the
// progress window and the terminal progress line show as well.
#pragma once

#include "ScanEnvironment.h"

namespace tvl {

inline constexpr const char* kCaptionCreateReport = "Create report";
inline constexpr const char* kMsgOutOfMemory = "ERROR: Out of memory!";
inline constexpr const char* kMsgCannotSort = "Cannot sort the list. Out of memory!";
inline constexpr const char* kMsgTooManyOpenFiles =
    "ERROR: Too many open files! The disc could not be read completely.";

// The five steps, as the progress displays show them; step 1 gets kStep1Ranking
// appended when a ranking is made.
inline constexpr const char* kStepTexts[5] = {
    "Step 1: Reading disc structure", "Step 2: Retrieving disc space of folders",
    "Step 3: Adding up sub folder spaces", "Step 4: Calculation of space data", "Step 5: Sorting"};
inline constexpr const char* kStep1Ranking = " and creating ranking";

} // namespace tvl
