// Text files compared line by line in tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The lines of a text, each without its "\n". A last line that lacks its "\n" is marked
// with "<no line end>" so that a comparison shows it.
std::vector<std::string> SplitLines(const std::string& text);

// Whether text holds part, with the whole text in the message.
testing::AssertionResult Contains(const std::string& text, const std::string& part);
