#pragma once

// A package list and a progress window that write every call, in order, to
// one journal, so that a test can check the order of list building steps
// (together with yields, when its yield hook writes to the same journal).

#include "OVShared/Modules/ProgressView.h"
#include "catalogue/PackageListView.h"

#include <string>
#include <vector>

namespace testsupport {

struct Journal {
    std::vector<std::string> events;
};

class RecordingListView : public znt::PackageListView {
public:
    explicit RecordingListView(Journal& j) : j_(j) {}
    void ClearRows() override { rows.clear(); }
    void AddRow(const std::string& text) override { rows.push_back(text); }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    void SetCurrentRow(int row) override { j_.events.push_back("current " + std::to_string(row)); }
    void SetListEnabled(bool on) override { j_.events.push_back(on ? "list on" : "list off"); }
    void SetListColours(znt::ListColour c) override {
        j_.events.push_back(c == znt::ListColour::Window ? "window colour" : "button colour");
    }
    void SetConfirmEnabled(bool on) override {
        j_.events.push_back(on ? "confirm on" : "confirm off");
    }
    std::vector<std::string> rows;

private:
    Journal& j_;
};

class RecordingProgress : public ov::NullProgressView {
public:
    explicit RecordingProgress(Journal& j) : j_(j) {}
    void SetBar(int v) override { j_.events.push_back("bar " + std::to_string(v)); }
    void Close() override { j_.events.push_back("close"); }

private:
    Journal& j_;
};

}  // namespace testsupport
