#include "ui/CDib.h"

#include "app/StringHelpers.h"
#include "platform/FileSystem.h"
#include "ui/CWxPrompt.h"
#include "ui/Resources.h"

#include <wx/dcmemory.h>

#include <algorithm>
#include <fstream>
#include <istream>
#include <new>
#include <ostream>

namespace {

// Pictures larger than this in either direction are taken as damaged, not allocated.
constexpr int32_t kMaxSide = 32768;

bool OpenForReading(const std::string& path, std::ifstream& in)
{
    if (path.empty() || !fsys::FileExists(path))
        return false;
    in.open(path, std::ios::binary);
    return in.is_open();
}

} // namespace

void CDib::Release()
{
    owned_.clear();
    owned_.shrink_to_fit();
    dib_ = nullptr;
    dibSize_ = 0;
    dataSize_ = 0;
    bitsOffset_ = 0;
    bitsPerPixel_ = 0;
    fromResource_ = false;
}

uint32_t CDib::U32(size_t offset) const
{
    if (!dib_ || offset + 4 > dibSize_)
        return 0;
    return uint32_t(dib_[offset]) | uint32_t(dib_[offset + 1]) << 8 | uint32_t(dib_[offset + 2]) << 16 |
           uint32_t(dib_[offset + 3]) << 24;
}

uint16_t CDib::U16(size_t offset) const
{
    if (!dib_ || offset + 2 > dibSize_)
        return 0;
    return static_cast<uint16_t>(dib_[offset] | dib_[offset + 1] << 8);
}

int CDib::LoadResource(int id, int scale)
{
    Release();
    CResourceData res = FindBitmapResource(id, scale);
    if (!res.data)
        return 0; // a missing resource leaves the picture empty without a message
    dib_ = res.data;
    dibSize_ = res.size;
    if (dibSize_ < kInfoHeaderSize || U32(0) != kInfoHeaderSize) {
        ShowAppMessage("Invalid bitmap resource");
        Release();
        return 0;
    }
    fromResource_ = true;
    bitsOffset_ = kResourceBitsOffset;
    bitsPerPixel_ = U16(14);
    return 1;
}

int CDib::LoadPacked(const unsigned char* data, size_t size)
{
    Release();
    if (!data || size < kInfoHeaderSize)
        return 0;
    dib_ = data;
    dibSize_ = size;
    if (U32(0) != kInfoHeaderSize) {
        Release();
        return 0;
    }
    fromResource_ = true;
    bitsPerPixel_ = U16(14);
    bitsOffset_ = kInfoHeaderSize + static_cast<size_t>(ColourCount()) * 4;
    return 1;
}

int CDib::LoadFile(const std::string& path, bool search)
{
    if (!path.empty())
        filePath_ = path;
    else if (filePath_.empty())
        return 0;

    std::ifstream in;
    if (!OpenForReading(filePath_, in)) {
        bool opened = false;
        if (search) {
            std::string name = LastComponent(filePath_);
            opened = OpenForReading(name, in) || OpenForReading(fsys::Join(fsys::ProgramFolder(), name), in);
        }
        if (!opened) {
            filePath_.clear();
            return 0;
        }
    }

    Release();
    in.seekg(0, std::ios::end);
    std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length < 0 || static_cast<uint64_t>(length) > 0xFFFFFFFFull) {
        ShowAppMessage("Unable to allocate DIB memory");
        return 0;
    }
    try {
        owned_.assign(static_cast<size_t>(length), 0);
    } catch (const std::bad_alloc&) {
        ShowAppMessage("Unable to allocate DIB memory");
        Release();
        return 0;
    }
    dataSize_ = static_cast<uint32_t>(length);
    in.read(reinterpret_cast<char*>(owned_.data()), length);
    if (in.gcount() < length) {
        ShowAppMessage("Bitmap file Read error");
        Release();
        filePath_.clear();
        return 0;
    }

    bool valid = owned_.size() >= kFileHeaderSize + kInfoHeaderSize && owned_[0] == 'B' && owned_[1] == 'M';
    if (valid) {
        dib_ = owned_.data() + kFileHeaderSize;
        dibSize_ = owned_.size() - kFileHeaderSize;
        valid = U32(0) == kInfoHeaderSize;
    }
    if (!valid) {
        ShowAppMessage("Invalid bitmap file");
        Release();
        filePath_.clear();
        return 0;
    }
    uint32_t bitsOffset = uint32_t(owned_[10]) | uint32_t(owned_[11]) << 8 | uint32_t(owned_[12]) << 16 |
                          uint32_t(owned_[13]) << 24;
    // An offset pointing before the info header can never be drawn; the size check of
    // CreateDeviceBitmap then refuses it.
    bitsOffset_ = bitsOffset >= kFileHeaderSize ? bitsOffset - kFileHeaderSize : SIZE_MAX;
    bitsPerPixel_ = U16(14);
    return 1;
}

int CDib::Width() const
{
    return dib_ ? static_cast<uint16_t>(U32(4)) : 0;
}

int CDib::Height() const
{
    return dib_ ? static_cast<uint16_t>(U32(8)) : 0;
}

