#include "Aplist.h"
#include "AplistTestSupport.h"
#include "MessageBox.h"
#include "TestEnv.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>

#include <gtest/gtest.h>

#include <filesystem>

using aplist_test::storedValue;
using kavo::ui::Icon;
using kavo::ui::MessageBox;

namespace {

using Rows = std::vector<std::pair<std::string, std::optional<std::string>>>;

class AplistTest : public ::testing::Test {
protected:
    void SetUp() override { MessageBox::clearShown(); }
    void TearDown() override { MessageBox::clearShown(); }

    // Fills the list (the not-found entry when `rows` is empty) and shows
    // the dialog as the search does, modeless so the test can drive it.
    void open(const Rows& rows)
    {
        d.ClearList();
        if (rows.empty())
            d.AddNotFoundEntry();
        for (const auto& [address, version] : rows)
            d.AddRow(address, version);
        d.show();
        QApplication::setActiveWindow(&d);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
    }
    QLineEdit* memo(int i) const { return std::array{d.Memo1, d.Memo2, d.Memo3, d.Memo4}[i]; }
    void setFields(const std::array<const char*, 4>& texts)
    {
        for (int i = 0; i < 4; ++i)
            memo(i)->setText(texts[i]);
    }
    // Types each character into whatever control has the focus then.
    static void type(const QString& keys)
    {
        for (QChar c : keys) {
            QWidget* w = QApplication::focusWidget();
            ASSERT_TRUE(w);
            if (c == '\b')
                QTest::keyClick(w, Qt::Key_Backspace);
            else
                QTest::keyClick(w, c.toLatin1());
        }
    }
    static std::string focused()
    {
        QWidget* w = QApplication::focusWidget();
        return w ? w->objectName().toStdString() : "";
    }

    kavo::test::IsolatedEnv env;
    TFormAPList d;
};

// --- typing into the octet fields -------------------------------------------

struct TypingCase {
    const char* name;
    int field;
    const char* preset;
    int selStart, selLength;  // selLength < 0: nothing selected, cursor at the end
    const char* keys;
    const char* text;   // the field's text afterwards
    int focus;          // the field with the focus afterwards
};

void PrintTo(const TypingCase& c, std::ostream* os) { *os << c.name; }

class AplistTypingTest : public AplistTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(AplistTypingTest, KeysClampsAndFocusMoves)
{
    const TypingCase& c = GetParam();
    open({});  // manual mode
    setFields({"7", "7", "7", "7"});
    memo(c.field)->setText(c.preset);
    memo(c.field)->setFocus();
    if (c.selLength >= 0)
        memo(c.field)->setSelection(c.selStart, c.selLength);
    else
        memo(c.field)->end(false);
    type(c.keys);

