#pragma once

// Small helpers the program's windows share: UTF-8 texts into Qt, and
// controls created under the names that the window's code and its tests use.

#include <QPushButton>
#include <QString>

#include <string>

namespace znt {

inline QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

// A push button with the windows' common minimum width.
inline QPushButton* MakeButton(const char* name, QWidget* parent) {
    constexpr int kButtonWidth = 96;
    auto* button = Named(new QPushButton(parent), name);
    button->setMinimumWidth(kButtonWidth);
    return button;
}

}  // namespace znt
