#include "support/PeProgram.h"

#include <cstdint>
#include <cstring>

namespace {

void Set16(unsigned char* p, uint16_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Set32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

} // namespace

std::vector<unsigned char> MinimalPeProgram(size_t sectionBytes)
{
    constexpr uint32_t kFileAlignment = 0x200, kSectionAlignment = 0x1000;
    const uint32_t raw = static_cast<uint32_t>((sectionBytes + kFileAlignment - 1) / kFileAlignment * kFileAlignment);
    std::vector<unsigned char> pe(kFileAlignment + raw, 0);
    unsigned char* p = pe.data();
    p[0] = 'M';
    p[1] = 'Z';
    Set32(p + 0x3c, 0x40);
    std::memcpy(p + 0x40, "PE\0\0", 4);
    unsigned char* coff = p + 0x44;
    Set16(coff, 0x8664);  // x86-64
    Set16(coff + 2, 1);   // sections
    Set16(coff + 16, 240); // optional header size of PE32+ with 16 directories
    Set16(coff + 18, 0x22); // executable, large addresses
    unsigned char* opt = coff + 20;
    Set16(opt, 0x20b);
    Set32(opt + 4, raw);                 // size of code
    Set32(opt + 16, kSectionAlignment);  // entry point
    Set32(opt + 20, kSectionAlignment);  // base of code
    Set32(opt + 24, 0x40000000);         // image base 0x140000000
    Set32(opt + 28, 0x1);
    Set32(opt + 32, kSectionAlignment);
    Set32(opt + 36, kFileAlignment);
    Set16(opt + 40, 6);                  // operating system 6.0
    Set16(opt + 48, 6);                  // subsystem 6.0
    Set32(opt + 56, kSectionAlignment + (raw + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment);
    Set32(opt + 60, kFileAlignment);     // size of headers
    Set16(opt + 68, 3);                  // console
    Set32(opt + 72, 0x100000);           // stack reserve
    Set32(opt + 80, 0x1000);             // stack commit
    Set32(opt + 88, 0x100000);           // heap reserve
    Set32(opt + 96, 0x1000);             // heap commit
    Set32(opt + 108, 16);                // data directories
    unsigned char* section = opt + 240;
    std::memcpy(section, ".text", 5);
    Set32(section + 8, raw);
    Set32(section + 12, kSectionAlignment);
    Set32(section + 16, raw);
    Set32(section + 20, kFileAlignment);
    Set32(section + 36, 0x60000020); // code, executable, readable
    p[kFileAlignment] = 0xc3;         // ret
    return pe;
}
