#pragma once

// The main window's load: the steps from the process start to either the
// main window or a launch mode's end. Each step is a small function over
// the state; the sequence runs them in order (OVShared/Modules/StepRunner.h).
// A step that throws is skipped and the load goes on, except the staged-copy
// mode and the single-instance lock, whose throw ends the start.

#include "app/MainCommands.h"

#include <optional>
#include <string>
#include <string_view>

namespace znt {

// "ENGLISH" or "GREEK": the shared pack's language for the setting.
std::string SharedPackLanguage(std::string_view languageSetting);

// What the load decided.
struct LoadOutcome {
    bool showMainWindow = false;
    int exitCode = kExitOk;  // when the program ends instead
};

// Runs every step of the load in order. The main window shows when
// showMainWindow is set; otherwise the program ends with exitCode.
LoadOutcome LoadMainWindow(MainContext& c);

// A step: nothing to go on, an exit code to end the program.
using StepResult = std::optional<int>;

// The steps, in the order LoadMainWindow runs them.
StepResult StepStagedCopyMode(MainContext& c);
StepResult StepLanguageFromCommandLine(MainContext& c);
StepResult StepApplicationFolder(MainContext& c);
StepResult StepCacheFolder(MainContext& c);
StepResult StepRecoverInstall(MainContext& c);
StepResult StepStagedExecutable(MainContext& c);
StepResult StepPackageSource(MainContext& c);
StepResult StepLanguagePack(MainContext& c);
StepResult StepSettings(MainContext& c);
StepResult StepCaptions(MainContext& c);
StepResult StepSharedPack(MainContext& c);
StepResult StepTitle(MainContext& c);
StepResult StepSingleInstance(MainContext& c);
StepResult StepIcon(MainContext& c);
StepResult StepLaunchMode(MainContext& c);

// The "UPDATE" mode: fetch, install selection, save, end. The exit code. A
// failed fetch shows text 600, or 650 for a catalogue refused by its signature.
int RunUpdateMode(MainContext& c);

}  // namespace znt
