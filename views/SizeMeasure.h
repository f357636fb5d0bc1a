// Which of its two size measures a drive is shown in. No toolkit: the desktop's views
// decide through these.
#pragma once

#include "Report.h"

#include <memory>
#include <optional>
#include <vector>

namespace tvl {

// True when the views can switch between the two measures: the table holds at least
// one drive and every drive in it carries folder facts.
bool CanSwitchKind(const std::vector<std::unique_ptr<DriveReport>>& drives);

// "file length", "space on disc".
const char* SizeKindText(SizeKind kind);

} // namespace tvl
