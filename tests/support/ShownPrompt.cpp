#include "support/ShownPrompt.h"

const char* const kBuildCancelText = "If you cancel the Delvorin build process, the patch\nfile will not be "
                                     "created!\n\nDo you really want to cancel this process?";

testing::AssertionResult ShowedOnly(const CScriptedPrompt& prompt, const CShownPrompt& wanted)
{
    if (prompt.Shown().size() != 1)
        return testing::AssertionFailure() << prompt.Shown().size() << " messages shown, not one";
    const CPromptRecord& got = prompt.Shown()[0];
    if (got.text == wanted.text && got.title == wanted.title && (!wanted.buttons || got.buttons == *wanted.buttons) &&
        (!wanted.owner || got.owner == *wanted.owner) && (!wanted.icon || got.icon == *wanted.icon))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "shown \"" << got.title << "\": \"" << got.text << "\", buttons "
                                       << int(got.buttons) << ", owner " << int(got.owner) << ", icon " << int(got.icon)
                                       << "\nwanted \"" << wanted.title << "\": \"" << wanted.text << "\"";
}
