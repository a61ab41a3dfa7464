#include "platform/LocalTime.h"

namespace fsys {

bool ToLocalTime(std::time_t when, std::tm& local)
{
    // The reentrant form: the plain one shares one result between threads.
    return localtime_r(&when, &local) != nullptr;
}

} // namespace fsys
