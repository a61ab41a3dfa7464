#include "engine/apply/WindowRebuild.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

template <class Object>
std::vector<uint32_t> OrderByOffset(const std::vector<Object>& objects)
{
    std::vector<uint32_t> order(objects.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return objects[a].newOffset < objects[b].newOffset; });
    return order;
}

template <class Object>
uint64_t EndOf(const Object& object)
{
    return uint64_t{object.newOffset} + object.length;
}

} // namespace

CWindowRebuild::CWindowRebuild(const std::vector<COldPatch>& oldPatches, const std::vector<CNewPatch>& newPatches,
                               uint32_t newLength)
    : oldPatches_(oldPatches), newPatches_(newPatches), newLength_(newLength)
{
    old_.byOffset = OrderByOffset(oldPatches);
    new_.byOffset = OrderByOffset(newPatches);
}

// Drops the objects that end before the window and takes in those that start before its
// end, keeping the active ones in the record's order.
template <class Object>
void CWindowRebuild::Enter(Lane& lane, const std::vector<Object>& objects, uint64_t start, uint64_t end)
{
    std::erase_if(lane.active, [&](uint32_t i) { return EndOf(objects[i]) <= start; });
    bool added = false;
    for (; lane.next < lane.byOffset.size() && objects[lane.byOffset[lane.next]].newOffset < end; ++lane.next) {
        const uint32_t i = lane.byOffset[lane.next];
        if (objects[i].length > 0 && EndOf(objects[i]) > start) {
            lane.active.push_back(i);
            added = true;
        }
    }
    if (added)
        std::sort(lane.active.begin(), lane.active.end());
}

// Reads the part of every active object that lies in [start, end) to its place in the
// window, from the object's source offset for that part.
template <class Object, class Source, class Read>
bool CWindowRebuild::Place(const Lane& lane, const std::vector<Object>& objects, unsigned char* window,
                           uint64_t start, uint64_t end, Source&& sourceOffset, Read&& read)
{
    for (uint32_t i : lane.active) {
        const Object& object = objects[i];
        const uint64_t from = std::max<uint64_t>(object.newOffset, start);
        const uint64_t to = std::min(EndOf(object), end);
        if (!read(window + (from - start), static_cast<size_t>(to - from),
                  sourceOffset(object) + (from - object.newOffset)))
            return false;
    }
    return true;
}

// Clears the bytes of [start, end) that no active object of either kind reaches: only
// those keep the zero value; every other byte is about to be read over.
void CWindowRebuild::ZeroUncovered(unsigned char* window, uint64_t start, uint64_t end)
{
    // Past a few hundred objects clearing the whole window costs less than sorting them.
    constexpr size_t kClearAllFrom = 256;
    if (old_.active.size() + new_.active.size() >= kClearAllFrom) {
        std::memset(window, 0, static_cast<size_t>(end - start));
        return;
    }
    covered_.clear();
    auto collect = [&](const Lane& lane, const auto& objects) {
        for (uint32_t i : lane.active)
            covered_.emplace_back(std::max<uint64_t>(objects[i].newOffset, start), std::min(EndOf(objects[i]), end));
    };
    collect(old_, oldPatches_);
    collect(new_, newPatches_);
    std::sort(covered_.begin(), covered_.end());
    uint64_t at = start;
    for (const auto& [from, to] : covered_) {
        if (from > at)
            std::memset(window + (at - start), 0, static_cast<size_t>(from - at));
        at = std::max(at, to);
    }
    if (at < end)
        std::memset(window + (at - start), 0, static_cast<size_t>(end - at));
}

bool CWindowRebuild::Run(CFileRef oldFd, CFileRef imageFd, CByteBuffer& window, const WriteFn& write)
{
    sum_ = 0;
    for (Lane* lane : {&old_, &new_}) {
        lane->next = 0;
        lane->active.clear();
    }
    if (window.size() < kWindow)
        window.resize(kWindow);
    auto readOld = [oldFd](unsigned char* to, size_t size, uint64_t at) { return fsys::ReadAt(oldFd, to, size, at); };
    auto readNew = [&](unsigned char* to, size_t size, uint64_t at) {
        if (!data_)
            return fsys::ReadAt(imageFd, to, size, at);
        if (at < dataFirst_ || at - dataFirst_ > dataSize_ || size > dataSize_ - (at - dataFirst_))
            return false;
        std::memcpy(to, data_ + (at - dataFirst_), size);
        return true;
    };
    for (uint64_t start = 0; start < newLength_; start += kWindow) {
        const uint64_t end = std::min<uint64_t>(start + kWindow, newLength_);
        const size_t size = static_cast<size_t>(end - start);
        Enter(old_, oldPatches_, start, end);
        Enter(new_, newPatches_, start, end);
        ZeroUncovered(window.data(), start, end);
        if (!Place(old_, oldPatches_, window.data(), start, end,
                   [](const COldPatch& o) { return uint64_t{o.oldOffset}; }, readOld) ||
            !Place(new_, newPatches_, window.data(), start, end, [](const CNewPatch& n) { return n.dataPosition; },
                   readNew))
            return false;
        sum_ += ByteSum(window.data(), size);
        if (hash_)
            hash_->Update(window.data(), size);
        if (!write(window.data(), size, start))
            return false;
    }
    return true;
}
