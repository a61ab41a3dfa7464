// Small helpers shared by the packaging steps of CPatchDoc: little-endian numbers and
// chunked copies between files.
#pragma once
#include "engine/common/ByteOrder.h"
#include "container/PackagingProgress.h"
#include "platform/BinFile.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr const char* kErrorTitle = "Delvorin Error";
inline constexpr const char* kWarningTitle = "Delvorin Warning";
inline constexpr const char* kMessageTitle = "Delvorin Message";

// Widths of the classic header's fixed fields.
inline constexpr size_t kMagicWidth = 64;
inline constexpr size_t kNameWidth = 68;
inline constexpr size_t kFolderWidth = 260;

inline void PutLE16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLE32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The 8-byte part prefix: part count and part size, both signed 32-bit.
inline void PutPartPrefix(unsigned char* p, int32_t count, int32_t size)
{
    PutLE32(p, static_cast<uint32_t>(count));
    PutLE32(p + 4, static_cast<uint32_t>(size));
}

// The message of a packaging step that cannot open one of its files.
inline std::string CannotOpenForPackaging(const std::string& name)
{
    return "Cannot open the Delvorin file:\n\n" + name +
           "\n\nthat is required for creating a self-extracting patch file.";
}

// How a chunked copy ended.
enum class CopyResult { Ok, ReadFailed, WriteFailed, Cancelled };

// Copies count bytes from the current position of `from` to `to`, through buffer; each
// piece copied is shown on progress (when given), which may cancel the copy.
inline CopyResult CopyBytes(CBinFile& from, CBinFile& to, uint64_t count, std::vector<unsigned char>& buffer,
                            CPackagingProgress* progress = nullptr)
{
    while (count > 0) {
        size_t chunk = count < buffer.size() ? static_cast<size_t>(count) : buffer.size();
        if (!from.ReadExact(buffer.data(), chunk))
            return CopyResult::ReadFailed;
        if (!to.Write(buffer.data(), chunk))
            return CopyResult::WriteFailed;
        count -= chunk;
        if (progress && !progress->Advance(chunk))
            return CopyResult::Cancelled;
    }
    return CopyResult::Ok;
}

// Smallest k with k * partSize >= total (partSize > 0).
inline uint64_t PartsNeeded(uint64_t total, uint64_t partSize)
{
    return (total + partSize - 1) / partSize;
}
