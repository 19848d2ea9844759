#pragma once

// ApplyLanguageFont for Qt windows: "Verdana" 8, falling back to the
// platform's sans font where Verdana is not installed.

#include <QFont>

class QWidget;

namespace znt {

// The window font for a pack's character set.
QFont QtLanguageFont(int charset);

// Gives the window and every widget inside it the language font. A widget's
// own weight (a bold heading) is kept.
void ApplyLanguageFont(QWidget& window, int charset);

}  // namespace znt
