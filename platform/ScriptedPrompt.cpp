#include "platform/ScriptedPrompt.h"

static bool Fits(PromptAnswer a, PromptButtons b)
{
    switch (b) {
    case PromptButtons::OK: return a == PromptAnswer::OK;
    case PromptButtons::OKCancel: return a == PromptAnswer::OK || a == PromptAnswer::Cancel;
    case PromptButtons::YesNo: return a == PromptAnswer::Yes || a == PromptAnswer::No;
    }
    return false;
}

PromptAnswer CScriptedPrompt::Ask(PromptOwner owner, const std::string& text, const std::string& title,
                                  PromptButtons buttons, PromptIcon icon)
{
    shown_.push_back({owner, text, title, buttons, icon});
    if (!script_.empty()) {
        PromptAnswer a = script_.front();
        script_.pop_front();
        return a;
    }
    if (hasDefault_ && Fits(default_, buttons))
        return default_;
    return buttons == PromptButtons::YesNo ? PromptAnswer::Yes : PromptAnswer::OK;
}
