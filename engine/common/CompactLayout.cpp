#include "engine/common/CompactLayout.h"

#include "engine/common/CFilePatch.h"
#include "engine/common/CompactUnpacker.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Folded(const std::string& name)
{
    std::string folded = name;
    for (char& c : folded)
        c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

} // namespace

CCompactLayout::CCompactLayout(const CCompactFixed& fixed, uint16_t recordCount) : fixed_(fixed), count_(recordCount)
{
    uint64_t at = kCompactFixedSize + uint64_t{fixed.descriptionRaw};
    for (CCompactSpan& span : fixed_.spans) {
        span.position = at;
        at += span.packed;
    }
}

CCompactLayout::~CCompactLayout() = default;

bool CCompactLayout::NextByte(unsigned char& b)
{
    if (at_ == buffer_.size()) {
        const uint64_t left = fixed_.spans[kControls].raw - controlsRead_;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(left, 64 << 10));
        buffer_.resize(take);
        if (take == 0 || !controls_->Read(buffer_.data(), take))
            return false;
        at_ = 0;
    }
    b = buffer_[at_++];
    ++controlsRead_;
    return true;
}

std::string CCompactLayout::Walk(CFilePatch& r, CCompactPlace& place, CFileRef imageFd)
{
    if (!controls_)
        controls_ = std::make_unique<CCompactUnpacker>(imageFd, fixed_.spans[kControls]);
    CCompactControlCheck check(r.oldLength, r.newLength, fixed_.spans[kDifferences].raw - next_[kDifferences],
                               fixed_.spans[kLiterals].raw - next_[kLiterals]);
    const uint64_t start = controlsRead_;
    auto next = [this](unsigned char& b) { return NextByte(b); };
    while (check.Written() < r.newLength) {
        CCompactStep step;
        if (!ReadStep(step, next))
            return "its controls are cut short or damaged.";
        if (!check.Take(step))
            return "a step goes beyond the old file, the new file or the streams.";
    }
    place.lengths[kControls] = static_cast<uint32_t>(controlsRead_ - start);
    place.lengths[kDifferences] = static_cast<uint32_t>(check.DifferencesUsed());
    place.lengths[kLiterals] = static_cast<uint32_t>(check.LiteralsUsed());
    return "";
}

std::string CCompactLayout::TwinsFit() const
{
    // Each twin is held from its own record to its last user; the lengths of those held
    // at once are summed where each begins.
    std::vector<std::pair<uint32_t, int64_t>> changes; // (record, +length at its start, -length after its end)
    for (size_t i = 0; i < places_.size(); ++i) {
        if (!places_[i].isTwin)
            continue;
        changes.emplace_back(static_cast<uint32_t>(i) * 2 + 1, places_[i].newLength);
        changes.emplace_back(places_[i].lastUser * 2 + 2, -static_cast<int64_t>(places_[i].newLength));
    }
    std::sort(changes.begin(), changes.end());
    int64_t held = 0;
    for (const auto& [at, change] : changes) {
        held += change;
        if (held > static_cast<int64_t>(kMaxHeldTwins))
            return "its twins need more memory at once than an apply holds.";
    }
    return "";
}

void CCompactLayout::DropTwinsBefore(size_t index)
{
    for (auto held = heldTwins.begin(); held != heldTwins.end();) {
        const CCompactPlace* twin = At(held->first);
        if (!twin || held->first > index || twin->lastUser < index)
            held = heldTwins.erase(held);
        else
            ++held;
    }
}

std::string CCompactLayout::LeftAlone(const std::vector<std::string>& lead, const std::vector<std::string>& removed)
{
    lead_.clear();
    for (const std::string& name : lead)
        lead_.insert(Folded(name));
    for (const std::string& name : removed)
        if (lead_.count(Folded(name)))
            return "a file that leads its literals is one it removes.";
    return "";
}

std::string CCompactLayout::Place(uint64_t position, CFilePatch& r, CFileRef imageFd)
{
    CCompactDelta& d = r.compactDelta;
    CCompactPlace place;
    size_t index = places_.size();
    if (!places_.empty() && position <= places_.back().position) {
        // A later pass over the records: all was worked out the first time.
        auto found = std::lower_bound(places_.begin(), places_.end(), position,
                                      [](const CCompactPlace& p, uint64_t at) { return p.position < at; });
        if (found == places_.end() || found->position != position || found->delta != d.present ||
            found->packed != d.packed)
            return "a file record does not begin where one should.";
        place = *found;
        index = static_cast<size_t>(found - places_.begin());
    } else {
        if (index >= count_)
            return "it holds more file records than it says.";
        place.position = position;
        place.delta = d.present;
        place.packed = d.packed;
        place.newLength = r.newLength;
        place.twin = d.twin;
        std::copy(std::begin(next_), std::end(next_), place.offsets);
        place.frameOffset = nextFrame_;
        place.frameLength = d.frameLength;
        if (d.present && lead_.count(Folded(r.name)))
            return "it changes a file that leads its literals.";
        if (d.present && !d.packed) {
            const std::string problem = Walk(r, place, imageFd);
            if (!problem.empty())
                return problem;
        } else if (d.packed) {
            if (d.frameLength == 0 || d.frameLength > fixed_.frames - nextFrame_)
                return "its frame runs past the frames of the patch.";
            if (r.oldLength > kMaxPackedLength || r.newLength > kMaxPackedLength)
                return "its files are too long for a packed delta.";
            if (d.twin != 0) {
                const size_t twin = d.twin - 1u;
                if (twin >= index)
                    return "its twin is not an earlier record.";
                CCompactPlace& t = places_[twin];
                if (!t.delta || t.twin != 0)
                    return "its twin has no content of its own.";
                if (t.newLength > kMaxPackedLength)
                    return "its twin is too long for a prefix.";
                t.isTwin = true;
                t.lastUser = static_cast<uint32_t>(index);
            }
        }
        for (int i = 0; i < kCompactStreams; ++i)
            next_[i] += place.lengths[i];
        nextFrame_ += place.packed ? place.frameLength : 0;
        places_.push_back(place);
        if (places_.size() == count_) {
            // The last record: every stream and the frames are used up exactly.
            for (int i = 0; i < kCompactStreams; ++i)
                if (next_[i] != fixed_.spans[i].raw)
                    return "its streams hold more than its records use.";
            if (nextFrame_ != fixed_.frames)
                return "its frames hold more than its records use.";
            if (const std::string problem = TwinsFit(); !problem.empty())
                return problem;
            controls_.reset();
            std::vector<unsigned char>().swap(buffer_);
        }
    }
    d.index = static_cast<uint32_t>(index);
    for (int i = 0; i < kCompactStreams; ++i) {
        d.streams[i].offset = place.offsets[i];
        d.streams[i].raw = place.lengths[i];
        d.spans[i] = fixed_.spans[i];
    }
    d.framePosition = fixed_.spans[kLiterals].position + fixed_.spans[kLiterals].packed + place.frameOffset;
    return "";
}
