#include "install/DownloadView.h"

#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

#include <utility>

namespace znt {

void CancelButton::Press() {
    pressed_ = true;
    // A copy: the action may clear itself while it runs.
    if (auto action = action_) action();
}

void CancelButton::Reset() {
    pressed_ = false;
    action_ = nullptr;
}

void PrepareDownloadWindow(DownloadView& view, const AppTexts& texts) {
    view.SetText(DownloadControl::Window, texts[kTextDownloadsCaption]);
    view.SetText(DownloadControl::fmProgress, texts[kTextDownloadsFrame]);
    view.SetText(DownloadControl::lblTotal, texts[kTextDownloadingTotal]);
    view.SetText(DownloadControl::cmdCancel, texts[kTextCancel]);
    view.SetText(DownloadControl::lblCurrent, "");
    view.SetText(DownloadControl::lblResponse, "");
    view.SetText(DownloadControl::lblSpeed, "");
    view.SetValue(DownloadControl::PBAR, 0);
    view.SetValue(DownloadControl::PTOTAL, 0);
    view.SetEnabled(DownloadControl::cmdCancel, true);
    view.Cancel().Reset();
}

}  // namespace znt
