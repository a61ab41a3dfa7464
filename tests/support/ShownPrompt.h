// The one message a step showed the user, checked in one assertion: the text and title
// always, the buttons, owner and icon where a test names them.
#pragma once
#include "platform/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>

struct CShownPrompt {
    CShownPrompt(std::string t, std::string ti, std::optional<PromptButtons> b = {}, std::optional<PromptOwner> o = {},
                 std::optional<PromptIcon> i = {})
        : text(std::move(t)), title(std::move(ti)), buttons(b), owner(o), icon(i)
    {
    }
    std::string text;
    std::string title;
    std::optional<PromptButtons> buttons;
    std::optional<PromptOwner> owner;
    std::optional<PromptIcon> icon;
};

// The question a build asks when its cancel button is pressed, written out here so
// that a change of the program's text shows.
extern const char* const kBuildCancelText;

// Success when the prompt showed exactly one message and it is the one wanted; else a
// failure that shows what was shown.
testing::AssertionResult ShowedOnly(const CScriptedPrompt& prompt, const CShownPrompt& wanted);
