// The program's compiled-in pictures: each one the bitmap without its 14-byte file
// header, so the data starts at the 40-byte info header.
#pragma once
#include <cstddef>

struct CResourceData {
    const unsigned char* data = nullptr;
    size_t size = 0;
};

// Bitmap resource id (102, 130, 135, 137, 139, 140, 141, 142); empty when there is none.
CResourceData FindBitmapResource(int id);
// The same picture for a desktop scale: at 2 or more its drawing at twice the size
// (for frames with twice the pixels), else the one above.
CResourceData FindBitmapResource(int id, int scale);
// Icon resource id (128); empty when there is none.
CResourceData FindIconResource(int id);
