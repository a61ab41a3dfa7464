#include "app/IniFile.h"

#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

std::string Lower(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && Lower(a) == Lower(b);
}

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool CIniFile::IsSectionHeader(const std::string& text, std::string& name)
{
    std::string t = Trim(text);
    if (t.empty() || t[0] != '[')
        return false;
    size_t close = t.find(']');
    name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

CIniFile::Line CIniFile::ParseLine(const std::string& text)
{
    Line line;
    line.text = text;
    size_t eq = text.find('=');
    if (eq != std::string::npos) {
        line.key = Trim(text.substr(0, eq));
        line.value = Trim(text.substr(eq + 1));
        line.isKey = !line.key.empty();
    }
    return line;
}

void CIniFile::IndexLine(Section& section, size_t index)
{
    const Line& line = section.lines[index];
    if (line.isKey)
        section.firstKey.emplace(Lower(line.key), index); // keeps the first of duplicates
}

void CIniFile::AddLine(const std::string& text)
{
    std::string name;
    if (IsSectionHeader(text, name)) {
        Section s;
        s.name = name;
        s.hasHeader = true;
        s.lines.push_back(Line{text, false, {}, {}}); // the header line itself
        sections_.push_back(std::move(s));
        return;
    }
    if (sections_.empty())
        sections_.push_back(Section{});
    Section& s = sections_.back();
    s.lines.push_back(ParseLine(text));
    IndexLine(s, s.lines.size() - 1);
}

void CIniFile::LoadText(const std::string& text)
{
    sections_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        AddLine(line);
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
}

bool CIniFile::Load(const std::string& path)
{
    std::vector<unsigned char> bytes;
    if (!fsys::ReadWholeFile(path, bytes)) {
        sections_.clear();
        return false;
    }
    LoadText(std::string(bytes.begin(), bytes.end()));
    return true;
}

std::string CIniFile::Text() const
{
    std::string out;
    for (const Section& s : sections_)
        for (const Line& line : s.lines)
            out += line.text + "\n";
    return out;
}

bool CIniFile::Save(const std::string& path) const
{
    const std::string text = Text();
    return fsys::WriteWholeFile(path, text.data(), text.size());
}

const CIniFile::Line* CIniFile::Find(const std::string& section, const std::string& key) const
{
    std::string lowerKey = Lower(Trim(key));
    std::string name = Trim(section);
    for (const Section& s : sections_) {
        if (!s.hasHeader || !EqualNoCase(s.name, name))
            continue;
        auto it = s.firstKey.find(lowerKey);
        if (it != s.firstKey.end())
            return &s.lines[it->second];
    }
    return nullptr;
}

bool CIniFile::HasKey(const std::string& section, const std::string& key) const
{
    return Find(section, key) != nullptr;
}

std::string CIniFile::GetString(const std::string& section, const std::string& key) const
{
    const Line* line = Find(section, key);
    if (!line)
        return std::string();
    return line->value.substr(0, kValueBufferSize - 1);
}

std::string CIniFile::GetWholeString(const std::string& section, const std::string& key) const
{
    const Line* line = Find(section, key);
    return line ? line->value : std::string();
}

std::vector<std::string> CIniFile::KeyNames(const std::string& section) const
{
    std::vector<std::string> names;
    std::unordered_map<std::string, bool> seen;
    const std::string name = Trim(section);
    for (const Section& s : sections_) {
        if (!s.hasHeader || !EqualNoCase(s.name, name))
            continue;
        for (const Line& line : s.lines)
            if (line.isKey && seen.emplace(Lower(line.key), true).second)
                names.push_back(line.key);
    }
    return names;
}

uint32_t CIniFile::GetInt(const std::string& section, const std::string& key) const
{
    return ParseNumber(GetString(section, key));
}

void CIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string name = Trim(section);
    const std::string keyName = Trim(key);
    const std::string lowerKey = Lower(keyName);
    Section* target = nullptr;
    for (Section& s : sections_) {
        if (s.hasHeader && EqualNoCase(s.name, name)) {
            target = &s;
            break;
        }
    }
    if (!target) {
        Section s;
        s.name = name;
        s.hasHeader = true;
        s.lines.push_back(Line{"[" + name + "]", false, {}, {}});
        sections_.push_back(std::move(s));
        target = &sections_.back();
    }

    auto existing = target->firstKey.find(lowerKey);
    if (existing != target->firstKey.end()) {
        Line& line = target->lines[existing->second];
        line.text = line.key + "=" + value;
        line.value = Trim(value);
    } else {
        // After the last line that is not blank, so a blank line that parts this section
        // from the next one stays where it is.
        size_t at = target->lines.size();
        while (at > 1 && Trim(target->lines[at - 1].text).empty())
            --at;
        target->lines.insert(target->lines.begin() + static_cast<std::ptrdiff_t>(at),
                             ParseLine(keyName + "=" + value));
        if (at + 1 == target->lines.size()) {
            IndexLine(*target, at);
        } else {
            target->firstKey.clear();
            for (size_t i = 0; i < target->lines.size(); ++i)
                IndexLine(*target, i);
        }
    }

    // A value holding a line break has become several lines of the file: read the
    // document again so that it answers exactly as the saved file will.
    if (value.find('\n') != std::string::npos)
        LoadText(Text());
}

uint32_t CIniFile::ParseNumber(const std::string& text)
{
    std::string t = text;
    if (t.empty())
        return 0;
    bool hex = t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X');
    size_t end = t.size();
    if (t[end - 1] == 'L' || t[end - 1] == 'l')
        --end;
    size_t begin = end;
    while (begin > 0 && DigitValue(t[begin - 1], hex) >= 0)
        --begin;
    uint32_t n = 0;
    for (size_t i = begin; i < end; ++i)
        n = n * (hex ? 16u : 10u) + static_cast<uint32_t>(DigitValue(t[i], hex));
    return n;
}
