// Finding the patch inside a self-extracting patch program: the marker that stands
// directly behind the apply stub's own bytes.
#pragma once
#include <cstdint>
#include <string>

// Finds the marker of the self-extracting patch program `program`; on success
// markerOffset is the offset of the marker's first byte (the part prefix follows it).
// An ELF stub's own image ends at the end of its section header table or of the last
// file range of its program headers, whichever is further; the marker must stand there.
// A PE stub's own image ends at the end of its last section; a signed program carries its
// certificate table behind the patch. Any other stub is searched for the first marker
// followed by a plausible part prefix and the start of a gzip stream or a compact image.
bool FindSelfExtractPayload(const std::string& program, uint64_t& markerOffset);
// The same; payloadEnd receives where the patch bytes of this file end: the end of the
// file, or for a signed PE program the start of its certificate table (as near to the
// patch's own end as the part prefix or a compact image tell).
bool FindSelfExtractPayload(const std::string& program, uint64_t& markerOffset, uint64_t& payloadEnd);
