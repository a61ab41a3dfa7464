// Pictures: the compiled-in bitmaps, bitmap files with their checks and messages, the
// colour rules, and the picture control filling its frame inside a one-pixel margin.
#include "support/GuiTestSupport.h"

#include "platform/FileSystem.h"
#include "support/TestFolder.h"
#include "ui/CDib.h"
#include "ui/CPictureCtrl.h"
#include "ui/CSplashWnd.h"
#include "ui/Resources.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/frame.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {

// Writes v little-endian into the given number of bytes at at.
void Put(std::vector<unsigned char>& b, size_t at, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        b[at + i] = (v >> (8 * i)) & 0xFF;
}

// A bitmap file: width x height, bpp bits, a colour table of the given entries (blue,
// green, red, reserved as one number 0x00RRGGBB) and rows of pixel bytes bottom-up.
std::vector<unsigned char> BitmapFile(int width, int height, int bpp, const std::vector<uint32_t>& table,
                                      const std::vector<std::vector<unsigned char>>& rows)
{
    size_t stride = (size_t(width) * bpp + 31) / 32 * 4;
    size_t bitsOffset = 14 + 40 + table.size() * 4;
    std::vector<unsigned char> b(bitsOffset + stride * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put(b, 2, uint32_t(b.size()));
    Put(b, 10, uint32_t(bitsOffset));
    Put(b, 14, 40);
    Put(b, 18, uint32_t(width));
    Put(b, 22, uint32_t(height));
    Put(b, 26, 1, 2);
    Put(b, 28, uint32_t(bpp), 2);
    Put(b, 46, uint32_t(table.size()));
    for (size_t i = 0; i < table.size(); ++i)
        Put(b, 54 + i * 4, table[i]);
    for (size_t r = 0; r < rows.size(); ++r)
        std::memcpy(&b[bitsOffset + r * stride], rows[r].data(), rows[r].size());
    return b;
}

wxColour PixelAt(const wxImage& image, int x, int y)
{
    return wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y));
}

// The desktop scale the test runs at (it runs again with GDK_SCALE=2).
int DesktopScale() { const char* s = std::getenv("GDK_SCALE"); return s && std::string(s) == "2" ? 2 : 1; }

} // namespace

TEST(Pictures, EveryPictureIsCompiledInAtItsSizeAndDepth)
{
    struct { int id, width, height, bpp; } pictures[] = {
        {130, 538, 318, 8}, {135, 340, 493, 8}, {137, 340, 493, 8}, {139, 448, 448, 8},
        {140, 613, 448, 8}, {141, 340, 493, 8}, {142, 340, 493, 8},
    };
    for (const auto& p : pictures) {
        CDib dib;
        ASSERT_EQ(dib.LoadResource(p.id), 1) << p.id;
        EXPECT_EQ(dib.Width(), p.width) << p.id;
        EXPECT_EQ(dib.Height(), p.height) << p.id;
        EXPECT_EQ(dib.BitsPerPixel(), p.bpp) << p.id;
        EXPECT_EQ(dib.ColourCount(), 256) << p.id;
        EXPECT_EQ(dib.CreatePalette(), 1) << p.id;
        EXPECT_EQ(dib.Palette().size(), 256u) << p.id;
        ASSERT_EQ(dib.CreateDeviceBitmap(), 1) << p.id;
        EXPECT_EQ(dib.DeviceWidth(), p.width) << p.id;
        EXPECT_EQ(dib.DeviceHeight(), p.height) << p.id;
    }
    // The splash picture has 16 colours and its own packed layout.
    CResourceData splash = FindBitmapResource(102);
    CDib dib;
    ASSERT_EQ(dib.LoadPacked(splash.data, splash.size), 1);
    EXPECT_EQ(dib.Width(), 520);
    EXPECT_EQ(dib.Height(), 317);
    EXPECT_EQ(dib.BitsPerPixel(), 4);
    EXPECT_EQ(dib.ColourCount(), 16);
    EXPECT_EQ(dib.CreateDeviceBitmap(), 1);
    EXPECT_NE(FindIconResource(128).data, nullptr);
}

TEST(Pictures, AMissingResourceFailsSilently)
{
    CPromptScript script;
    CDib dib;
    EXPECT_EQ(dib.LoadResource(999), 0);
    EXPECT_TRUE(script.prompts.Shown().empty());
    EXPECT_EQ(dib.CreateDeviceBitmap(), 0);
    EXPECT_EQ(dib.DeviceWidth(), 0);
}

