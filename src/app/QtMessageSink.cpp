#include "app/QtMessageSink.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

namespace znt {
namespace {

QMessageBox::Icon IconOf(ov::MsgIcon icon) {
    switch (icon) {
    case ov::MsgIcon::Critical: return QMessageBox::Critical;
    case ov::MsgIcon::Exclamation: return QMessageBox::Warning;
    case ov::MsgIcon::Information: return QMessageBox::Information;
    case ov::MsgIcon::Question: return QMessageBox::Question;
    case ov::MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ButtonsOf(ov::MsgButtons buttons) {
    switch (buttons) {
    case ov::MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case ov::MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case ov::MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case ov::MsgButtons::Ok: break;
    }
    return QMessageBox::Ok;
}

ov::MsgResult ResultOf(int button) {
    switch (button) {
    case QMessageBox::Yes: return ov::MsgResult::Yes;
    case QMessageBox::No: return ov::MsgResult::No;
    case QMessageBox::Cancel: return ov::MsgResult::Cancel;
    default: return ov::MsgResult::Ok;
    }
}

}  // namespace

ov::MsgResult QtMessageSink::Show(const std::string& text, const std::string& title,
                                  ov::MsgIcon icon, ov::MsgButtons buttons) {
    QMessageBox box(IconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
                    ButtonsOf(buttons), QApplication::activeWindow());
    return ResultOf(box.exec());
}

std::optional<std::string> QtMessageSink::InputBox(const std::string& prompt,
                                                   const std::string& title) {
    bool ok = false;
    QString answer = QInputDialog::getText(QApplication::activeWindow(),
                                           QString::fromStdString(title),
                                           QString::fromStdString(prompt), QLineEdit::Normal,
                                           QString(), &ok);
    if (!ok) return std::nullopt;
    return answer.toStdString();
}

}  // namespace znt
