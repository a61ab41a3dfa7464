// A small Windows program file (PE32+, one code section) made byte by byte, for the tests
// of self-extracting programs for Windows: it stands in for the Windows apply program
// where the cross compiler is not installed, and is complete enough to be signed.
#pragma once
#include <cstddef>
#include <vector>

// The program with a code section of sectionBytes (rounded up to 512) raw bytes; its image
// ends at 512 + that size.
std::vector<unsigned char> MinimalPeProgram(size_t sectionBytes = 512);
