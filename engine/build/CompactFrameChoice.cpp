#include "engine/build/CompactFrameChoice.h"
#include "engine/build/RunBeside.h"

#include "engine/common/CompactLayout.h"

#include <zstd.h>

#include <algorithm>
#include <future>
#include <memory>

namespace {

constexpr size_t kHeldContents = size_t{32} << 20;
// The latest bytes of each stream that a stepped delta's cost is taken against.
constexpr size_t kTail = size_t{1} << 20;
constexpr int kFrameLevel = 19;
constexpr int kQuickLevel = 3;
constexpr size_t kLookedAtUpTo = size_t{1} << 20;
constexpr size_t kFrameOverhead = 9;

struct CCctxFree {
    void operator()(ZSTD_CCtx* c) const { ZSTD_freeCCtx(c); }
};

void SplitName(const std::string& name, std::string& folder, std::string& stem)
{
    const size_t slash = name.rfind('/');
    folder = slash == std::string::npos ? "" : name.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
    stem = leaf.substr(0, leaf.find('.'));
}

// Packs content into one zstd frame seeing prefix (empty for none), that names its
// length; the frame's size, or 0 when it could not be made.
size_t PackWithPrefix(const unsigned char* prefix, size_t prefixLength, const unsigned char* content, size_t length,
                      std::vector<unsigned char>& frame, int level)
{
    std::unique_ptr<ZSTD_CCtx, CCctxFree> cctx(ZSTD_createCCtx());
    if (!cctx)
        return 0;
    // The window reaches over the whole prefix and the content.
    int windowLog = 10;
    while (windowLog < kPackedWindowLog && (uint64_t{1} << windowLog) < prefixLength + length)
        ++windowLog;
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_windowLog, windowLog);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_contentSizeFlag, 1);
    ZSTD_CCtx_setParameter(cctx.get(), ZSTD_c_checksumFlag, 0);
    ZSTD_CCtx_setPledgedSrcSize(cctx.get(), length);
    if (prefixLength > 0 && ZSTD_isError(ZSTD_CCtx_refPrefix(cctx.get(), prefix, prefixLength)))
        return 0;
    frame.resize(ZSTD_compressBound(length));
    const size_t n = ZSTD_compress2(cctx.get(), frame.data(), frame.size(), content, length);
    if (ZSTD_isError(n))
        return 0;
    frame.resize(n);
    return n;
}

size_t PackWithPrefix(const std::vector<unsigned char>& prefix, const unsigned char* content, size_t length,
                      std::vector<unsigned char>& frame, int level)
{
    return PackWithPrefix(prefix.data(), prefix.size(), content, length, frame, level);
}

// What a stepped delta's streams cost in the patch's streams: each packed seeing the
// latest bytes of its stream before it (tails), as the one frame of all records sees
// them.
size_t SteppedCost(const std::vector<unsigned char> (&streams)[kCompactStreams],
                   const std::vector<unsigned char> (&tails)[kCompactStreams], int level)
{
    size_t cost = 0;
    std::vector<unsigned char> packed;
    for (int i = 0; i < kCompactStreams; ++i) {
        const std::vector<unsigned char>& s = streams[i];
        if (s.empty())
            continue;
        // The frame's own header and block header are not paid in the patch.
        const size_t seen = std::min(tails[i].size(), kTail);
        const size_t n = PackWithPrefix(tails[i].data() + tails[i].size() - seen, seen, s.data(), s.size(), packed, level);
        cost += n == 0 ? s.size() : n - std::min<size_t>(n, kFrameOverhead);
    }
    return cost;
}

// True when the file's first 64 KiB are nearly all printable text (scripts, markup).
bool LooksLikeText(const unsigned char* data, size_t length)
{
    const size_t n = std::min<size_t>(length, 64 << 10);
    size_t text = 0;
    for (size_t i = 0; i < n; ++i)
        text += (data[i] >= 0x20 && data[i] < 0x7F) || data[i] == '\n' || data[i] == '\t' || data[i] == '\r';
    return text * 50 >= n * 49;
}

// True when a is clearly smaller than b (by a tenth).
bool ClearlySmaller(size_t a, size_t b)
{
    return a > 0 && a * 10 < b * 9;
}

} // namespace

const CCompactTwins::Candidate* CCompactTwins::Find(const std::string& name, size_t newLength) const
{
    std::string folder, stem;
    SplitName(name, folder, stem);
    const Candidate* best = nullptr;
    size_t bestGap = newLength / 10 + 1;
    for (auto c = candidates_.rbegin(); c != candidates_.rend(); ++c) {
        if (c->folder != folder || c->content.empty() || !Fits(*c))
            continue;
        if (c->stem == stem)
            return &*c;
        const size_t gap = c->content.size() > newLength ? c->content.size() - newLength : newLength - c->content.size();
        if (gap < bestGap) {
            best = &*c;
            bestGap = gap;
        }
    }
    return best;
}

void CCompactTwins::Streamed(const std::vector<unsigned char> (&streams)[kCompactStreams])
{
    for (int i = 0; i < kCompactStreams; ++i) {
        std::vector<unsigned char>& tail = tails_[i];
        tail.insert(tail.end(), streams[i].begin(), streams[i].end());
        // Cut back to the latest kTail bytes once twice that is held, not after every
        // record: 2,000 small new files each moved a MiB.
        if (tail.size() > 2 * kTail)
            tail.erase(tail.begin(), tail.end() - static_cast<std::ptrdiff_t>(kTail));
    }
}

