// The one way the engine asks or tells the user something: a message box that the
// graphical program shows as a real window, the command-line program on the terminal,
// and the tests from a script.
#pragma once
#include <string>

enum class PromptOwner { MainWindow, ProgressDialog };
enum class PromptButtons { OK, OKCancel, YesNo };
enum class PromptIcon { None, Stop, Question, Warning };
enum class PromptAnswer { OK, Cancel, Yes, No };

class IUserPrompt {
public:
    virtual ~IUserPrompt() = default;
    virtual PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                             PromptButtons buttons, PromptIcon icon) = 0;
};

// The answer that changes nothing and stops nothing dangerous: OK for a plain message,
// Cancel for OK/Cancel, Yes for the engine's Yes/No questions (they all ask whether to
// stop or abort).
PromptAnswer SafeAnswer(PromptButtons buttons);
