#include "codec/Fse.h"

#include "codec/ZstdFormat.h"

namespace codec {

namespace {

// Forward reader of a table description: bits from the lowest of the first byte on;
// past the end it gives zeros, and the caller checks how far it went.
class CForwardBits {
public:
    CForwardBits(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t Peek(unsigned n) const
    {
        uint64_t v = 0;
        const size_t first = pos_ >> 3;
        for (size_t i = 0; i < 5 && first + i < size_; ++i)
            v |= uint64_t{data_[first + i]} << (8 * i);
        return static_cast<uint32_t>((v >> (pos_ & 7)) & ((uint64_t{1} << n) - 1));
    }
    void Skip(unsigned n) { pos_ += n; }
    size_t BytesUsed() const { return (pos_ + 7) >> 3; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace

size_t ReadFseTable(const uint8_t* src, size_t size, unsigned maxSymbol, unsigned maxLog, CFseTable& table)
{
    if (size == 0 || maxSymbol > 255 || maxLog > CFseTable::kMaxLog)
        return 0;
    CForwardBits bits(src, size);
    const unsigned log = bits.Peek(4) + 5;
    bits.Skip(4);
    if (log > maxLog)
        return 0;
    int16_t counts[256];
    int remaining = (1 << log) + 1;
    int threshold = 1 << log;
    unsigned width = log + 1;
    unsigned symbol = 0;
    while (remaining > 1 && symbol <= maxSymbol) {
        // Values below `low` take one bit fewer than the rest.
        const int low = (2 * threshold - 1) - remaining;
        const int v = static_cast<int>(bits.Peek(width));
        int count;
        if ((v & (threshold - 1)) < low) {
            count = v & (threshold - 1);
            bits.Skip(width - 1);
        } else {
            count = v & (2 * threshold - 1);
            if (count >= threshold)
                count -= low;
            bits.Skip(width);
        }
        --count; // -1 stands for "less than one"
        remaining -= count < 0 ? -count : count;
        if (remaining < 1)
            return 0;
        counts[symbol++] = static_cast<int16_t>(count);
        if (count == 0) {
            // Runs of further zero probabilities, two bits at a time.
            for (;;) {
                const unsigned repeat = bits.Peek(2);
                bits.Skip(2);
                if (symbol + repeat > maxSymbol + 1)
                    return 0;
                for (unsigned i = 0; i < repeat; ++i)
                    counts[symbol++] = 0;
                if (repeat != 3)
                    break;
            }
        }
        while (remaining < threshold) {
            --width;
            threshold >>= 1;
        }
    }
    if (remaining != 1 || bits.BytesUsed() > size)
        return 0;
    if (!BuildFseTable(counts, symbol, log, table))
        return 0;
    return bits.BytesUsed();
}

bool BuildFseTable(const int16_t* counts, unsigned symbols, unsigned log, CFseTable& table)
{
    if (log > CFseTable::kMaxLog || symbols == 0 || symbols > 256)
        return false;
    const unsigned size = 1u << log;
    unsigned sum = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        if (counts[s] < -1)
            return false;
        sum += counts[s] < 0 ? 1 : static_cast<unsigned>(counts[s]);
    }
    if (sum != size)
        return false;
    table.log = log;
    uint16_t next[256];
    // "Less than one" symbols take the last states, one each.
    int high = static_cast<int>(size) - 1;
    for (unsigned s = 0; s < symbols; ++s) {
        if (counts[s] == -1) {
            table.entries[high--].symbol = static_cast<uint8_t>(s);
            next[s] = 1;
        } else {
            next[s] = static_cast<uint16_t>(counts[s]);
        }
    }
    // The others are spread over the rest with a fixed stride, skipping the last states.
    const unsigned step = (size >> 1) + (size >> 3) + 3, mask = size - 1;
    unsigned pos = 0;
    for (unsigned s = 0; s < symbols; ++s) {
        for (int i = 0; i < counts[s]; ++i) {
            table.entries[pos].symbol = static_cast<uint8_t>(s);
            do
                pos = (pos + step) & mask;
            while (static_cast<int>(pos) > high);
        }
    }
    if (pos != 0)
        return false;
    for (unsigned u = 0; u < size; ++u) {
        FseEntry& e = table.entries[u];
        const unsigned state = next[e.symbol]++;
        e.bits = static_cast<uint8_t>(log - HighBit(state));
        e.baseline = static_cast<uint16_t>((state << e.bits) - size);
    }
    return true;
}

void BuildRleFseTable(uint8_t symbol, CFseTable& table)
{
    table.log = 0;
    table.entries[0] = FseEntry{0, symbol, 0};
}

} // namespace codec
