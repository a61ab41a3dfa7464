// The calendar time of a moment in the user's time zone.
#pragma once
#include <ctime>

namespace fsys {

// Breaks when into the local date and time; false when it cannot.
bool ToLocalTime(std::time_t when, std::tm& local);

} // namespace fsys
