// Finding the patch inside a self-extracting patch program: the marker that stands
// directly behind the apply stub's own bytes.
#pragma once
#include <cstdint>
#include <string>

// Finds the marker of the self-extracting patch program `program`; on success
// markerOffset is the offset of the marker's first byte (the part prefix follows it).
// An ELF stub's own image ends at the end of its section header table or of the last
// file range of its program headers, whichever is further; the marker must stand there.
// Any other stub is searched for the first marker followed by a plausible part prefix
// and the start of a gzip stream or a compact image.
bool FindSelfExtractPayload(const std::string& program, uint64_t& markerOffset);
