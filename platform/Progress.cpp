#include "platform/Progress.h"

std::string PercentLabel(int pos, int lower, int upper)
{
    int range = upper - lower;
    int percent = range == 0 ? 0 : static_cast<int>((static_cast<long long>(pos) - lower) * 100 / range);
    if (percent != 100)
        percent %= 100;
    return std::to_string(percent) + "%";
}
