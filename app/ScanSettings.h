// The "Create report" dialog's scan options, remembered in the settings store between
// runs (group "Scan"). They belong to the program, not to a report: report files never
// hold them.
#pragma once

#include "ScanOptions.h"

class QSettings;

// The remembered options; the defaults of ScanOptions for every value not stored. A
// stored pattern list that no longer passes the pattern check is dropped.
tvl::ScanOptions ReadScanOptions(QSettings& settings);
void WriteScanOptions(QSettings& settings, const tvl::ScanOptions& options);