    EXPECT_EQ(memo(c.field)->text(), c.text);
    EXPECT_EQ(focused(), "Memo" + std::to_string(c.focus + 1));
    if (c.focus != c.field) {
        EXPECT_EQ(memo(c.focus)->selectedText(), "7") << "the next field's whole text is selected";
        EXPECT_EQ(memo(c.focus)->text(), "7");
    }
    EXPECT_TRUE(MessageBox::shown().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AplistTypingTest,
    ::testing::Values(TypingCase{"ZeroInFirstBecomesOne", 0, "", 0, -1, "0", "1", 0},
                      TypingCase{"ThreeHundredInSecondBecomes255", 1, "", 0, -1, "300", "255", 2},
                      TypingCase{"TwoFiftySixInFirstBecomes223", 0, "", 0, -1, "256", "223", 1},
                      TypingCase{"OneNineTwoMovesOn", 0, "", 0, -1, "192", "192", 1},
                      TypingCase{"DotAfterTenMovesOn", 1, "", 0, -1, "10.", "10", 2},
                      TypingCase{"SpaceAfterADigitMovesOn", 2, "", 0, -1, "5 ", "5", 3},
                      TypingCase{"DotInEmptyFieldIsDropped", 0, "", 0, -1, ".", "", 0},
                      TypingCase{"SpaceInEmptyFieldIsDropped", 1, "", 0, -1, " ", "", 1},
                      TypingCase{"LettersAreDropped", 0, "", 0, -1, "1a-2", "12", 0},
                      TypingCase{"BackspaceIsLetThrough", 2, "", 0, -1, "25\b", "2", 2},
                      TypingCase{"ThreeCharsOneSelected", 0, "123", 1, 1, "4", "143", 1},
                      TypingCase{"ThreeCharsAllSelectedStays", 0, "123", 0, 3, "4", "4", 0},
                      TypingCase{"FullFieldDropsTheDigitAndMovesOn", 1, "123", 0, -1, "4", "123", 2},
                      TypingCase{"LastFieldDropsDotAndSpace", 3, "", 0, -1, "1. ", "1", 3},
                      TypingCase{"LastFieldClamps", 3, "", 0, -1, "999", "255", 3},
                      TypingCase{"LastFieldNoMoveWhenFull", 3, "12", 0, -1, "3", "123", 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AplistTest, ManualEntryIsWrittenAsTyped)
{
    open({});
    setFields({"", "", "", ""});
    EXPECT_FALSE(d.bbtnOK->isEnabled());
    d.Memo1->setFocus();
    type("10.0100.1");
    EXPECT_EQ(d.Memo2->text(), "010");
    EXPECT_TRUE(d.bbtnOK->isEnabled());
    QTest::keyClick(d.Memo4, Qt::Key_Return);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::string("10.010.0.1\0", 11));
    EXPECT_EQ(d.CurApVersion(), "0");
}

TEST_F(AplistTest, EmptyFieldKeepsOkOffAndEscapeCancels)
{
    open({});
    setFields({"10", "0", "0", ""});
    EXPECT_FALSE(d.bbtnOK->isEnabled());
    d.Memo3->setFocus();
    QTest::keyClick(d.Memo3, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible()) << "Enter does nothing while OK is off";
    EXPECT_EQ(d.Memo3->text(), "0");
    QTest::keyClick(d.Memo3, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::nullopt);
}

TEST_F(AplistTest, EscapeInAutomaticModeChangesNothing)
{
    open({{"10.0.0.2", "1.3c"}});
    QTest::keyClick(d.ListView1, Qt::Key_Escape);
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::nullopt);
    EXPECT_EQ(d.CurApVersion(), "0");
}

// --- automatic mode ----------------------------------------------------------

TEST_F(AplistTest, OkWritesTheChosenRow)
{
    struct Case {
        Rows rows;
        int choose;
        bool byEnter;
        const char* address;
        const char* version;
    } cases[] = {
        {{{"10.0.0.2", "1.3c"}}, 0, true, "10.0.0.2", "13c"},
        {{{"10.0.0.2", "1.4"}, {"192.168.1.9", "2.1.0.5"}}, 1, false, "192.168.1.9", "2105"},
        {{{"10.0.0.1", "1.1"}, {"10.0.0.2", std::nullopt}}, 1, true, "10.0.0.2", "0"},
        {{{"10.0.0.3", ""}}, 0, false, "10.0.0.3", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        open(c.rows);
        EXPECT_TRUE(d.RadioButton1->isEnabled());
        EXPECT_TRUE(d.RadioButton1->isChecked());
        EXPECT_FALSE(d.Memo1->isEnabled());
        ASSERT_EQ(d.ListView1->selectedItems().size(), 1);
        EXPECT_EQ(d.ListView1->selectedItems()[0], d.ListView1->topLevelItem(0)) << "the first row";
        EXPECT_TRUE(d.bbtnOK->isEnabled());
        // The user clicks the row (the list takes the focus), then Enter or OK.
        QTest::mouseClick(d.ListView1->viewport(), Qt::LeftButton, {},
                          d.ListView1->visualItemRect(d.ListView1->topLevelItem(c.choose)).center());
        ASSERT_TRUE(d.ListView1->topLevelItem(c.choose)->isSelected());
        if (c.byEnter)
            QTest::keyClick(d.ListView1, Qt::Key_Enter);
        else
            QTest::mouseClick(d.bbtnOK, Qt::LeftButton);
        EXPECT_EQ(d.result(), QDialog::Accepted);
        EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::string(c.address) + '\0');
        EXPECT_EQ(d.CurApVersion(), c.version);
    }
}

TEST_F(AplistTest, ClickOnEmptyListSpaceClearsTheSelection)
{
    open({{"10.0.0.2", "1.4"}, {"10.0.0.7", "1.3b"}});
    QWidget* viewport = d.ListView1->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(20, viewport->height() - 4));
    EXPECT_TRUE(d.ListView1->selectedItems().isEmpty());
    EXPECT_FALSE(d.bbtnOK->isEnabled());
    QTest::keyClick(d.ListView1, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible()) << "Enter does nothing without a row";

