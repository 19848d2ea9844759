#pragma once

// The first-install wizard's host over the program: the source values,
// texts, dialogs and progress window of the main context; the name list
// and the catalogue come over the state's transfer control (the catalogue
// through the context's fetch, which tests replace).

#include "app/MainCommands.h"
#include "catalogue/Retrieval.h"
#include "wizard/FirstInstall.h"

namespace znt {

class FirstInstallHost : public WizardHost {
public:
    explicit FirstInstallHost(MainContext& c) : c_(c) {}

    const AppTexts& Texts() const override;
    bool Closing() const override;
    WizardSource Source() override;
    ov::ProgressView& Progress() override;
    void ShowSource() override;
    void ShowInstallSelection() override;
    bool FetchNameList() override;
    bool FetchCatalogue() override;
    bool CatalogueUntrusted() const override;
    void Message(const std::string& text, ov::MsgIcon icon) override;
    bool ToggleLanguage() override;

    // The product names of the last fetched list.
    const NameTables& Names() const { return names_; }

private:
    MainContext& c_;
    NameTables names_;
};

// The wizard's Close: the program ends with exitCode once start-up returns.
// A transfer still running is cancelled and every waiting action returns
// quietly; nothing is saved.
void EndFromWizard(AppState& state, int exitCode);

}  // namespace znt
