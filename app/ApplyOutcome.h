// What an apply that stopped before its end (cancelled, or failed after the
// verification) tells the user: how many files it updated, and that every other file is
// as it was, so that applying the patch again finishes the job.
#pragma once
#include <string>

// again names the way to apply again, for example "Running this program again".
std::string UnfinishedApplyText(int filesUpdated, const std::string& again);

// How the graphical program names applying again.
inline constexpr char kApplyAgain[] = "Applying the patch again";
// The first line of the message after a cancelled apply.
inline constexpr char kApplyCancelledText[] = "The apply was cancelled.";