void CCompactTwins::Note(uint16_t index, const std::string& name, const unsigned char* content, size_t length)
{
    if (length == 0 || length > kMaxPackedLength)
        return;
    Candidate c;
    c.index = index;
    SplitName(name, c.folder, c.stem);
    c.content.assign(content, content + length);
    held_ += length;
    candidates_.push_back(std::move(c));
    while (held_ > kHeldContents) {
        held_ -= candidates_.front().content.size();
        candidates_.pop_front();
    }
}

bool CCompactTwins::Fits(const Candidate& c) const
{
    // Every other twin still held at some record from c's on counts against it.
    uint64_t held = c.content.size();
    for (const Taken& t : taken_)
        if (t.twin != c.index && t.lastUser >= c.index)
            held += t.length;
    return held <= kMaxHeldTwins;
}

void CCompactTwins::Used(uint16_t index, const Candidate& twin)
{
    for (Taken& t : taken_)
        if (t.twin == twin.index) {
            t.lastUser = index;
            return;
        }
    taken_.push_back(Taken{twin.index, index, twin.content.size()});
}


CFrameChoice::CFrameChoice(const unsigned char* oldData, size_t oldLength, bool newFile, const unsigned char* newData,
                           size_t newLength, const CCompactTwins& twins, const CCompactTwins::Candidate* twin)
    : oldData_(oldData), oldLength_(newFile ? 0 : oldLength), newFile_(newFile), newData_(newData),
      newLength_(newLength), twin_(twin), tails_(twins.Tails())
{
}

std::vector<unsigned char> CFrameChoice::Prefix(bool withTwin) const
{
    std::vector<unsigned char> prefix;
    prefix.reserve((withTwin ? twin_->content.size() : 0) + oldLength_);
    if (withTwin)
        prefix.insert(prefix.end(), twin_->content.begin(), twin_->content.end());
    prefix.insert(prefix.end(), oldData_, oldData_ + oldLength_);
    return prefix;
}

void CFrameChoice::QuickAlone()
{
    std::vector<unsigned char> frame;
    if (!newFile_)
        quickAlone_ = PackWithPrefix(Prefix(false), newData_, newLength_, frame, kQuickLevel);
}

bool CFrameChoice::Choose(const std::vector<unsigned char> (&streams)[kCompactStreams], std::vector<unsigned char>& frame,
                          bool& withTwin)
{
    size_t quickPaired = 0;
    std::future<void> pairing = RunBeside([&] {
        std::vector<unsigned char> scrap;
        if (twin_)
            quickPaired = PackWithPrefix(Prefix(true), newData_, newLength_, scrap, kQuickLevel);
    });
    const size_t quickStepped = SteppedCost(streams, tails_, kQuickLevel);
    if (pairing.valid())
        pairing.get();
    // The real frames only where a quick one promises to pay: clearly smaller than the
    // stepped delta, or, for a file of up to 1 MiB or of text whose delta is small beside
    // it, up to twice as large (a larger binary, rollup's 2.6 MB, is left out: its frame
    // at the patch's level costs seconds and loses) (at the fast level a frame loses more to the stepped delta than at
    // the patch's: prettier's babel.mjs 7,763 against 4,428 bytes, but 4,064 against
    // 4,260 at level 19); of two promising ones, the clearly smaller one alone.
    const bool worthALook = (newLength_ <= kLookedAtUpTo || LooksLikeText(newData_, newLength_)) &&
                            quickStepped * 4 < newLength_;
    auto promising = [&](size_t quick) {
        return ClearlySmaller(quick, quickStepped) || (worthALook && quick > 0 && quick < 2 * quickStepped);
    };
    bool tryAlone = promising(quickAlone_);
    bool tryPaired = promising(quickPaired);
    if (tryAlone && tryPaired) {
        if (ClearlySmaller(quickPaired, quickAlone_))
            tryAlone = false;
        else if (ClearlySmaller(quickAlone_, quickPaired))
            tryPaired = false;
    }
    if (!tryAlone && !tryPaired)
        return false;
    std::vector<unsigned char> alone, paired;
    std::future<void> framing = RunBeside([&] {
        if (tryAlone)
            PackWithPrefix(Prefix(false), newData_, newLength_, alone, kFrameLevel);
        if (tryPaired)
            PackWithPrefix(Prefix(true), newData_, newLength_, paired, kFrameLevel);
    });
    const size_t stepped = SteppedCost(streams, tails_, kFrameLevel);
    if (framing.valid())
        framing.get();
    // A record's packed fields cost 6 bytes more than a stepped one's.
    std::vector<unsigned char>* best = nullptr;
    if (!alone.empty() && alone.size() + 6 < stepped)
        best = &alone;
    if (!paired.empty() && paired.size() + 6 < (best ? best->size() + 6 : stepped))
        best = &paired;
    if (!best)
        return false;
    withTwin = best == &paired;
    frame = std::move(*best);
    return true;
}
