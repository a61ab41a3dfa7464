// The window of the apply program, in GTK 3 loaded at run time: the publisher and the
// publisher's text, the folder to update with Browse, the backup choice with its
// extension, Apply and Cancel; a progress window with Cancel while the patch is
// verified and applied; message boxes for questions; the success message with where
// the backups went, the errors list with whom to contact, or the failure.
#pragma once
#include "stub/GtkApplyProgress.h"
#include "stub/GtkLibrary.h"
#include "stub/StubUi.h"

#include <memory>
#include <string>
#include <vector>

class CGtkStubUi : public IStubUi {
public:
    CGtkStubUi() = default;
    ~CGtkStubUi() override;
    CGtkStubUi(const CGtkStubUi&) = delete;
    CGtkStubUi& operator=(const CGtkStubUi&) = delete;

    // Loads the toolkit and opens the display; false, with why set, when either fails.
    bool Start(const char* programName, std::string& why);

    PromptAnswer Ask(PromptOwner owner, const std::string& text, const std::string& title, PromptButtons buttons,
                     PromptIcon icon) override;
    bool AskFolder(const CStubIntro& intro, CStubChoice& choice) override;
    IApplyProgress& BeginProgress() override;
    void EndProgress() override;
    void ShowResult(const CStubResult& result) override;
    bool MayRetry() const override { return true; }

private:
    void BuildForm(const CStubIntro& intro, const CStubChoice& choice);
    GtkWidget* NewLabel(const std::string& text, bool wrap);
    void ShowErrors(const CStubResult& result);
    // A message box; backups, when there are any, are listed below the message.
    void ShowMessage(const std::string& text, const std::string& title, int type,
                     const std::vector<std::string>& backups = {});
    // The content in a sunken frame that scrolls.
    GtkWidget* Scrolled(GtkWidget* content);
    // Runs a dialog modally; a request to end the process closes it.
    int Run(GtkWidget* dialog);
    // Texts of the patch as the toolkit takes them (UTF-8; other bytes read as Latin-1).
    std::string Shown(const std::string& text) const;

    static void OnBrowse(GtkWidget* button, gpointer self);
    static void OnBackupToggled(GtkWidget* check, gpointer self);
    static gboolean OnTick(gpointer self);

    const CGtk* gtk_ = nullptr;
    std::unique_ptr<CGtkApplyProgress> progress_;
    GtkWidget* form_ = nullptr;
    GtkWidget* folder_ = nullptr;
    GtkWidget* backup_ = nullptr;
    GtkWidget* backupExt_ = nullptr;
    std::vector<GtkWidget*> running_;
};
