// The graphical program's answer to the engine's questions: a real message box with
// the exact text, title, buttons and icon, owned by the progress dialog while one is up
// or else by the main window.
#pragma once
#include "platform/UserPrompt.h"

class CWxPrompt : public IUserPrompt {
public:
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons, PromptIcon icon) override;
};

// The message-box style for the buttons and icon.
long MessageBoxStyle(PromptButtons buttons, PromptIcon icon);
// The answer for a message box's return code.
PromptAnswer AnswerFromReturnCode(int code);

// A plain message with the application's own title and an OK button, asked through the
// application core (so tests see it in their script).
void ShowAppMessage(const std::string& text);
