// The program's string table: the user-facing texts that windows and messages load by
// number (101 to 130).
#pragma once
#include <string>

// The text of string id, or "" when the table has no text under that number.
const std::string& LoadString(int id);
