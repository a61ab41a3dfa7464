// The C++ runtime's terminate handler prints the type of an exception that nobody caught,
// demangled; the demangler it brings for that is about 50 KB of the program that
// every self-extracting patch carries. The apply program catches what it throws, so it
// brings this stand-in instead: the name is printed as it is stored.
#include <cstddef>

extern "C" char* __cxa_demangle(const char*, char*, size_t*, int* status)
{
    if (status)
        *status = -2; // "not a valid name": the caller prints the stored name
    return nullptr;
}