TEST(Pictures, ColourCountFollowsUsedColoursOrTheDepth)
{
    CTestFolder folder;
    struct { int bpp; std::vector<uint32_t> table; int expected; } cases[] = {
        {1, {}, 2}, {4, {}, 16}, {8, {}, 256}, {24, {}, 0}, {8, {0x112233, 0x445566, 0x778899}, 3},
    };
    for (const auto& c : cases) {
        auto bytes = BitmapFile(4, 2, c.bpp, c.table, {});
        if (c.table.empty() && c.bpp <= 8) { // a full table without a used-colours count
            std::vector<uint32_t> full(size_t(1) << c.bpp, 0);
            bytes = BitmapFile(4, 2, c.bpp, full, {});
            Put(bytes, 46, 0);
        }
        CDib dib;
        ASSERT_EQ(dib.LoadFile(folder.WriteBytes("c.bmp", bytes), false), 1);
        EXPECT_EQ(dib.ColourCount(), c.expected) << c.bpp;
        EXPECT_EQ(dib.CreatePalette(), c.expected ? 1 : 0) << c.bpp;
    }
}

TEST(Pictures, APaletteTakesRedGreenBlueFromTheColourTable)
{
    CTestFolder folder;
    CDib dib;
    ASSERT_EQ(dib.LoadFile(folder.WriteBytes("p.bmp", BitmapFile(2, 1, 8, {0x00102030, 0x00A0B0C0}, {{1, 0}})), false), 1);
    ASSERT_EQ(dib.CreatePalette(), 1);
    EXPECT_EQ(dib.Palette()[0], wxColour(0x10, 0x20, 0x30));
    EXPECT_EQ(dib.Palette()[1], wxColour(0xA0, 0xB0, 0xC0));
    EXPECT_EQ(PixelAt(dib.ToImage(), 0, 0), wxColour(0xA0, 0xB0, 0xC0));
    EXPECT_EQ(PixelAt(dib.ToImage(), 1, 0), wxColour(0x10, 0x20, 0x30));
}

TEST(Pictures, AOneBitPictureIsBlackAndWhiteWhateverItsColourTableSays)
{
    CTestFolder folder;
    // Red and green in the table; row 0 (the bottom row) is 1,0,1,0.
    CDib dib;
    ASSERT_EQ(dib.LoadFile(folder.WriteBytes("m.bmp", BitmapFile(4, 2, 1, {0xFF0000, 0x00FF00}, {{0xA0}, {0x50}})),
                           false),
              1);
    wxImage image = dib.ToImage();
    ASSERT_TRUE(image.IsOk());
    for (int x : {0, 1}) // white where a bit is set
        for (int y : {0, 1})
            EXPECT_EQ(PixelAt(image, x, y), (x + y) % 2 ? *wxWHITE : *wxBLACK) << x << "," << y;
    EXPECT_EQ(dib.ColourTableEntry(0), 0xFF0000u);
    EXPECT_EQ(dib.ColourTableEntry(1), 0x00FF00u);
}

TEST(Pictures, AFileWithoutTheBitmapSignatureIsRefused)
{
    CTestFolder folder;
    CDib dib;
    struct { const char* what; size_t at; uint32_t value; int bytes; } damages[] = {
        {"another first letter", 0, 'X', 1}, {"an info header of another size", 14, 12, 4}};
    for (const auto& d : damages) {
        SCOPED_TRACE(d.what);
        auto file = BitmapFile(2, 2, 24, {}, {});
        Put(file, d.at, d.value, d.bytes);
        const CPromptRecord shown =
            OnlyPrompt([&] { EXPECT_EQ(dib.LoadFile(folder.WriteBytes("x.bmp", file), false), 0); });
        EXPECT_EQ(dib.FilePath(), "");
        EXPECT_EQ(shown.text, "Invalid bitmap file");
        EXPECT_EQ(shown.title, "Delvorin");
        EXPECT_EQ(shown.buttons, PromptButtons::OK);
    }
}

TEST(Pictures, AMissingFileFailsQuietlyAndForgetsItsPath)
{
    CPromptScript script;
    CDib dib;
    EXPECT_EQ(dib.LoadFile("/nonexistent/folder/pic.bmp", false), 0);
    EXPECT_EQ(dib.FilePath(), "");
    EXPECT_EQ(dib.LoadFile("", false), 0); // no path given and none stored
    EXPECT_TRUE(script.prompts.Shown().empty());
}

