#include "engine/build/CompactLeadChoice.h"

#include "platform/EntryStatus.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <unordered_set>

namespace {

// Only new files this short are looked at (longer ones are mostly matched within
// themselves or packed beside a twin), and only files left alone this short are read.
constexpr uint64_t kNewFileUpTo = uint64_t{1} << 20;
constexpr uint64_t kLeadFileUpTo = uint64_t{1} << 20;
// The files of one folder looked at, at most.
constexpr size_t kLookedAtPerFolder = 64;
// Of a new file's pieces of text, how many a file must share to be taken (one in 20),
// and how many files a new file takes at most: three's new node modules pack best
// beside their three closest neighbours (more add names that cost more than they spare).
constexpr size_t kSharedShare = 20;
constexpr size_t kTakenPerNewFile = 3;
constexpr size_t kPiece = 12;
// A name the description can hold, as a record's.
constexpr size_t kLongestLeadName = 259;

uint64_t PieceHash(const unsigned char* p)
{
    uint64_t a, b = 0;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, kPiece - 8);
    return (a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full);
}

std::unordered_set<uint64_t> Pieces(const std::vector<unsigned char>& data)
{
    std::unordered_set<uint64_t> pieces;
    for (size_t i = 0; i + kPiece <= data.size(); ++i)
        pieces.insert(PieceHash(data.data() + i));
    return pieces;
}

size_t Shared(const std::unordered_set<uint64_t>& pieces, const std::vector<unsigned char>& data)
{
    std::unordered_set<uint64_t> seen;
    for (size_t i = 0; i + kPiece <= data.size(); ++i) {
        const uint64_t h = PieceHash(data.data() + i);
        if (pieces.count(h))
            seen.insert(h);
    }
    return seen.size();
}

std::string FolderOfRelative(const std::string& name)
{
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

struct CCandidate {
    std::string name;
    std::vector<unsigned char> content;
};

} // namespace

CCompactLead ChooseCompactLead(const CLeadTrees& trees)
{
    CCompactLead lead;
    // The new files, and the files of their folders that both trees hold.
    std::map<std::string, std::vector<std::string>> newByFolder, keptByFolder;
    for (const std::string& name : trees.newFiles) {
        const std::string oldPath = fsys::Join(trees.oldFolder, name);
        (fsys::PathExists(oldPath) ? keptByFolder : newByFolder)[FolderOfRelative(name)].push_back(name);
    }
    std::vector<std::string> chosen;
    uint64_t total = 0;
    for (const auto& [folder, newNames] : newByFolder) {
        auto kept = keptByFolder.find(folder);
        if (kept == keptByFolder.end())
            continue;
        // The files left alone: the same content in both trees, neither removed nor links.
        std::vector<CCandidate> candidates;
        for (const std::string& name : kept->second) {
            if (candidates.size() >= kLookedAtPerFolder)
                break;
            if (name.size() > kLongestLeadName)
                continue;
            const std::string oldPath = fsys::Join(trees.oldFolder, name), newPath = fsys::Join(trees.newFolder, name);
            // Links are refused by an apply: only regular files in both trees.
            CEntryStatus oldSt, newSt;
            if ((trees.removed && trees.removed(name)) || !fsys::EntryStatus(oldPath, oldSt, false) ||
                !fsys::EntryStatus(newPath, newSt, false) || !oldSt.IsFile() || !newSt.IsFile() ||
                oldSt.size != newSt.size || oldSt.size == 0 || oldSt.size > kLeadFileUpTo)
                continue;
            CCandidate c{name, {}};
            std::vector<unsigned char> old;
            if (fsys::ReadWholeFile(newPath, c.content) && fsys::ReadWholeFile(oldPath, old) && old == c.content)
                candidates.push_back(std::move(c));
        }
        for (const std::string& name : newNames) {
            std::vector<unsigned char> content;
            uint64_t length = 0;
            if (!fsys::FileLength(fsys::Join(trees.newFolder, name), length) || length > kNewFileUpTo ||
                !fsys::ReadWholeFile(fsys::Join(trees.newFolder, name), content))
                continue;
            const std::unordered_set<uint64_t> pieces = Pieces(content);
            std::vector<std::pair<size_t, size_t>> scores; // shared pieces, candidate
            for (size_t i = 0; i < candidates.size(); ++i)
                scores.emplace_back(Shared(pieces, candidates[i].content), i);
            std::sort(scores.begin(), scores.end(), [](const auto& a, const auto& b) {
                return a.first != b.first ? a.first > b.first : a.second < b.second;
            });
            for (size_t k = 0; k < scores.size() && k < kTakenPerNewFile; ++k) {
                const CCandidate& c = candidates[scores[k].second];
                if (scores[k].first * kSharedShare < pieces.size() || scores[k].first == 0)
                    break;
                if (std::find(chosen.begin(), chosen.end(), c.name) != chosen.end() ||
                    total + c.content.size() > kMaxCompactLead)
                    continue;
                chosen.push_back(c.name);
                total += c.content.size();
            }
        }
        // The contents of this folder's chosen files, kept in name order below.
        for (const CCandidate& c : candidates)
            if (std::find(chosen.begin(), chosen.end(), c.name) != chosen.end()) {
                lead.names.push_back(c.name);
                lead.lengths.push_back(static_cast<uint32_t>(c.content.size()));
                lead.content.insert(lead.content.end(), c.content.begin(), c.content.end());
            }
    }
    if (!lead.Empty())
        lead.digest = CSha256::Of(lead.content.data(), lead.content.size());
    lead.loaded = true;
    return lead;
}
