// The file record of the compact patch format: its writer and its reader, which checks
// every length and size against the record and the image before anything uses them.
#pragma once

class CFilePatch;

// Appends the record (with its packed delta) at the patch image's position.
bool WriteCompactRecord(CFilePatch& record);
// Reads one record at the image's position; the packed streams are passed over and
// their positions noted. Shows why a damaged record is refused.
bool ReadCompactRecord(CFilePatch& record);