    const QRect second = d.ListView1->visualItemRect(d.ListView1->topLevelItem(1));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, second.center());
    EXPECT_TRUE(d.isVisible()) << "a double click does not close the dialog";
    EXPECT_TRUE(d.bbtnOK->isEnabled());
    QTest::keyClick(d.ListView1, Qt::Key_Up);
    EXPECT_TRUE(d.ListView1->topLevelItem(0)->isSelected());
    QTest::keyClick(d.ListView1, Qt::Key_Return);
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::string("10.0.0.2\0", 9));
    EXPECT_EQ(d.CurApVersion(), "14");
}

TEST_F(AplistTest, ModeSwitchBetweenListAndFields)
{
    open({{"10.0.0.2", "1.4"}, {"10.0.0.7", "1.3b"}});
    setFields({"10", "0", "0", "1"});
    const QColor window = d.palette().color(QPalette::Window), base = d.palette().color(QPalette::Base);
    EXPECT_EQ(d.StaticText1->palette().color(QPalette::Window), window);
    d.ListView1->setCurrentItem(d.ListView1->topLevelItem(1));

    QTest::mouseClick(d.RadioButton2, Qt::LeftButton);
    EXPECT_TRUE(d.RadioButton2->isChecked());
    EXPECT_FALSE(d.ListView1->isEnabled());
    EXPECT_TRUE(d.ListView1->selectedItems().isEmpty());
    EXPECT_TRUE(d.Memo1->isEnabled() && d.Memo4->isEnabled());
    EXPECT_TRUE(d.bbtnOK->isEnabled()) << "all four fields hold text";
    EXPECT_EQ(focused(), "Memo1");
    EXPECT_EQ(d.Memo1->selectedText(), "10");
    EXPECT_EQ(d.StaticText1->palette().color(QPalette::Window), base);
    EXPECT_EQ(d.Memo2->palette().color(QPalette::Base), base);
    EXPECT_EQ(d.ListView1->viewport()->palette().color(QPalette::Base), window);
    d.Memo4->clear();
    EXPECT_FALSE(d.bbtnOK->isEnabled());

    QTest::mouseClick(d.RadioButton1, Qt::LeftButton);
    EXPECT_EQ(focused(), "RadioButton1") << "the automatic mode moves no focus";
    EXPECT_TRUE(d.ListView1->isEnabled());
    EXPECT_TRUE(d.ListView1->topLevelItem(0)->isSelected()) << "the first row again";
    EXPECT_FALSE(d.Memo1->isEnabled());
    EXPECT_TRUE(d.bbtnOK->isEnabled());
    EXPECT_EQ(d.Memo2->palette().color(QPalette::Base), window);
    EXPECT_EQ(d.ListView1->viewport()->palette().color(QPalette::Base), base);
}

TEST_F(AplistTest, NotFoundEntryDisablesAutomaticModeAfterAnEarlierShowing)
{
    open({{"10.0.0.2", "1.4"}});
    QTest::mouseClick(d.RadioButton2, Qt::LeftButton);
    setFields({"10", "0", "0", "9"});
    d.reject();

    open({});
    EXPECT_FALSE(d.RadioButton1->isEnabled());
    EXPECT_TRUE(d.RadioButton2->isChecked());
    EXPECT_FALSE(d.ListView1->isEnabled());
    EXPECT_EQ(focused(), "Memo1");
    EXPECT_EQ(d.Memo1->selectedText(), "10") << "the fields keep the previous address";
    EXPECT_EQ(d.Memo4->text(), "9");
    EXPECT_TRUE(d.bbtnOK->isEnabled());
    d.reject();

    // Also when the caption differs in case.
    d.ClearList();
    d.AddRow("ACCESS POINT NOT FOUND!", std::nullopt);
    d.show();
    EXPECT_FALSE(d.RadioButton1->isEnabled());
    d.reject();

    // Automatic mode: the focus leaves the fields, which are disabled now,
    // for the first control, never for the list.
    open({{"10.0.0.2", "1.4"}});
    EXPECT_TRUE(d.RadioButton1->isEnabled());
    EXPECT_TRUE(d.RadioButton1->isChecked());
    EXPECT_EQ(focused(), "bbtnOK");
}

// --- text that is not a number ---------------------------------------------

