#pragma once

// frmZNT_Source: where the packages come from, the update server or a local
// folder such as a CD. It edits the program's source values in place and
// sets SourceConfirmed only on OK; Cancel leaves SourceConfirmed as the
// caller set it (a folder picked with Browse stays picked).

#include "i18n/LanguagePack.h"
#include "install/SourceChoice.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace znt {

// Asks for a folder: owner, title, the folder to start in. Nothing when the
// user cancelled.
using FolderBrowser =
    std::function<std::optional<std::string>(QWidget*, const QString&, const std::string&)>;

// The system's folder browser: folders only, no new-folder button.
std::optional<std::string> BrowseForFolder(QWidget* owner, const QString& title,
                                           const std::string& start);

class frmZNT_Source : public QDialog {
    Q_OBJECT
public:
    frmZNT_Source(SourceValues values, const AppTexts& texts, const std::string& appFolder,
                  QWidget* owner = nullptr, FolderBrowser browse = BrowseForFolder);

private:
    void BuildControls();
    void Form_Load();
    void SetCaptions();
    void UpdateEnabledState();
    void cmdBrowse_Click();
    void cmdOk_Click();

    SourceValues values_;
    const AppTexts& texts_;
    std::string appFolder_;
    FolderBrowser browse_;

    QGroupBox* fmSettings;
    QButtonGroup* Option1;
    QRadioButton* Option1_0;
    QRadioButton* Option1_1;
    QLabel* lblSource;
    QLabel* lblDir;
    QPushButton* cmdBrowse;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    QLabel* Picture1;
};

}  // namespace znt
