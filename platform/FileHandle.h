// An open file of the system as the engine hands it around. It names the file and does
// not own it: whoever opened it closes it (fsys::CloseFile). Only the platform's own
// implementation looks at the system's number inside.
#pragma once

class CFileRef {
public:
    constexpr CFileRef() = default;
    constexpr explicit CFileRef(int native) : native_(native) {}
    bool Valid() const { return native_ >= 0; }
    int Native() const { return native_; }

private:
    int native_ = -1;
};
