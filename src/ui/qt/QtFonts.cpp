#include "ui/qt/QtFonts.h"

#include "OVShared/Modules/modOVCoreFunctions.h"

#include <QFontDatabase>
#include <QWidget>

namespace znt {

QFont QtLanguageFont(int charset) {
    ov::FontSpec wanted = ov::LanguageFont(charset);
    // Qt picks glyphs by script, so the character set needs no setting of
    // its own; the fall-back families cover Greek.
    QFont font;
    font.setFamilies({QString::fromStdString(wanted.family), QStringLiteral("DejaVu Sans"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setPointSize(wanted.pointSize);
    return font;
}

void ApplyLanguageFont(QWidget& window, int charset) {
    QFont font = QtLanguageFont(charset);
    window.setFont(font);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        QFont own = font;
        own.setBold(child->font().bold());
        child->setFont(own);
    }
}

}  // namespace znt
