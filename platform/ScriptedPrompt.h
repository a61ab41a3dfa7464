// A user-prompt implementation that answers from a script and records every prompt
// shown: used by the tests to assert exact texts, titles, buttons and icons.
#pragma once
#include "platform/UserPrompt.h"
#include <deque>
#include <vector>

struct CPromptRecord {
    PromptOwner owner;
    std::string text;
    std::string title;
    PromptButtons buttons;
    PromptIcon icon;
};

class CScriptedPrompt : public IUserPrompt {
public:
    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title,
                     PromptButtons buttons, PromptIcon icon) override;

    // Answers are taken in order; when the script runs out, the default answer is given
    // (when it fits the buttons) or else the first button.
    void Script(PromptAnswer answer) { script_.push_back(answer); }
    void SetDefault(PromptAnswer answer) { default_ = answer; hasDefault_ = true; }
    const std::vector<CPromptRecord>& Shown() const { return shown_; }
    void Clear() { shown_.clear(); script_.clear(); }

private:
    std::deque<PromptAnswer> script_;
    std::vector<CPromptRecord> shown_;
    PromptAnswer default_ = PromptAnswer::OK;
    bool hasDefault_ = false;
};
