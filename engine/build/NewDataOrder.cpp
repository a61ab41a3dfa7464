#include "engine/build/NewDataOrder.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace {

// Above this many bytes of new data the objects keep the order of the file.
constexpr uint64_t kTrialLimit = uint64_t{1} << 20;

// The compressed weight of the objects' stored form in the given order.
size_t Weight(const std::vector<CNewPatch>& objects, const unsigned char* newContent)
{
    std::vector<unsigned char> stored;
    for (const CNewPatch& o : objects) {
        o.AppendHeader(stored);
        stored.insert(stored.end(), newContent + o.newOffset, newContent + o.newOffset + o.length);
    }
    uLongf length = compressBound(static_cast<uLong>(stored.size()));
    std::vector<unsigned char> out(length);
    if (compress2(out.data(), &length, stored.data(), static_cast<uLong>(stored.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        return stored.size();
    return length;
}

} // namespace

void OrderNewData(std::vector<CNewPatch>& objects, const unsigned char* newContent)
{
    if (objects.size() < 2)
        return;
    uint64_t bytes = 0;
    for (const CNewPatch& o : objects)
        bytes += o.length;
    if (bytes > kTrialLimit)
        return;

    std::vector<CNewPatch> byContent = objects;
    std::stable_sort(byContent.begin(), byContent.end(), [&](const CNewPatch& a, const CNewPatch& b) {
        const int c = std::memcmp(newContent + a.newOffset, newContent + b.newOffset, std::min(a.length, b.length));
        return c != 0 ? c < 0 : a.length < b.length;
    });
    std::vector<CNewPatch> byLength = objects;
    std::stable_sort(byLength.begin(), byLength.end(),
                     [](const CNewPatch& a, const CNewPatch& b) { return a.length < b.length; });

    size_t best = Weight(objects, newContent);
    for (std::vector<CNewPatch>* candidate : {&byContent, &byLength}) {
        const size_t weight = Weight(*candidate, newContent);
        if (weight < best) {
            best = weight;
            objects.swap(*candidate);
        }
    }
}
