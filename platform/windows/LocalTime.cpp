#include "platform/LocalTime.h"

namespace fsys {

bool ToLocalTime(std::time_t when, std::tm& local)
{
    return localtime_s(&local, &when) == 0;
}

} // namespace fsys
