// The objects of a record read again from the patch image, one after the other, for a
// record that keeps too many of them to hold in memory: old copies first, then new
// data, in the record's order. The reader of the record has checked every one of them
// already; the stream only reads them back through a buffer of its own.
#pragma once
#include "platform/FileHandle.h"
#include "engine/common/CFilePatch.h"

#include <cstdint>
#include <vector>

class CObjectStream {
public:
    CObjectStream(CFileRef imageFd, uint64_t position) : fd_(imageFd), position_(position) {}
    bool NextOld(COldPatch& object);
    bool NextNew(CNewPatch& object);

private:
    const unsigned char* Take(size_t size);
    CFileRef fd_;
    uint64_t position_;          // of the next object in the image
    std::vector<unsigned char> buffer_;
    uint64_t bufferStart_ = 0;   // image position of buffer_[0]
};

// Calls old(object) for every old copy and then added(index, object) for every new-data
// object of the record, from memory or read again from the image. False when the image
// cannot be read or a call returns false.
template <class OldFn, class NewFn>
bool ForEachObject(const CFilePatch& record, CFileRef imageFd, OldFn&& old, NewFn&& added)
{
    if (!record.objectsStreamed) {
        for (const COldPatch& o : record.oldPatches)
            if (!old(o))
                return false;
        for (size_t i = 0; i < record.newPatches.size(); ++i)
            if (!added(i, record.newPatches[i]))
                return false;
        return true;
    }
    CObjectStream stream(imageFd, record.objectsPosition);
    COldPatch o;
    for (uint32_t i = 0; i < record.oldCopyCount; ++i)
        if (!stream.NextOld(o) || !old(o))
            return false;
    CNewPatch n;
    for (uint32_t i = 0; i < record.newDataCount; ++i)
        if (!stream.NextNew(n) || !added(size_t{i}, n))
            return false;
    return true;
}
