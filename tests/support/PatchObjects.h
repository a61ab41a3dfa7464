// Patch objects compared in one assertion: an old-copy object as its old offset, new
// offset and length, a new-data object as its new offset and length.
#pragma once
#include "engine/common/CFilePatch.h"

#include <array>
#include <cstdint>
#include <vector>

using Span = std::array<uint64_t, 3>;
using DataSpan = std::array<uint64_t, 2>;

inline Span Of(const COldPatch& o)
{
    return {o.oldOffset, o.newOffset, o.length};
}

inline DataSpan Of(const CNewPatch& n)
{
    return {n.newOffset, n.length};
}

template <typename Object>
auto Of(const std::vector<Object>& objects)
{
    std::vector<decltype(Of(objects[0]))> out;
    for (const Object& o : objects)
        out.push_back(Of(o));
    return out;
}
