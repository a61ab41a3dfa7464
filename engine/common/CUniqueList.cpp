#include "engine/common/CDirDiff.h"

void CUniqueList::Add(const std::string& s)
{
    if (set_.insert(s).second)
        items_.push_back(s);
}

bool CUniqueList::Contains(const std::string& s) const
{
    return set_.count(s) != 0;
}
