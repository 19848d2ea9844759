#pragma once

// The one QApplication of a window-test program, made on first use.

#include <QApplication>

namespace testsupport {

inline void EnsureQApplication() {
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

}  // namespace testsupport
