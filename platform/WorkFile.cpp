#include "platform/WorkFile.h"

#include "platform/FileSystem.h"

#include <cerrno>

namespace {

constexpr int kTries = 1000;

// The preferred name with "-n" before its extension (or at its end): TempFile-2.tmp.
std::string NumberedName(const std::string& path, int n)
{
    const size_t slash = path.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start)
        dot = path.size();
    return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

} // namespace

CWorkFile::~CWorkFile()
{
    Remove();
}

bool CWorkFile::Create(const std::string& preferredPath, CBinFile& file)
{
    Remove();
    for (int n = 1; n <= kTries; ++n) {
        const std::string name = n == 1 ? preferredPath : NumberedName(preferredPath, n);
        if (file.Open(name, CBinFile::Mode::CreateNew)) {
            path_ = name;
            onSignal_ = std::make_unique<CRemoveOnSignal>(name);
            return true;
        }
        // Only a name in use is worth another try; anything else fails every name.
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool CWorkFile::MoveTo(const std::string& target)
{
    if (path_.empty() || !fsys::RenameFile(path_, target))
        return false;
    path_.clear();
    onSignal_.reset();
    return true;
}

void CWorkFile::Remove()
{
    if (!path_.empty())
        fsys::DeleteFile(path_);
    path_.clear();
    onSignal_.reset();
}
