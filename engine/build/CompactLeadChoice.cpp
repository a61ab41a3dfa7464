#include "engine/build/CompactLeadChoice.h"

#include "platform/EntryStatus.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// Only files this short are looked at, as files to serve or to lead: a longer one is
// mostly matched within itself, or packed beside a twin.
constexpr uint64_t kLookedAtUpTo = uint64_t{1} << 20;
// The files of one folder that both trees hold, looked at at most, and the bytes read
// for the choice in all: it costs a fraction of the build.
constexpr size_t kLookedAtPerFolder = 256;
constexpr uint64_t kReadUpTo = uint64_t{64} << 20;
// A file is taken to lead when it shares at least one in kSharedShare of the pieces of
// text that a file it serves brings (all of a new file's, those of a changed file that
// its old content lacks), and, for a changed file, at least kLeastShared of the pieces
// kept. A new
// file takes its three closest files, a changed one two (three's patch: fewer spare
// less, more cost more in names than they spare).
constexpr size_t kSharedShare = 20;
constexpr size_t kLeastShared = 4;
constexpr size_t kTakenPerNewFile = 3;
constexpr size_t kTakenPerChangedFile = 2;
// Pieces of text are 12 bytes; one in sixteen (by its hash, alike in every file) is kept.
constexpr size_t kPiece = 12;
constexpr int kSampledLog = 4;
// A name the description can hold, as a record's.
constexpr size_t kLongestLeadName = 259;

// The sorted hashes of the sampled pieces of data.
std::vector<uint64_t> Pieces(const std::vector<unsigned char>& data)
{
    std::vector<uint64_t> pieces;
    for (size_t i = 0; i + kPiece <= data.size(); ++i) {
        uint64_t a, b = 0;
        std::memcpy(&a, data.data() + i, 8);
        std::memcpy(&b, data.data() + i + 8, kPiece - 8);
        const uint64_t h = (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full);
        if ((h >> (64 - kSampledLog)) == 0)
            pieces.push_back(h);
    }
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return pieces;
}

size_t Shared(const std::vector<uint64_t>& a, const std::vector<uint64_t>& b)
{
    size_t n = 0;
    for (auto i = a.begin(), j = b.begin(); i != a.end() && j != b.end();) {
        if (*i < *j)
            ++i;
        else if (*j < *i)
            ++j;
        else
            ++n, ++i, ++j;
    }
    return n;
}

// A regular file (no link) of up to kLookedAtUpTo bytes, read whole.
bool ReadRegular(const std::string& path, std::vector<unsigned char>& content, uint64_t& read)
{
    CEntryStatus st;
    if (!fsys::EntryStatus(path, st, false) || !st.IsFile() || st.size == 0 || st.size > kLookedAtUpTo ||
        read + st.size > kReadUpTo)
        return false;
    read += st.size;
    return fsys::ReadWholeFile(path, content);
}

struct CCandidate {
    std::string name;
    std::vector<unsigned char> content;
    std::vector<uint64_t> pieces;
};

// A file the lead may serve: its pieces of text, and how many files it takes at most.
struct CServed {
    std::vector<uint64_t> pieces;
    size_t taken, least;
};

} // namespace

CCompactLead ChooseCompactLead(const CLeadTrees& trees)
{
    CCompactLead lead;
    // The files of each folder: new ones, and those both trees hold.
    std::map<std::string, std::vector<std::string>> newByFolder, keptByFolder;
    for (const std::string& name : trees.newFiles) {
        const std::string oldPath = fsys::Join(trees.oldFolder, name);
        (fsys::PathExists(oldPath) ? keptByFolder : newByFolder)[fsys::FolderOf(name)].push_back(name);
    }
    uint64_t read = 0, total = 0;
    for (const auto& [folder, keptNames] : keptByFolder) {
        // The files left alone (the same content in both trees, neither removed nor links:
        // an apply refuses links), and the changed files.
        std::vector<CCandidate> candidates;
        std::vector<CServed> served;
        for (size_t k = 0; k < keptNames.size() && k < kLookedAtPerFolder; ++k) {
            const std::string& name = keptNames[k];
            std::vector<unsigned char> oldContent, newContent;
            if (!ReadRegular(fsys::Join(trees.newFolder, name), newContent, read) ||
                !ReadRegular(fsys::Join(trees.oldFolder, name), oldContent, read))
                continue;
            if (oldContent != newContent) {
                std::vector<uint64_t> novel, had = Pieces(oldContent), all = Pieces(newContent);
                std::set_difference(all.begin(), all.end(), had.begin(), had.end(), std::back_inserter(novel));
                served.push_back(CServed{std::move(novel), kTakenPerChangedFile, kLeastShared});
            } else if (name.size() <= kLongestLeadName && !(trees.removed && trees.removed(name))) {
                std::vector<uint64_t> pieces = Pieces(newContent);
                candidates.push_back(CCandidate{name, std::move(newContent), std::move(pieces)});
            }
        }
        if (candidates.empty())
            continue;
        if (auto added = newByFolder.find(folder); added != newByFolder.end())
            for (const std::string& name : added->second) {
                std::vector<unsigned char> content;
                if (ReadRegular(fsys::Join(trees.newFolder, name), content, read))
                    served.push_back(CServed{Pieces(content), kTakenPerNewFile, 1});
            }
        std::vector<bool> chosen(candidates.size(), false);
        for (const CServed& s : served) {
            std::vector<std::pair<size_t, size_t>> scores; // shared pieces, candidate
            for (size_t i = 0; i < candidates.size(); ++i)
                scores.emplace_back(Shared(s.pieces, candidates[i].pieces), i);
            std::sort(scores.begin(), scores.end(), [](const auto& a, const auto& b) {
                return a.first != b.first ? a.first > b.first : a.second < b.second;
            });
            for (size_t k = 0; k < scores.size() && k < s.taken; ++k) {
                const auto [shared, i] = scores[k];
                if (shared < s.least || shared * kSharedShare < s.pieces.size())
                    break;
                if (!chosen[i] && total + candidates[i].content.size() <= kMaxCompactLead) {
                    chosen[i] = true;
                    total += candidates[i].content.size();
                }
            }
        }
        for (size_t i = 0; i < candidates.size(); ++i)
            if (chosen[i]) {
                lead.names.push_back(candidates[i].name);
                lead.lengths.push_back(static_cast<uint32_t>(candidates[i].content.size()));
                lead.content.insert(lead.content.end(), candidates[i].content.begin(), candidates[i].content.end());
            }
    }
    if (!lead.Empty())
        lead.digest = CSha256::Of(lead.content.data(), lead.content.size());
    lead.loaded = true;
    return lead;
}
