// A device-independent bitmap in memory: the Windows bitmap layout with a 40-byte info
// header, read from a compiled-in resource or from a ".bmp" file, with its colour
// palette and the screen bitmap made from it.
#pragma once
#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/image.h>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class CDib {
public:
    static constexpr size_t kFileHeaderSize = 14;
    static constexpr size_t kInfoHeaderSize = 40;
    // A resource's pixel bits start after the info header and a full 256-entry colour table.
    static constexpr size_t kResourceBitsOffset = kInfoHeaderSize + 256 * 4;

    CDib() = default;
    CDib(const CDib&) = delete;
    CDib& operator=(const CDib&) = delete;

    // Bitmap resource id; 1 on success. At a desktop scale of 2 or more the picture's
    // drawing at twice the size is taken where there is one. A missing resource fails
    // silently; a header that is not the 40-byte info header shows "Invalid bitmap resource".
    int LoadResource(int id, int scale = 1);
    // A bitmap file; a given path replaces the stored one. With search set, the file
    // name alone and then the program folder are tried when the path does not open.
    // Shows "Bitmap file Read error" or "Invalid bitmap file" for a bad file.
    int LoadFile(const std::string& path, bool search);
    // Bitmap data in the packed layout (info header, colour table of ColourCount()
    // entries, pixel bits), as the splash picture and the icon are kept; 1 on success.
    int LoadPacked(const unsigned char* data, size_t size);

    // 1 when a palette was built from the colour table (none for 0 colours).
    int CreatePalette();
    // Makes the screen bitmap from the pixel bits; 1 on success. A damaged or
    // unsupported picture leaves width and height 0, so nothing is painted.
    int CreateDeviceBitmap();
    // Copies a block of the screen bitmap to the target, unscaled (or repeated across the
    // rectangle with tile); 1 when something was drawn.
    int Paint(wxDC& target, int x, int y, int width, int height, int srcX, int srcY, bool tile);

    // Size from the info header, as 16-bit values; 0 when nothing is loaded.
    int Width() const;
    int Height() const;
    // Size of the screen bitmap (0 until it is created).
    int DeviceWidth() const { return devWidth_; }
    int DeviceHeight() const { return devHeight_; }
    uint16_t BitsPerPixel() const { return bitsPerPixel_; }
    // The used-colours count, or 2, 16 or 256 for 1, 4 or 8 bits, else 0.
    int ColourCount() const;
    const std::vector<wxColour>& Palette() const { return palette_; }
    bool HasPalette() const { return !palette_.empty(); }
    const std::string& FilePath() const { return filePath_; }
    const wxBitmap& DeviceBitmap() const { return device_; }
    bool IsLoaded() const { return dib_ != nullptr; }
    // The colour table entry i as stored (blue, green, red, reserved); 0 outside it.
    uint32_t ColourTableEntry(int i) const;
    // The picture decoded to an image; invalid when the bits do not fit the data.
    wxImage ToImage() const;

    // Stored form: only the file path. Loading reads the path and loads that file with
    // the search flag set.
    void Store(std::ostream& out) const;
    int Load(std::istream& in);

private:
    void Release();
    uint32_t U32(size_t offset) const;
    int32_t S32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
    uint16_t U16(size_t offset) const;
    size_t ColourTableOffset() const { return kInfoHeaderSize; }

    const unsigned char* dib_ = nullptr; // starts at the info header
    size_t dibSize_ = 0;                  // bytes from dib_ to the end of the data
    std::vector<unsigned char> owned_;    // the whole file when loaded from one
    bool fromResource_ = false;
    size_t bitsOffset_ = 0;               // from dib_
    uint16_t bitsPerPixel_ = 0;
    uint32_t dataSize_ = 0;               // file length of an owned block
    std::string filePath_;
    std::vector<wxColour> palette_;
    wxBitmap device_;
    int devWidth_ = 0;
    int devHeight_ = 0;
};
