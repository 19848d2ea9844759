#include "OVShared/Modules/modOVCoreFunctions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the list saw, so that the hide-walk-show order is visible.
class FakeList : public ov::MultiSelectList {
public:
    explicit FakeList(std::vector<bool> sel) : sel_(std::move(sel)) {}
    int count() const override { return static_cast<int>(sel_.size()); }
    bool selected(int i) const override { return sel_.at(static_cast<size_t>(i)); }
    void setSelected(int i, bool on) override {
        log += visible_ ? "!" : "";
        sel_.at(static_cast<size_t>(i)) = on;
        current_ = i;  // as a list widget moves its current item
    }
    int currentIndex() const override { return current_; }
    void setCurrentIndex(int i) override { current_ = i; }
    void setVisible(bool v) override {
        visible_ = v;
        log += v ? "show;" : "hide;";
    }

    std::vector<bool> sel_;
    int current_ = 1;
    bool visible_ = true;
    std::string log;
};

}  // namespace

TEST(ListRoutines, SelectInvertAndClearEveryItem) {
    FakeList list({true, false, false, true});
    ov::InvertSelection(list);
    EXPECT_EQ(list.sel_, (std::vector<bool>{false, true, true, false}));
    ov::SelectAllItems(list);
    EXPECT_EQ(list.sel_, (std::vector<bool>{true, true, true, true}));
    ov::SelectNoItems(list);
    EXPECT_EQ(list.sel_, (std::vector<bool>{false, false, false, false}));
}

TEST(ListRoutines, HideTheListWhileWalkingAndGiveTheCurrentItemBack) {
    FakeList list({false, false, false});
    ov::SelectAllItems(list);
    EXPECT_EQ(list.log, "hide;show;");  // no item changed while visible
    EXPECT_EQ(list.currentIndex(), 1);
    EXPECT_TRUE(list.visible_);
}

TEST(ListRoutines, AnEmptyListIsLeftAlone) {
    FakeList list({});
    list.current_ = -1;
    ov::InvertSelection(list);
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_TRUE(list.visible_);
}

TEST(LanguageFont, IsVerdanaEightWithThePackCharacterSet) {
    ov::FontSpec greek = ov::LanguageFont(161);
    EXPECT_EQ(greek.family, "Verdana");
    EXPECT_EQ(greek.pointSize, 8);
    EXPECT_EQ(greek.charset, 161);
    EXPECT_EQ(ov::LanguageFont(0).charset, 0);
}
