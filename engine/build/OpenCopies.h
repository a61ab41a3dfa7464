// The old copies of a thorough build that a later match may still widen.
//
// A copy widened up to a later match also copies the old bytes between, which is sound
// only when every match in between belongs to a copy that comes later in the record:
// the apply writes old copies in list order, so the later ones overwrite it there (and
// new data overwrites all copies). After a match lands on a copy, the copies after it
// in the list can therefore no longer be widened; the ones before it still can. The
// open copies form a stack in list order; a match may widen one of the top few.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class COpenCopies {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    explicit COpenCopies(size_t reach) : reach_(reach) {}

    // The list index of an open copy among the top reach ones at this distance, or kNone.
    size_t Find(int64_t distance) const
    {
        for (size_t k = 0; k < reach_ && k < open_.size(); ++k) {
            const Entry& e = open_[open_.size() - 1 - k];
            if (e.distance == distance)
                return e.index;
        }
        return kNone;
    }
    // Records that a match landed on the copy at index (a new copy: the next index).
    void Land(size_t index, int64_t distance)
    {
        while (!open_.empty() && open_.back().index > index)
            open_.pop_back();
        if (open_.empty() || open_.back().index != index)
            open_.push_back({distance, index});
    }
    // Calls f with the distance of each of the top reach open copies.
    template <class F>
    void ForEachDistance(F&& f) const
    {
        for (size_t k = 0; k < reach_ && k < open_.size(); ++k)
            f(open_[open_.size() - 1 - k].distance);
    }

private:
    struct Entry {
        int64_t distance;
        size_t index;
    };
    std::vector<Entry> open_;
    size_t reach_;
};
