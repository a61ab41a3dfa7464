#include "app/Profile.h"

#include "platform/FileSystem.h"

#include <cstdlib>
#include <vector>

namespace {

std::string Escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char n = s[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

CProfile::CProfile(const std::string& programName, const std::string& path)
    : path_(path.empty() ? DefaultPath(programName) : path)
{
}

std::string CProfile::DefaultPath(const std::string& programName)
{
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    return fsys::Join(fsys::Join(fsys::WithoutTrailingSlash(base), "Quenmark"), programName + ".ini");
}

void CProfile::Load()
{
    values_.clear();
    std::vector<unsigned char> bytes;
    fsys::ReadWholeFile(path_, bytes);
    const std::string text(bytes.begin(), bytes.end());
    std::string section;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        values_[section][Unescape(line.substr(0, eq))] = Unescape(line.substr(eq + 1));
    }
}

bool CProfile::Flush() const
{
    if (!fsys::CreateFolders(fsys::FolderOf(path_)))
        return false;
    std::string text;
    for (const auto& [section, keys] : values_) {
        text += '[' + section + "]\n";
        for (const auto& [key, value] : keys)
            text += Escape(key) + '=' + Escape(value) + '\n';
    }
    std::string tmp = path_ + ".new";
    if (!fsys::WriteWholeFile(tmp, text.data(), text.size()))
        return false;
    return fsys::RenameFile(tmp, path_);
}

const std::string* CProfile::Find(const std::string& section, const std::string& key) const
{
    auto s = values_.find(section);
    if (s == values_.end())
        return nullptr;
    auto k = s->second.find(key);
    return k == s->second.end() ? nullptr : &k->second;
}

int CProfile::GetInt(const std::string& section, const std::string& key, int def) const
{
    const std::string* v = Find(section, key);
    if (!v)
        return def;
    char* end = nullptr;
    long long n = std::strtoll(v->c_str(), &end, 10);
    if (end == v->c_str())
        return def;
    return static_cast<int>(static_cast<unsigned long long>(n) & 0xFFFFFFFFULL);
}

std::string CProfile::GetString(const std::string& section, const std::string& key, const std::string& def) const
{
    const std::string* v = Find(section, key);
    return v ? *v : def;
}

void CProfile::WriteInt(const std::string& section, const std::string& key, long long value)
{
    values_[section][key] = std::to_string(value);
}

void CProfile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    values_[section][key] = value;
}
