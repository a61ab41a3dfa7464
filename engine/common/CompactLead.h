// The files a compact patch leaves alone whose content leads its literals: the literals
// stream is packed as if their contents, one after the other, came just before it, so
// that a new file much like a file beside it (a new module beside the old ones of its
// folder) costs little more than what differs. The description names them (with their
// lengths and one SHA-256 of their contents together); an apply reads them beneath the
// target folder before anything changes and holds their contents until it is done.
// They are files of the old and the new tree alike that no record names and the patch
// does not remove, so an apply run again after an interruption finds them as they were.
#pragma once
#include "engine/common/Sha256.h"

#include <cstdint>
#include <string>
#include <vector>

// The lead files together are at most this long: an apply holds their contents
// throughout.
inline constexpr uint64_t kMaxCompactLead = uint64_t{4} << 20;

struct CCompactLead {
    std::vector<std::string> names; // relative, '/' between components
    std::vector<uint32_t> lengths;
    CSha256::Digest digest{};
    // A build: the contents chosen. An apply: the contents read and checked, empty until
    // then.
    std::vector<unsigned char> content;
    bool loaded = false;

    bool Empty() const { return names.empty(); }
    uint64_t Length() const
    {
        uint64_t total = 0;
        for (uint32_t n : lengths)
            total += n;
        return total;
    }
};
