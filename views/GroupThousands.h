// The number formatters live in NumberFormat.h; this name is kept for code that
// includes it by the routine's name.
#pragma once

#include "NumberFormat.h"