TEST(Pictures, SearchingFindsAPictureInTheProgramFolder)
{
    std::string name = "pic-" + std::to_string(::getpid()) + ".bmp";
    std::string inProgramFolder = fsys::Join(fsys::ProgramFolder(), name);
    auto bytes = BitmapFile(3, 2, 24, {}, {});
    ASSERT_TRUE(fsys::WriteWholeFile(inProgramFolder, bytes.data(), bytes.size()));
    CDib dib;
    EXPECT_EQ(dib.LoadFile("/nonexistent/folder/" + name, false), 0);
    EXPECT_EQ(dib.LoadFile("/nonexistent/folder/" + name, true), 1);
    EXPECT_EQ(dib.Width(), 3);

    // The stored form is the path; loading it searches the same way.
    std::stringstream archive;
    dib.Store(archive);
    CDib again;
    EXPECT_EQ(again.Load(archive), 1);
    EXPECT_EQ(again.Height(), 2);
    fsys::DeleteFile(inProgramFolder);
}

TEST(Pictures, PixelBitsBeyondTheFileAreNeverDrawn)
{
    CTestFolder folder;
    auto bytes = BitmapFile(16, 16, 24, {}, {});
    bytes.resize(bytes.size() - 100); // the last rows are missing
    CDib dib;
    ASSERT_EQ(dib.LoadFile(folder.WriteBytes("short.bmp", bytes), false), 1);
    EXPECT_EQ(dib.CreateDeviceBitmap(), 0);
    EXPECT_EQ(dib.DeviceWidth(), 0);

    bytes = BitmapFile(4, 4, 24, {}, {});
    Put(bytes, 10, 0xFFFFFF00); // bits offset far past the end
    ASSERT_EQ(dib.LoadFile(folder.WriteBytes("far.bmp", bytes), false), 1);
    EXPECT_EQ(dib.CreateDeviceBitmap(), 0);
    wxBitmap target(8, 8);
    wxMemoryDC dc(target);
    EXPECT_EQ(dib.Paint(dc, 0, 0, 8, 8, 0, 0, false), 0);
}

TEST(Pictures, TilingRepeatsThePictureFromTheSourceOffset)
{
    CTestFolder folder;
    // 2x1: left pixel blue, right pixel red (24-bit is blue, green, red).
    CDib dib;
    ASSERT_EQ(dib.LoadFile(folder.WriteBytes("t.bmp", BitmapFile(2, 1, 24, {}, {{255, 0, 0, 0, 0, 255}})), false), 1);
    ASSERT_EQ(dib.CreateDeviceBitmap(), 1);
    wxBitmap target(5, 1);
    {
        wxMemoryDC dc(target);
        EXPECT_EQ(dib.Paint(dc, 0, 0, 5, 1, 1, 0, true), 1);
    }
    const wxImage image = target.ConvertToImage();
    for (int x = 0; x < 5; ++x) // red, blue, red, blue, red
        EXPECT_EQ(PixelAt(image, x, 0), x % 2 ? wxColour(0, 0, 255) : wxColour(255, 0, 0)) << x;
}

namespace {
// Draws the control into a magenta image of its client size.
wxImage DrawControl(CPictureCtrl* control)
{
    wxSize size = control->GetClientSize();
    wxBitmap target(size.x, size.y);
    {
        wxMemoryDC dc(target);
        dc.SetBackground(wxBrush(wxColour(255, 0, 255)));
        dc.Clear();
        control->Draw(dc);
    }
    return target.ConvertToImage();
}
} // namespace

