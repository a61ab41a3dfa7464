#include "support/ShownPrompt.h"

const char* const kBuildCancelText = "If you cancel the Delvorin build process, the patch\nfile will not be "
                                         "created!\n\nDo you really want to cancel this process?";

testing::AssertionResult ShowedOnly(const CScriptedPrompt& prompt, const CShownPrompt& wanted)
{
    if (prompt.Shown().size() != 1) {
        auto failure = testing::AssertionFailure() << prompt.Shown().size() << " messages shown, not one";
        for (const CPromptRecord& r : prompt.Shown())
            failure << "\n  \"" << r.text << "\"";
        return failure;
    }
    const CPromptRecord& got = prompt.Shown()[0];
    bool same = got.text == wanted.text && got.title == wanted.title;
    auto failure = testing::AssertionFailure();
    if (got.text != wanted.text)
        failure << "\ntext:  \"" << got.text << "\"\nwanted \"" << wanted.text << "\"";
    if (got.title != wanted.title)
        failure << "\ntitle: \"" << got.title << "\", wanted \"" << wanted.title << "\"";
    if (wanted.buttons && got.buttons != *wanted.buttons) {
        same = false;
        failure << "\nbuttons " << static_cast<int>(got.buttons) << ", wanted " << static_cast<int>(*wanted.buttons);
    }
    if (wanted.owner && got.owner != *wanted.owner) {
        same = false;
        failure << "\nowner " << static_cast<int>(got.owner) << ", wanted " << static_cast<int>(*wanted.owner);
    }
    if (wanted.icon && got.icon != *wanted.icon) {
        same = false;
        failure << "\nicon " << static_cast<int>(got.icon) << ", wanted " << static_cast<int>(*wanted.icon);
    }
    return same ? testing::AssertionSuccess() : failure;
}
