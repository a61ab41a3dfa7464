// The per-user profile: named sections of integer and string values kept in a file
// under the XDG config folder ($XDG_CONFIG_HOME, else ~/.config), in the folder of the
// company key "Quenmark" and the program's name. Values are escaped so that line
// breaks and backslashes round-trip; a missing key yields the caller's default.
#pragma once
#include <map>
#include <string>

class CProfile {
public:
    // An empty path means the standard place for the given program name.
    explicit CProfile(const std::string& programName = "delvorin", const std::string& path = "");

    static std::string DefaultPath(const std::string& programName);
    const std::string& Path() const { return path_; }

    // Reads the file; a missing or unreadable file leaves the profile empty.
    void Load();
    // Writes the file (creating its folders); false when it could not be written.
    bool Flush() const;

    int GetInt(const std::string& section, const std::string& key, int def) const;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;
    // Writing changes the profile in memory; Flush puts it on disk.
    void WriteInt(const std::string& section, const std::string& key, long long value);
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    const std::string* Find(const std::string& section, const std::string& key) const;
    std::string path_;
    std::map<std::string, std::map<std::string, std::string>> values_;
};
