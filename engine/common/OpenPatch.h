// An opened patch file as the apply sees it: its name for the messages, and the way back
// to its first file record for the second pass. The patch document implements it.
#pragma once
#include <string>

class IOpenPatch {
public:
    virtual ~IOpenPatch() = default;
    virtual const std::string& PathName() const = 0;
    virtual bool RewindToFileRecords() = 0;
};