int CDib::ColourCount() const
{
    if (!dib_)
        return 0;
    uint32_t used = U32(32);
    if (used != 0)
        return static_cast<int>(std::min<uint32_t>(used, 65536));
    switch (bitsPerPixel_) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

uint32_t CDib::ColourTableEntry(int i) const
{
    if (i < 0 || i >= ColourCount())
        return 0;
    return U32(ColourTableOffset() + static_cast<size_t>(i) * 4);
}

int CDib::CreatePalette()
{
    palette_.clear();
    int count = ColourCount();
    if (count == 0 || ColourTableOffset() + static_cast<size_t>(count) * 4 > dibSize_)
        return 0;
    for (int i = 0; i < count; ++i) {
        uint32_t e = ColourTableEntry(i); // blue, green, red, reserved
        palette_.emplace_back(static_cast<unsigned char>(e >> 16), static_cast<unsigned char>(e >> 8),
                              static_cast<unsigned char>(e));
    }
    return 1;
}

wxImage CDib::ToImage() const
{
    if (!dib_ || U32(0) != kInfoHeaderSize)
        return wxImage();
    int32_t width = S32(4);
    int32_t height = S32(8);
    bool topDown = height < 0;
    int64_t rows = topDown ? -int64_t(height) : height;
    unsigned bpp = bitsPerPixel_;
    if (width <= 0 || width > kMaxSide || rows <= 0 || rows > kMaxSide)
        return wxImage();
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return wxImage();
    uint64_t stride = (uint64_t(width) * bpp + 31) / 32 * 4;
    if (bitsOffset_ == SIZE_MAX || bitsOffset_ > dibSize_ || stride * uint64_t(rows) > dibSize_ - bitsOffset_)
        return wxImage();

    // The colours an index stands for. A 1-bit picture is always drawn black and white,
    // whatever its colour table says; indexes past the table are black.
    std::vector<wxColour> colours;
    if (bpp <= 8) {
        if (bpp == 1) {
            colours = {*wxBLACK, *wxWHITE};
        } else {
            int count = ColourCount();
            for (int i = 0; i < count && ColourTableOffset() + size_t(i) * 4 + 4 <= dibSize_; ++i) {
                uint32_t e = U32(ColourTableOffset() + size_t(i) * 4);
                colours.emplace_back(static_cast<unsigned char>(e >> 16), static_cast<unsigned char>(e >> 8),
                                     static_cast<unsigned char>(e));
            }
        }
    }

    wxImage image(width, static_cast<int>(rows), false);
    unsigned char* out = image.GetData();
    for (int64_t r = 0; r < rows; ++r) {
        const unsigned char* row = dib_ + bitsOffset_ + stride * uint64_t(r);
        int64_t y = topDown ? r : rows - 1 - r;
        unsigned char* dst = out + (y * width) * 3;
        for (int32_t x = 0; x < width; ++x, dst += 3) {
            unsigned char red = 0, green = 0, blue = 0;
            if (bpp <= 8) {
                unsigned index;
                if (bpp == 8)
                    index = row[x];
                else if (bpp == 4)
                    index = (row[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F;
                else
                    index = (row[x / 8] >> (7 - x % 8)) & 1;
                if (index < colours.size()) {
                    red = colours[index].Red();
                    green = colours[index].Green();
                    blue = colours[index].Blue();
                }
            } else if (bpp == 16) {
                unsigned v = row[x * 2] | row[x * 2 + 1] << 8; // 5-5-5
                red = static_cast<unsigned char>(((v >> 10) & 31) * 255 / 31);
                green = static_cast<unsigned char>(((v >> 5) & 31) * 255 / 31);
                blue = static_cast<unsigned char>((v & 31) * 255 / 31);
            } else {
                const unsigned char* p = row + size_t(x) * (bpp / 8);
                blue = p[0];
                green = p[1];
                red = p[2];
            }
            dst[0] = red;
            dst[1] = green;
            dst[2] = blue;
        }
    }
    return image;
}

int CDib::CreateDeviceBitmap()
{
    device_ = wxBitmap();
    devWidth_ = devHeight_ = 0;
    wxImage image = ToImage();
    if (!image.IsOk())
        return 0;
    device_ = wxBitmap(image);
    if (!device_.IsOk())
        return 0;
    devWidth_ = device_.GetWidth();
    devHeight_ = device_.GetHeight();
    return 1;
}

int CDib::Paint(wxDC& target, int x, int y, int width, int height, int srcX, int srcY, bool tile)
{
    if (devWidth_ == 0 || devHeight_ == 0 || width <= 0 || height <= 0)
        return 0;
    wxMemoryDC source;
    source.SelectObjectAsSource(device_);
    bool drawn = false;
    auto copy = [&](int tx, int ty, int w, int h, int sx, int sy) {
        // Only the picture itself is copied: a target larger than it keeps its own
        // content beyond the picture's edges.
        w = std::min(w, devWidth_ - sx);
        h = std::min(h, devHeight_ - sy);
        if (w > 0 && h > 0 && sx >= 0 && sy >= 0)
            drawn = target.Blit(tx, ty, w, h, &source, sx, sy) || drawn;
    };
    if (!tile) {
        copy(x, y, width, height, srcX, srcY);
    } else {
        int startX = ((srcX % devWidth_) + devWidth_) % devWidth_;
        int startY = ((srcY % devHeight_) + devHeight_) % devHeight_;
        for (int ty = y, sy = startY; ty < y + height; sy = 0) {
            int h = std::min(devHeight_ - sy, y + height - ty);
            for (int tx = x, sx = startX; tx < x + width; sx = 0) {
                int w = std::min(devWidth_ - sx, x + width - tx);
                copy(tx, ty, w, h, sx, sy);
                tx += w;
            }
            ty += h;
        }
    }
    source.SelectObject(wxNullBitmap);
    return drawn ? 1 : 0;
}

void CDib::Store(std::ostream& out) const
{
    out << filePath_ << '\n';
}

int CDib::Load(std::istream& in)
{
    std::string path;
    std::getline(in, path);
    return LoadFile(path, true);
}
