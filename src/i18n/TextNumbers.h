#pragma once

// The number of every application-pack text the program shows, in one place.
// A pack line "<number>=<text>" fills AppTexts[number]; a text the pack lacks
// is empty (the unattended modes fill a few English fallbacks).

namespace znt {

// Program and common buttons.
inline constexpr int kTextTitle = 1;
inline constexpr int kTextAlreadyRunning = 4;
inline constexpr int kTextOk = 10;
inline constexpr int kTextCancel = 11;  // also the selection dialogs' Close
inline constexpr int kTextSelectAll = 15;
inline constexpr int kTextSelectNone = 16;
inline constexpr int kTextSelectInvert = 17;

// Main window.
inline constexpr int kTextSelectPrompt = 20;
inline constexpr int kTextInstallFrame = 24;
inline constexpr int kTextInstallLabel = 25;
inline constexpr int kTextUninstallFrame = 26;
inline constexpr int kTextUninstallLabel = 27;
// The language label and button: always read as Windows-1253 (LanguagePack.h).
inline constexpr int kTextLanguageLabel = 28;
inline constexpr int kTextLanguageButton = 29;
inline constexpr int kTextInstallConfirm = 124;    // also the main window's Install button
inline constexpr int kTextUninstallConfirm = 125;  // also the main window's Uninstall button

// Selection, download and removal.
inline constexpr int kTextInstallTitle = 200;
inline constexpr int kTextDownloadsCaption = 201;
inline constexpr int kTextDownloadsFrame = 202;
inline constexpr int kTextDownloadingTotal = 204;
inline constexpr int kTextFetchingArchive = 205;
inline constexpr int kTextInstallingTotal = 206;
inline constexpr int kTextUninstallTitle = 207;
inline constexpr int kTextRemovalFailed = 208;  // some file could not be removed
inline constexpr int kTextNothingToRemove = 210;

// Source dialog.
inline constexpr int kTextSourceTitle = 300;
inline constexpr int kTextSourceFrame = 301;
inline constexpr int kTextSourceInternet = 302;
inline constexpr int kTextSourceFolder = 303;
inline constexpr int kTextSourceFolderLabel = 304;  // also the folder picker's title
inline constexpr int kTextSourceBrowse = 305;
inline constexpr int kTextNoCatalogue = 306;  // followed by ": " and the folder

// Fetching and installing.
inline constexpr int kTextFetchFailed = 600;
inline constexpr int kTextFetchingInternet = 602;
inline constexpr int kTextSelectionFrame = 605;
inline constexpr int kTextTotalSize = 606;
inline constexpr int kTextOwnExecutableStaged = 609;
inline constexpr int kTextNothingToInstall = 610;
inline constexpr int kTextInstallFinished = 612;
inline constexpr int kTextReadingFolder = 614;
inline constexpr int kTextTransferStateBase = 620;  // + the transfer state, 1 to 12
// lblSpeed: "%1 KB/s", "%1 MB/s", "%1 left", "%1, %2" (rate, time left), and
// the decimal mark of the MB/s figure.
inline constexpr int kTextRateKilobytes = 640;
inline constexpr int kTextRateMegabytes = 641;
inline constexpr int kTextTimeLeft = 642;
inline constexpr int kTextRateAndTimeLeft = 643;
inline constexpr int kTextDecimalMark = 644;
inline constexpr int kTextCatalogueUntrusted = 650;  // a catalogue its signature refuses
inline constexpr int kTextArchiveUntrusted = 651;    // an archive the signed hash list refuses
// A run that ended with files not installed: one file, or "%1" files; "%2"
// is the install log.
inline constexpr int kTextOneFileNotInstalled = 652;
inline constexpr int kTextFilesNotInstalled = 653;
inline constexpr int kTextYes = 654;
inline constexpr int kTextNo = 655;
inline constexpr int kTextJournalNotWritten = 656;
inline constexpr int kTextInstallStopped = 657;
inline constexpr int kTextLockUnavailable = 660;  // no lock file for the installation

// First-install wizard.
inline constexpr int kTextWizardTitle = 700;
inline constexpr int kTextWizardStep1Frame = 701;
inline constexpr int kTextWizardStep1Label = 702;
inline constexpr int kTextWizardStep2Label = 703;
inline constexpr int kTextWizardClose = 710;
inline constexpr int kTextWizardNext = 711;
inline constexpr int kTextWizardStep2Frame = 712;
inline constexpr int kTextWizardStep3Label = 715;
inline constexpr int kTextWizardStep3Frame = 718;

}  // namespace znt