TEST(PictureCtrl, FillsItsFrameInsideAOnePixelMarginWithTheProportionsKept)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "pictures");
    // Picture 139 is a square with a round green seal above its middle.
    auto isSeal = [](const wxColour& c) { return c.Green() - c.Red() > 60; };

    // Smaller and larger than the picture, wider and taller than it: every pixel inside
    // the margin is painted, and the seal stays round.
    for (wxSize size : {wxSize(60, 50), wxSize(700, 560), wxSize(300, 360)}) {
        SCOPED_TRACE(testing::Message() << size.x << "x" << size.y);
        auto* control = new CPictureCtrl(frame, 1039, wxPoint(0, 0), size);
        control->SetBitmap(139);
        wxImage image = DrawControl(control);
        wxSize client = control->GetClientSize();
        const wxColour magenta(255, 0, 255);
        EXPECT_EQ(PixelAt(image, 0, 0), magenta);
        EXPECT_EQ(PixelAt(image, client.x - 1, client.y - 1), magenta);
        // The seal's extent: its leftmost, rightmost, top and bottom pixels.
        int unpainted = 0;
        int left = client.x, right = -1, top = client.y, bottom = -1;
        for (int y = 1; y < client.y - 1; ++y) {
            for (int x = 1; x < client.x - 1; ++x) {
                wxColour c = PixelAt(image, x, y);
                unpainted += c == magenta;
                if (isSeal(c)) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        EXPECT_EQ(unpainted, 0);
        int across = right - left + 1;
        int down = bottom - top + 1;
        EXPECT_GT(across, client.x / 4);
        EXPECT_NEAR(across, down, 2 + across / 50);
        control->Destroy();
    }
    frame->Destroy();
}

// At twice the desktop scale (the test runs again with GDK_SCALE=2) the picture is drawn
// with the screen's pixels: twice the frame's size inside the margin, not an enlarged copy.
TEST(PictureCtrl, IsDrawnWithThePixelsOfTheScaleInUse)
{
    const int scale = DesktopScale();
    auto* frame = new wxFrame(nullptr, wxID_ANY, "pictures");
    auto* control = new CPictureCtrl(frame, 1039, wxPoint(0, 0), wxSize(300, 200));
    control->SetBitmap(130);
    EXPECT_EQ(control->GetContentScaleFactor(), scale);
    DrawControl(control);
    const wxSize client = control->GetClientSize();
    EXPECT_EQ(control->ScaledBitmap().GetWidth(), (client.x - 2) * scale);
    EXPECT_EQ(control->ScaledBitmap().GetHeight(), (client.y - 2) * scale);

    // In a frame the size of the picture's drawing for the scale in use (res/2x/ holds the
    // drawings at twice the size), every pixel shown is the drawing's own: not an
    // enlarged copy of the drawing for scale 1, which looks soft.
    const char* source = std::getenv("DELVORIN_SOURCE");
    ASSERT_NE(source, nullptr);
    CDib drawing;
    ASSERT_EQ(drawing.LoadFile(std::string(source) + (scale == 2 ? "/res/2x" : "/res") + "/bitmap130.bmp", false), 1);
    const wxImage expected = drawing.ToImage();
    control->SetClientSize(expected.GetWidth() / scale + 2, expected.GetHeight() / scale + 2);
    DrawControl(control);
    const wxImage shown = control->ScaledBitmap().ConvertToImage();
    ASSERT_EQ(shown.GetSize(), expected.GetSize());
    int differing = 0;
    for (int y = 0; y < shown.GetHeight(); ++y)
        for (int x = 0; x < shown.GetWidth(); ++x) {
            const wxColour a = PixelAt(shown, x, y), b = PixelAt(expected, x, y);
            differing += std::abs(a.Red() - b.Red()) + std::abs(a.Green() - b.Green()) +
                             std::abs(a.Blue() - b.Blue()) > 6;
        }
    EXPECT_EQ(differing, 0);
    frame->Destroy();
}

TEST(Splash, ShowsThePictureCentredAndClosesItselfAfterOneAndAHalfSeconds)
{
    CSplashWnd::EnableSplashScreen(true);
    auto* owner = new wxFrame(nullptr, wxID_ANY, "owner");
    CSplashWnd::ShowSplashScreen(owner);
    CSplashWnd* splash = CSplashWnd::Current();
    ASSERT_NE(splash, nullptr);
    EXPECT_EQ(splash->GetClientSize(), wxSize(520, 317));
    // At twice the desktop scale (the test runs again with GDK_SCALE=2) the picture drawn
    // at twice the size fills the window's screen pixels.
    const int scale = DesktopScale();
    EXPECT_EQ(splash->Bitmap().GetWidth(), 520 * scale);
    EXPECT_EQ(splash->Bitmap().GetHeight(), 317 * scale);
    EXPECT_EQ(splash->Bitmap().GetScaleFactor(), scale);
    wxRect screen = wxDisplay(0u).GetGeometry();
    EXPECT_EQ(splash->GetPosition(), wxPoint((screen.width - 520) / 2, (screen.height - 317) / 2));
    CSplashWnd::ShowSplashScreen(owner); // only one at a time
    EXPECT_EQ(CSplashWnd::Current(), splash);
    Pump(1200);
    EXPECT_EQ(CSplashWnd::Current(), splash);
    Pump(600);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
    owner->Destroy();
    CSplashWnd::EnableSplashScreen(false);
    CSplashWnd::ShowSplashScreen(nullptr);
    EXPECT_EQ(CSplashWnd::Current(), nullptr);
}
