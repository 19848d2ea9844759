#include "ui/qt/QtMessageSink.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

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

void Caption(QMessageBox& box, QMessageBox::StandardButton which, const std::string& label) {
    if (QAbstractButton* button = box.button(which); button && !label.empty()) {
        button->setText(QString::fromStdString(label));
    }
}

}  // namespace

ov::MsgButtonLabels QtMessageSink::CurrentLabels() const {
    return labels_ ? labels_() : ov::MsgButtonLabels{};
}

ov::MsgResult QtMessageSink::Show(const std::string& text, const std::string& title,
                                  ov::MsgIcon icon, ov::MsgButtons buttons) {
    QMessageBox box(IconOf(icon), QString::fromStdString(title), QString::fromStdString(text),
                    ButtonsOf(buttons), QApplication::activeWindow());
    const ov::MsgButtonLabels labels = CurrentLabels();
    Caption(box, QMessageBox::Ok, labels.ok);
    Caption(box, QMessageBox::Cancel, labels.cancel);
    Caption(box, QMessageBox::Yes, labels.yes);
    Caption(box, QMessageBox::No, labels.no);
    return ResultOf(box.exec());
}

std::optional<std::string> QtMessageSink::InputBox(const std::string& prompt,
                                                   const std::string& title) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(QString::fromStdString(title));
    dialog.setLabelText(QString::fromStdString(prompt));
    const ov::MsgButtonLabels labels = CurrentLabels();
    if (!labels.ok.empty()) dialog.setOkButtonText(QString::fromStdString(labels.ok));
    if (!labels.cancel.empty()) dialog.setCancelButtonText(QString::fromStdString(labels.cancel));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

}  // namespace znt
