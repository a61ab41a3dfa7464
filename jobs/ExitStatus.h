// The exit statuses that delvorin-cli and the self-extracting apply program share, so a
// script that runs either reads the same numbers.
#pragma once

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNothingToDo = 3;   // build: identical folders; apply/verify: the target does not match
inline constexpr int kExitCancelled = 130;   // Ctrl-C; another signal gives 128 + its number