TEST_F(AplistTest, PastedTextThatIsNotANumber)
{
    open({});
    setFields({"10", "0", "0", "1"});
    ASSERT_TRUE(d.bbtnOK->isEnabled());
    d.Memo1->setFocus();
    d.Memo1->selectAll();
    QGuiApplication::clipboard()->setText("1a");
    d.Memo1->paste();

    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "'1a' is not a valid integer value.");
    EXPECT_EQ(MessageBox::shown()[0].caption, "wizard_tests");
    EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Error);
    EXPECT_EQ(d.Memo1->text(), "1a") << "not clamped";
    EXPECT_TRUE(d.bbtnOK->isEnabled()) << "OK not updated by that change";

    // Leaving the field warns and brings the focus back.
    QTest::keyClick(d.Memo1, Qt::Key_Tab);
    ASSERT_EQ(MessageBox::shown().size(), 2u);
    EXPECT_EQ(MessageBox::shown()[1].text, "Invalid characters! Please enter only digit characters.");
    EXPECT_EQ(MessageBox::shown()[1].caption, "");
    EXPECT_EQ(MessageBox::shown()[1].icon, Icon::Warning);
    EXPECT_EQ(focused(), "Memo1");
    EXPECT_EQ(d.Memo1->selectedText(), "1a");

    // OK does not write it as an address.
    QTest::mouseClick(d.bbtnOK, Qt::LeftButton);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(storedValue(kavo::settings::kIpAddress), std::nullopt);
    EXPECT_EQ(MessageBox::shown().back().text, "Invalid characters! Please enter only digit characters.");
    EXPECT_EQ(focused(), "Memo1");

    // A pasted negative number is a number: clamped.
    MessageBox::clearShown();
    d.Memo2->selectAll();
    QGuiApplication::clipboard()->setText("-5");
    d.Memo2->paste();
    EXPECT_EQ(d.Memo2->text(), "0");
    EXPECT_TRUE(MessageBox::shown().empty());
}

TEST_F(AplistTest, FailedWriteKeepsTheDialogOpen)
{
    // A folder where the store file should be: the store cannot be opened.
    std::filesystem::create_directories(env.userStore());
    open({{"10.0.0.2", "1.3c"}});
    QTest::keyClick(d.ListView1, Qt::Key_Return);
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(MessageBox::shown().size(), 1u);
    EXPECT_EQ(MessageBox::shown()[0].text, "Failed to set data for 'IpAddress'") << "no \".\" after a quote";
    EXPECT_EQ(MessageBox::shown()[0].caption, "wizard_tests");
    EXPECT_EQ(MessageBox::shown()[0].icon, Icon::Error);
    EXPECT_EQ(d.CurApVersion(), "0");
}

// --- large system fonts ------------------------------------------------------

struct FontCase {
    int dpi;
    bool bold;
    int spaces;
};

void PrintTo(const FontCase& c, std::ostream* os) { *os << c.dpi << " dpi"; }

class AplistFontTest : public ::testing::TestWithParam<FontCase> {
protected:
    void TearDown() override { TFormAPList::setScreenDpiOverride(0); }
};

TEST_P(AplistFontTest, BoldAndDotsAndFieldsBetweenTheDots)
{
    const FontCase& c = GetParam();
    TFormAPList::setScreenDpiOverride(c.dpi);
    TFormAPList dialog;
    const QString group = QString(c.spaces, ' ') + '.';
    EXPECT_EQ(dialog.Memo1->font().bold(), c.bold);
    EXPECT_EQ(dialog.Memo4->font().bold(), c.bold);
    if (!c.bold) {
        EXPECT_EQ(dialog.StaticText1->text(), group + group + group) << "set at creation";
    }
    dialog.AddNotFoundEntry();
    dialog.show();
    EXPECT_EQ(dialog.StaticText1->text(), group + group + group);

    // The fields sit inside the dotted frame, one after another, clear of the dots.
    const QRect frame = dialog.StaticText1->geometry();
    const QLineEdit* fields[] = {dialog.Memo1, dialog.Memo2, dialog.Memo3, dialog.Memo4};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(frame.contains(fields[i]->geometry())) << "inside the frame";
        EXPECT_GE(fields[i]->width(), QFontMetrics(fields[i]->font()).horizontalAdvance("255"));
        if (i < 3) {
            EXPECT_LT(fields[i]->geometry().right(), fields[i + 1]->geometry().left());
        }
    }
    EXPECT_LE(dialog.GroupBox1->geometry().bottom(), dialog.Label2->geometry().top());
}

INSTANTIATE_TEST_SUITE_P(Dpi, AplistFontTest,
                         ::testing::Values(FontCase{96, true, 11}, FontCase{119, true, 11}, FontCase{120, false, 10},
                                           FontCase{144, false, 10}),
                         [](const auto& info) { return std::to_string(info.param.dpi); });

}  // namespace
