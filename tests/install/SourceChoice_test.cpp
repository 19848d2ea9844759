#include "install/SourceChoice.h"

#include <gtest/gtest.h>

namespace znt {
namespace {

TEST(SourceChoiceTest, FolderIsCompletedWithSetupOnceWhateverTheCase) {
    EXPECT_EQ(CompleteSourceFolder("D:\\Packages"), "D:\\Packages\\SETUP");
    EXPECT_EQ(CompleteSourceFolder("D:\\setup\\x"), "D:\\setup\\x");
    EXPECT_EQ(CompleteSourceFolder(CompleteSourceFolder("D:\\Packages")), "D:\\Packages\\SETUP");
    EXPECT_EQ(CompleteSourceFolder("E:\\"), "E:\\\\SETUP");
    EXPECT_EQ(CompleteSourceFolder("/media/cdrom"), "/media/cdrom\\SETUP");
}

TEST(SourceChoiceTest, ConfirmingTheInternetChoiceStillCompletesTheFolder) {
    SourceAnswer internet = ConfirmSource(true, "C:\\Apps");
    EXPECT_TRUE(internet.SourceIsInternet);
    EXPECT_EQ(internet.SourceFolder, "C:\\Apps\\SETUP");
    EXPECT_FALSE(ConfirmSource(false, "C:\\Apps").SourceIsInternet);
}

}  // namespace
}  // namespace znt
