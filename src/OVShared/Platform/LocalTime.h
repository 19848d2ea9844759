#pragma once

// The broken-down local time of a moment, thread-safe on every platform
// (localtime_r here, localtime_s on Windows).

#include <ctime>

namespace ov {

std::tm LocalTime(std::time_t t);

}  // namespace ov
