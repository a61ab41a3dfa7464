#include "engine/common/WindowsNames.h"

#include "engine/common/NameComponents.h"

#include <cstdint>
#include <unordered_map>

namespace {

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The code points of valid UTF-8 (no overlong forms, no surrogates); false for any other
// byte string, which Windows reads in the system code page instead.
bool DecodeUtf8(const std::string& text, std::u32string& out)
{
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= text.size())
            return false;
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out.push_back(cp);
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

void EncodeUtf8(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The capital of a small letter in the alphabets publishers' file names use.
char32_t UpperLetter(char32_t cp)
{
    if (cp >= 'a' && cp <= 'z')
        return cp - 0x20;
    if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) // Latin-1
        return cp - 0x20;
    if (cp == 0xFF)
        return 0x178;
    if (cp >= 0x100 && cp <= 0x17F) { // Latin Extended-A: capital and small side by side
        const bool capitalEven = cp <= 0x137 || (cp >= 0x14A && cp <= 0x177);
        const bool capitalOdd = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
        if (capitalEven && cp % 2 == 1 && cp != 0x131)
            return cp - 1;
        if (capitalOdd && cp % 2 == 0)
            return cp - 1;
        return cp;
    }
    if (cp >= 0x3B1 && cp <= 0x3C9 && cp != 0x3C2) // Greek
        return cp - 0x20;
    if (cp >= 0x430 && cp <= 0x44F) // Cyrillic
        return cp - 0x20;
    if (cp >= 0x450 && cp <= 0x45F)
        return cp - 0x50;
    return cp;
}

bool IsReservedDeviceName(const std::string& component)
{
    // The device names count whatever follows the first dot, and blanks before it.
    std::string base = component.substr(0, component.find('.'));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char& c : base)
        c = AsciiUpper(c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" || base == "CONOUT$")
        return true;
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    const std::string number = base.substr(3);
    // COM1 to COM9, and Windows also reserves the superscript digits one to three.
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

} // namespace

WindowsNameProblem WindowsNameProblemOf(const std::string& component)
{
    for (unsigned char c : component) {
        if (c >= 1 && c <= 31)
            return WindowsNameProblem::ControlCharacter;
        if (c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' || c == '*')
            return WindowsNameProblem::ForbiddenCharacter;
    }
    if (!component.empty() && (component.back() == '.' || component.back() == ' ') && component != "." &&
        component != "..")
        return WindowsNameProblem::TrailingDotOrBlank;
    if (IsReservedDeviceName(component))
        return WindowsNameProblem::Reserved;
    return WindowsNameProblem::None;
}

std::string WindowsNameProblemText(WindowsNameProblem problem)
{
    switch (problem) {
    case WindowsNameProblem::Reserved: return "a name Windows keeps for a device";
    case WindowsNameProblem::ForbiddenCharacter: return "holds one of < > : \" | ? *";
    case WindowsNameProblem::ControlCharacter: return "holds a control character";
    case WindowsNameProblem::TrailingDotOrBlank: return "ends in a dot or a blank";
    case WindowsNameProblem::None: break;
    }
    return "";
}

std::string WindowsCaseFold(const std::string& name)
{
    std::u32string points;
    std::string folded;
    if (!DecodeUtf8(name, points)) {
        for (char c : name)
            folded += AsciiUpper(c);
        return folded;
    }
    for (char32_t cp : points)
        EncodeUtf8(UpperLetter(cp), folded);
    return folded;
}

CWindowsNameReport FindWindowsNameProblems(const std::vector<std::string>& relativeNames)
{
    CWindowsNameReport report;
    // Every path and every folder above it, by its folded form: the first spelling met.
    std::unordered_map<std::string, std::string> seen;
    std::unordered_map<std::string, bool> pairReported;
    for (const std::string& relative : relativeNames) {
        const std::vector<std::string> parts = NameComponents(relative);
        bool unfit = false;
        std::string path, foldedPath;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (!unfit) {
                const WindowsNameProblem problem = WindowsNameProblemOf(parts[i]);
                if (problem != WindowsNameProblem::None) {
                    report.unfit.emplace_back(relative, problem);
                    unfit = true;
                }
            }
            path += (i ? "/" : "") + parts[i];
            foldedPath += (i ? "/" : "") + WindowsCaseFold(parts[i]);
            auto [it, added] = seen.emplace(foldedPath, path);
            if (!added && it->second != path && !pairReported[it->second + '\0' + path]) {
                pairReported[it->second + '\0' + path] = true;
                report.caseTwins.emplace_back(it->second, path);
            }
        }
    }
    return report;
}
