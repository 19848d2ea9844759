// The program's message and input boxes as a user sees them: their standard
// buttons speak the interface's language, taken from the shipped packs.

#include "ui/qt/QtMessageSink.h"
#include "i18n/LanguagePack.h"
#include "support/AppFakes.h"
#include "support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <string>
#include <vector>

namespace znt {
namespace {

// Once the next modal box is open: records its button captions, sorted,
// and clicks the one captioned press.
void AnswerNextBox(std::vector<std::string>& captions, const std::string& press) {
    QTimer::singleShot(0, [&captions, press] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QAbstractButton* pressed = nullptr;
        captions.clear();
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            captions.push_back(button->text().toStdString());
            if (captions.back() == press) pressed = button;
        }
        std::sort(captions.begin(), captions.end());
        if (pressed) {
            pressed->click();
        } else {
            box->close();
        }
    });
}

TEST(QtMessageSink, StandardButtonsAreCaptionedInTheCurrentLanguage) {
    testsupport::EnsureQApplication();
    const std::string stage = apptest::BuildFolder() + "/stage";
    AppTexts texts;
    if (LoadLanguagePack(texts, stage, "GREEK.LNG") != PackLoadResult::Ok) {
        GTEST_SKIP() << "no staged build";
    }
    QtMessageSink sink;
    sink.SetButtonLabels([&texts] { return MessageButtonLabels(texts); });
    std::vector<std::string> captions;

    AnswerNextBox(captions, "Όχι");
    EXPECT_EQ(sink.Show("Συνέχεια;", "Τίτλος", ov::MsgIcon::Question, ov::MsgButtons::YesNoCancel),
              ov::MsgResult::No);
    EXPECT_EQ(captions, (std::vector<std::string>{"Άκυρο", "Όχι", "Ναι"}));  // byte order

    AnswerNextBox(captions, "Εντάξει");
    EXPECT_EQ(sink.Show("Κείμενο", "Τίτλος", ov::MsgIcon::Exclamation, ov::MsgButtons::OkCancel),
              ov::MsgResult::Ok);
    EXPECT_EQ(captions, (std::vector<std::string>{"Άκυρο", "Εντάξει"}));

    AnswerNextBox(captions, "Άκυρο");
    EXPECT_EQ(sink.InputBox("Κωδικός", "Τίτλος"), std::nullopt);
    EXPECT_EQ(captions, (std::vector<std::string>{"Άκυρο", "Εντάξει"}));

    // After a switch to English the next box follows it.
    ASSERT_EQ(LoadLanguagePack(texts, stage, "English.lng"), PackLoadResult::Ok);
    AnswerNextBox(captions, "Yes");
    EXPECT_EQ(sink.Show("Go on?", "Title", ov::MsgIcon::Question, ov::MsgButtons::YesNo),
              ov::MsgResult::Yes);
    EXPECT_EQ(captions, (std::vector<std::string>{"No", "Yes"}));
}

}  // namespace
}  // namespace znt
