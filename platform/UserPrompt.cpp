#include "platform/UserPrompt.h"

PromptAnswer SafeAnswer(PromptButtons buttons)
{
    switch (buttons) {
    case PromptButtons::OK: return PromptAnswer::OK;
    case PromptButtons::OKCancel: return PromptAnswer::Cancel;
    case PromptButtons::YesNo: return PromptAnswer::Yes;
    }
    return PromptAnswer::OK;
}
