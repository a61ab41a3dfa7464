// gzip streams in memory, for tests that look inside patch files or make damaged ones.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Inflates a gzip stream; a stream that does not end whole fails the test.
std::vector<unsigned char> Gunzip(const unsigned char* data, size_t size);
std::vector<unsigned char> Gzip(const std::vector<unsigned char>& data);
// The patch image of a patch file that is neither split nor self-extracting: the gzip
// stream behind the 8-byte part prefix, inflated.
std::string PlainPatchImage(const std::string& patchFile);
