// The wizard's two pages: the window, the controls, navigation for each
// method, the disk method's checks, the indicators, keys and pointer.
#include "AplistTestSupport.h"
#include "MainFixture.h"
#include "MainPictures.h"

#include <QRadioButton>
#include <QTreeWidget>

#include <QFileDialog>
#include <QGuiApplication>
#include <QListView>
#include <QTimer>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <set>

namespace {

using kavo::ui::Answer;
using kavo::ui::Buttons;
using kavo::ui::FileDialog;
using kavo::ui::Icon;
using kavo::ui::MessageBox;
namespace tw = tidewell;

using PagesTest = MainFixture;

// Which of the step labels are visible, in the order 1_1 1_2 2_1 2_2 3 4 5_1 5_2.
std::string visibleRowLabels(TFormMain& f)
{
    std::string out;
    for (QLabel* l : {f.labT1_1, f.labT1_2, f.labT2_1, f.labT2_2, f.labT3, f.labT4, f.labT5_1, f.labT5_2})
        out += l->isVisibleTo(f.TabSheet2) ? '1' : '0';
    return out;
}

std::string visibleTicks(TFormMain& f)
{
    std::string out;
    for (int row = 1; row <= 5; ++row)
        out += f.TickImage(row)->isVisibleTo(f.TabSheet2) ? '1' : '0';
    return out;
}

TEST_F(PagesTest, WindowControlsAndTheirPlaces)
{
    TFormMain& f = create();
    EXPECT_EQ(f.windowTitle(), "KAVO WLAN Tidewell");
    EXPECT_EQ(f.objectName(), "FormMain");
    EXPECT_EQ(f.size(), QSize(510, 331));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()) << "fixed border";
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(f.font().pointSize(), 8);
    EXPECT_EQ(f.font().families().value(0), "MS Sans Serif");

    struct Place {
        const char* name;
        QRect geometry;  // an empty size: only the place is given
    } places[] = {
        {"BitBtn1", {242, 289, 75, 25}},  {"BitBtn2", {330, 289, 75, 25}},
        {"BitBtn4", {330, 289, 75, 25}},  {"BitBtn3", {418, 289, 75, 25}},
        {"Panel2", {12, 278, 161, 46}},   {"Panel1", {16, 283, 160, 32}},
        {"Image1", {0, 0, 160, 32}},      {"Image3", {12, 16, 161, 225}},
        {"Image2", {12, 16, 161, 225}},   {"imgT1", {200, 43, 18, 18}},
        {"imgT2", {200, 71, 18, 18}},     {"imgT3", {200, 99, 18, 18}},
        {"imgT4", {200, 126, 18, 18}},    {"imgT5", {200, 154, 18, 18}},
        {"imgErr", {200, 43, 18, 18}},    {"imgDot", {202, 43, 14, 14}},
        {"labT1_1", {223, 45, 0, 0}},     {"labT1_2", {223, 45, 0, 0}},
        {"labT2_1", {223, 73, 0, 0}},     {"labT2_2", {223, 73, 0, 0}},
        {"labT3", {223, 101, 0, 0}},      {"labT4", {223, 128, 0, 0}},
        {"labT5_1", {223, 156, 0, 0}},    {"labT5_2", {223, 156, 0, 0}},
        {"GroupBox1", {201, 184, 284, 73}},
    };
    for (const Place& p : places) {
        auto* w = f.findChild<QWidget*>(p.name);
        ASSERT_TRUE(w) << p.name;
        if (p.geometry.isEmpty())
            EXPECT_EQ(w->pos(), p.geometry.topLeft()) << p.name;
        else
            EXPECT_EQ(w->geometry(), p.geometry) << p.name;
    }

    struct Text {
        const char* name;
        const char* text;
    } texts[] = {
        {"Label1", "Select the Update Method"},
        {"Label5", "1. Update Firmware from the Internet - Update the firmware from the Internet. "
                   "The updating will be done automatically."},
        {"Label6", "2. Update Firmware from the Disk - Specify the update firmware from the disk. "
                   "The updating will be done automatically."},
        {"Label7", "3. Download Firmware from the Internet - Download the firmware to a folder in "
                   "your computer."},
        {"Label2", "Update Procedure"},
        {"labT1_1", "Connecting to the ftp server"},
        {"labT1_2", "Retrieving available update information"},
        {"labT2_1", "Retrieving available update information"},
        {"labT2_2", "Installing files"},
        {"labT3", "Downloading files"},
        {"labT4", "Disconnecting from the ftp server"},
        {"labT5_1", "Installing files"},
        {"labT5_2", "Saving files to disk"},
        {"Label3", "0%"},
        {"Label4", "100%"},
        {"labProgress", ""},
    };
    for (const Text& t : texts) {
        auto* l = f.findChild<QLabel*>(t.name);
        ASSERT_TRUE(l) << t.name;
        EXPECT_EQ(l->text(), t.text) << t.name;
        EXPECT_EQ(l->textFormat(), Qt::PlainText) << t.name;
    }
    for (QLabel* heading : {f.Label1, f.Label2}) {
        EXPECT_TRUE(heading->font().bold());
        EXPECT_EQ(heading->font().pointSize(), 10);
    }
    struct Button {
        QPushButton* button;
        const char* text;
        bool enabled, visible;
    } buttons[] = {
        {f.BitBtn1, "< &Back", false, true},      {f.BitBtn2, "&Next >", true, true},
        {f.BitBtn4, "&Finish", true, false},      {f.BitBtn3, "&Cancel", true, true},
        {f.btnProxy, "&Proxy Setup", true, false}, {f.btnDownload, "btnDownload", true, false},
        {f.bbtnStop, "&Stop", false, true},
    };
    for (const Button& b : buttons) {
        EXPECT_EQ(b.button->text(), b.text);
        EXPECT_EQ(b.button->isEnabled(), b.enabled) << b.text;
        EXPECT_EQ(b.button->isVisibleTo(b.button->parentWidget()), b.visible) << b.text;
    }
    EXPECT_TRUE(f.BitBtn4->isDefault());
    EXPECT_EQ(f.GroupBox1->title(), "Download Progress");
    EXPECT_EQ(f.ProgressBar1->minimum(), 0);
    EXPECT_EQ(f.ProgressBar1->maximum(), 100);
    EXPECT_FALSE(f.ListViewRemote->isVisibleTo(f.TabSheet2));

    ASSERT_EQ(f.cbMethod->count(), 3);
    EXPECT_FALSE(f.cbMethod->isEditable());
    EXPECT_EQ(f.cbMethod->itemText(0), "Update Firmware from the Internet");
    EXPECT_EQ(f.cbMethod->itemText(1), "Update Firmware from the Disk");
    EXPECT_EQ(f.cbMethod->itemText(2), "Download Firmware from the Internet");
    EXPECT_EQ(f.cbMethod->currentIndex(), 0);
    EXPECT_TRUE(onPage1());
}

TEST_F(PagesTest, PicturesAndTheAnimatedMarker)
{
    TFormMain& f = create();
    EXPECT_EQ(f.Image3->pixmap().size(), QSize(161, 225));
    EXPECT_EQ(f.Image1->pixmap().size(), QSize(160, 32));
    QImage tick = f.imgT1->pixmap().toImage();
    EXPECT_EQ(tick.size(), QSize(18, 18));
    EXPECT_EQ(qAlpha(tick.pixel(0, 0)), 0) << "transparent background";
    EXPECT_EQ(f.imgErr->pixmap().size(), QSize(18, 18));
    EXPECT_EQ(f.imgDot->frameCount(), 6);
    EXPECT_TRUE(f.imgDot->animate()) << "animation switched on at creation";

    // The marker plays its six frames round and round while it is shown.
    choose(tw::MethodDownload);
    f.show();
    f.BitBtn2Click();
    ASSERT_TRUE(f.imgDot->isVisible());
    std::set<int> seen;
    int wraps = 0, last = f.imgDot->currentFrame();
    QElapsedTimer clock;
    clock.start();
    // Until every frame was seen and the loop began again (a slow machine
    // only takes longer).
    while ((seen.size() < 6 || wraps < 1) && clock.elapsed() < 20000) {
        QTest::qWait(15);
        int now = f.imgDot->currentFrame();
        if (now < last)
            ++wraps;
        last = now;
        seen.insert(now);
    }
    EXPECT_EQ(seen.size(), 6u);
    EXPECT_GE(wraps, 1);
    f.imgDot->hide();
    EXPECT_FALSE(f.imgDot->running()) << "a hidden marker does not run";
}

// Next for each method, with the AP search confirming an AP for 0 and 1.
TEST_F(PagesTest, NextStartsTheProcedureOfEachMethod)
{
    struct Case {
        int method;
        bool searches;       // runs the AP search (and clears the run's values)
        std::string labels;  // 1_1 1_2 2_1 2_2 3 4 5_1 5_2
        bool group;
        int connects;
    } cases[] = {
        {tw::MethodInternet, true, "10101110", true, 1},
        {tw::MethodDisk, true, "01010000", false, 0},
        {tw::MethodDownload, false, "10101101", true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        searches = 0;
        writeAllValues();
        TestFormMain& f = create();
        searchGives(true);
        f.CurApVersion = "13c";
        choose(c.method);
        FileDialog::setNextFileName(QString::fromStdString(appDir + "/readme.zip"));
        f.BitBtn2Click();

        EXPECT_EQ(f.CurApVersion, "0");
        EXPECT_EQ(searches, c.searches ? 1 : 0);
        if (c.searches) {
            EXPECT_EQ(valuesAtSearch, 0) << "the run's values are deleted before the search";
            EXPECT_EQ(versionAtSearch, "0");
            EXPECT_EQ(searchAppDir, appDir);
        } else {
            EXPECT_EQ(runValuesPresent(), 4) << "the download method touches no value";
        }
        auto k = key();
        EXPECT_EQ(k->readString(kavo::settings::kLastUpdateVersion), "1");
        EXPECT_EQ(k->readString(kavo::settings::kProxyEnable), "1");

        EXPECT_TRUE(onPage2());
        EXPECT_EQ(visibleRowLabels(f), c.labels);
        EXPECT_EQ(f.GroupBox1->isVisibleTo(f.TabSheet2), c.group);
        EXPECT_EQ(f.connects, c.connects);
        EXPECT_FALSE(f.BitBtn1->isEnabled());
        EXPECT_FALSE(f.BitBtn2->isEnabled());
        EXPECT_TRUE(f.BitBtn2->isVisibleTo(&f));
        EXPECT_FALSE(f.imgErr->isVisibleTo(f.TabSheet2));
        EXPECT_TRUE(f.imgDot->isVisibleTo(f.TabSheet2) == (c.method != tw::MethodDisk ||
                                                           f.installed.size() == 1));
        if (c.method == tw::MethodDisk) {
            // readme.zip: version text "eadm" sorts above the AP version "0".
            EXPECT_EQ(NewVersion, "eadm");
            EXPECT_EQ(visibleTicks(f), "10000");
            EXPECT_EQ(f.imgDot->y(), 73);
            ASSERT_EQ(f.installed.size(), 1u);
            EXPECT_EQ(f.installed[0], appDir + "/readme.zip");
            EXPECT_TRUE(shown().empty()) << "no question when the package is newer";
            EXPECT_FALSE(f.BitBtn4->isVisibleTo(&f));
        } else {
            EXPECT_EQ(visibleTicks(f), "00000");
            EXPECT_EQ(f.imgDot->y(), 45) << "marker at row 1";
        }
        form.reset();
        FormAPList = nullptr;
        MessageBox::clearShown();
    }
}

// Next with the real AP search: a stand-in discovery program beside the
// wizard writes the table, the AP list opens over the main window, and its
// answer decides between page 2 and page 1.
TEST_F(PagesTest, NextShowsTheApListOverTheMainWindowAndItsAnswerDecides)
{
    std::filesystem::create_symlink(kavo::test::binDir() + "/aptable_writer",
                                    appDir + "/Beaconry" + kavo::platform::kExeSuffix);
    ::setenv("KAVO_TEST_APIPADDRESS", "10.0.0.2,10.0.0.7", 1);
    ::setenv("KAVO_TEST_APVERSION", "1.3c,1.4", 1);
    struct Case {
        int method;
        bool ok;
        std::string labels;  // 1_1 1_2 2_1 2_2 3 4 5_1 5_2, on page 2
    } cases[] = {
        {tw::MethodInternet, true, "10101110"},
        {tw::MethodDisk, true, "01010000"},
        {tw::MethodInternet, false, ""},
        {tw::MethodDisk, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.method) + (c.ok ? " OK" : " Cancel"));
        MessageBox::clearShown();
        FileDialog::clearShown();
        writeAllValues();
        TestFormMain& f = create();
        f.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
        choose(c.method);
        if (c.method == tw::MethodDisk)
            FileDialog::setNextFileName(QString::fromStdString(appDir + "/a14.zip"));

        QRect dialogFrame;
        bool modal = false;
        aplist_test::WhenShown probe(*FormAPList, [&](TFormAPList& d) {
            dialogFrame = d.frameGeometry();
            modal = QApplication::activeModalWidget() == &d;
            if (c.ok)
                QTest::keyClick(d.ListView1, Qt::Key_Return);
            else
                QTest::keyClick(d.ListView1, Qt::Key_Escape);
        });
        QTest::mouseClick(f.BitBtn2, Qt::LeftButton);

        ASSERT_TRUE(probe.shown);
        EXPECT_TRUE(modal);
        EXPECT_EQ(probe.seen.rows.size(), 2u);
        EXPECT_TRUE(probe.seen.automatic);
        EXPECT_EQ(probe.seen.selectedRow, 0);
        const QPoint offset = dialogFrame.center() - f.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 1)
            << "centred on the main window, frame on frame: off by " << offset.x() << "," << offset.y();
        EXPECT_TRUE(shown().empty());
        if (c.ok) {
            EXPECT_EQ(aplist_test::storedValue(kavo::settings::kIpAddress), std::string("10.0.0.2\0", 9));
            EXPECT_EQ(f.CurApVersion, "13c");
            EXPECT_TRUE(onPage2());
            EXPECT_EQ(visibleRowLabels(f), c.labels);
            EXPECT_FALSE(f.BitBtn1->isEnabled());
            EXPECT_FALSE(f.BitBtn2->isEnabled());
            EXPECT_TRUE(f.BitBtn2->isVisible());
            EXPECT_FALSE(f.BitBtn4->isVisible());
            EXPECT_TRUE(f.imgDot->isVisible());
            EXPECT_EQ(f.GroupBox1->isVisible(), c.method == tw::MethodInternet);
            if (c.method == tw::MethodDisk) {
                // "14.z" sorts above the AP's "13c": installed without asking.
                EXPECT_EQ(NewVersion, "14.z");
                ASSERT_EQ(f.installed.size(), 1u);
                EXPECT_EQ(visibleTicks(f), "10000");
                EXPECT_EQ(f.imgDot->y(), 73);
            } else {
                EXPECT_EQ(f.connects, 1);
                EXPECT_EQ(visibleTicks(f), "00000");
                EXPECT_EQ(f.imgDot->y(), 45);
            }
        } else {
            EXPECT_EQ(aplist_test::storedValue(kavo::settings::kIpAddress), std::nullopt);
            EXPECT_EQ(f.CurApVersion, "0");
            EXPECT_TRUE(onPage1());
            EXPECT_FALSE(f.BitBtn1->isEnabled());
            EXPECT_TRUE(f.BitBtn2->isEnabled());
            EXPECT_TRUE(f.BitBtn2->isVisible());
            EXPECT_TRUE(FileDialog::shown().empty());
            EXPECT_EQ(f.connects, 0);
            EXPECT_TRUE(f.installed.empty());
        }
        // The table Beaconry left stays; the other values were deleted by Next.
        EXPECT_EQ(aplist_test::storedValue(kavo::settings::kApIpAddress), std::string("10.0.0.2,10.0.0.7\0", 18));
        EXPECT_EQ(aplist_test::storedValue(kavo::settings::kLastUpdate), std::nullopt);
        EXPECT_EQ(key()->readString(kavo::settings::kLastUpdateVersion), "1");
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
    }
    ::unsetenv("KAVO_TEST_APIPADDRESS");
    ::unsetenv("KAVO_TEST_APVERSION");
}

TEST_F(PagesTest, ASearchWithoutAConfirmedApStaysOnPage1)
{
    for (int method : {tw::MethodInternet, tw::MethodDisk}) {
        writeAllValues();
        TestFormMain& f = create();
        searchGives(false);
        choose(method);
        f.BitBtn2Click();
        EXPECT_TRUE(onPage1());
        EXPECT_EQ(searches, 1);
        EXPECT_EQ(runValuesPresent(), 0);
        EXPECT_EQ(key()->readString(kavo::settings::kLastUpdateVersion), "1");
        EXPECT_TRUE(f.BitBtn2->isEnabled());
        EXPECT_FALSE(f.BitBtn1->isEnabled());
        EXPECT_TRUE(FileDialog::shown().empty());
        EXPECT_EQ(f.connects, 0);
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
        searches = 0;
    }
}

TEST_F(PagesTest, TheApManagementProgramBlocksOnlyTheUpdateMethods)
{
    fake.windowTitles = {"KAVO Marlin"};
    for (int method : {tw::MethodInternet, tw::MethodDisk, tw::MethodDownload}) {
        SCOPED_TRACE(method);
        MessageBox::clearShown();
        writeAllValues();
        TestFormMain& f = create();
        searchGives(true);
        choose(method);
        f.BitBtn2Click();
        if (method == tw::MethodDownload) {
            EXPECT_TRUE(onPage2());
            EXPECT_TRUE(shown().empty());
        } else {
            EXPECT_TRUE(onPage1());
            EXPECT_EQ(searches, 0);
            EXPECT_EQ(runValuesPresent(), 4) << "nothing else changes";
            ASSERT_EQ(shown().size(), 1u);
            EXPECT_EQ(shown()[0].text, "Please close KAVO Marlin program before running the Tidewell.");
            EXPECT_EQ(shown()[0].icon, Icon::Error);
            EXPECT_TRUE(shown()[0].caption.isEmpty());
        }
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
    }
    // The title must match exactly.
    fake.windowTitles = {"KAVO Marlin 2", "kavo marlin"};
    TestFormMain& f = create();
    searchGives(false);
    MessageBox::clearShown();
    f.BitBtn2Click();
    EXPECT_EQ(searches, 1);
    EXPECT_TRUE(shown().empty());
}

TEST_F(PagesTest, DiskMethodOpenDialogCancelledReturnsToPage1)
{
    TestFormMain& f = create();
    searchGives(true);
    choose(tw::MethodDisk);
    FileDialog::setNextFileName(QString());
    f.BitBtn2Click();
    ASSERT_EQ(FileDialog::shown().size(), 1u);
    EXPECT_EQ(FileDialog::shown()[0].kind, kavo::ui::FileDialogRecord::Open);
    EXPECT_EQ(FileDialog::shown()[0].caption, "Open Updating File");
    EXPECT_TRUE(FileDialog::shown()[0].folder.isEmpty());
    EXPECT_EQ(FileDialog::shown()[0].filter, "ZIP Files (*.ZIP) (*.zip)");
    EXPECT_TRUE(onPage1());
    EXPECT_FALSE(f.BitBtn1->isEnabled());
    EXPECT_TRUE(f.BitBtn2->isEnabled());
    EXPECT_TRUE(f.installed.empty());
}

TEST_F(PagesTest, DiskMethodNameWithoutLowercaseAIsInvalid)
{
    TestFormMain& f = create();
    searchGives(true);
    choose(tw::MethodDisk);
    // The folder has an "a"; only the file name counts.
    FileDialog::setNextFileName(QString::fromStdString(appDir + "/B1305.ZIP"));
    f.BitBtn2Click();
    EXPECT_TRUE(onPage2());
    EXPECT_TRUE(f.imgErr->isVisibleTo(f.TabSheet2));
    EXPECT_EQ(f.imgErr->y(), 43) << "cross at row 1";
    EXPECT_FALSE(f.imgDot->isVisibleTo(f.TabSheet2));
    EXPECT_EQ(visibleTicks(f), "00000");
    EXPECT_TRUE(f.BitBtn1->isEnabled());
    EXPECT_FALSE(f.BitBtn2->isEnabled());
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, "The update file is invalid.");
    EXPECT_EQ(shown()[0].icon, Icon::Error);
    EXPECT_TRUE(shown()[0].caption.isEmpty());
    EXPECT_TRUE(f.installed.empty());

    // Back leads to page 1 again.
    f.BitBtn1Click();
    EXPECT_TRUE(onPage1());
    EXPECT_FALSE(f.BitBtn1->isEnabled());
}

TEST_F(PagesTest, DiskMethodVersionNotNewerAsksWhetherToContinue)
{
    struct Case {
        const char* file;
        const char* apVersion;
        Answer answer;
    } cases[] = {
        {"a13c0.zip", "13C0", Answer::No},   // equal, case ignored
        {"a13c0.zip", "13C0", Answer::Yes},
        {"a1305.zip", "13c", Answer::No},    // 1305 sorts below 13c
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        MessageBox::clearShown();
        fake.beeps.clear();
        TestFormMain& f = create();
        searchGives(true, c.apVersion);
        choose(tw::MethodDisk);
        f.show();
        FileDialog::setNextFileName(QString::fromStdString(appDir + "/" + c.file));
        MessageBox::setNextAnswer(c.answer);
        f.BitBtn2Click();

        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0].text, "You already have the most recent files.\n\nContinue update?");
        EXPECT_EQ(shown()[0].icon, Icon::Information);
        EXPECT_EQ(shown()[0].buttons, Buttons::YesNo);
        EXPECT_EQ(shown()[0].caption, "Information");
        ASSERT_EQ(fake.beeps.size(), 1u);
        EXPECT_EQ(fake.beeps[0], kavo::platform::Beep::Question);
        if (c.answer == Answer::Yes) {
            ASSERT_EQ(f.installed.size(), 1u);
            EXPECT_EQ(f.installed[0], appDir + "/" + c.file);
        } else {
            // Finished: marker hidden, rows 1 and 2 ticked, Finish offered.
            EXPECT_TRUE(f.installed.empty());
            EXPECT_FALSE(f.imgDot->isVisibleTo(f.TabSheet2));
            EXPECT_EQ(visibleTicks(f), "11000");
            EXPECT_TRUE(f.BitBtn1->isEnabled());
            EXPECT_FALSE(f.BitBtn2->isVisibleTo(&f));
            EXPECT_TRUE(f.BitBtn4->isVisibleTo(&f));
            EXPECT_EQ(f.focusWidget(), f.BitBtn4);
            EXPECT_EQ(f.disconnects, 1);
        }
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
    }
}

TEST_F(PagesTest, VersionTexts)
{
    EXPECT_EQ(tw::VersionText("readme.zip"), "eadm");
    EXPECT_EQ(tw::VersionText("a14.zip"), "14.z");
    EXPECT_EQ(tw::VersionText("ab"), "b");
    EXPECT_EQ(tw::VersionText("a"), "");
    struct Case {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"14", "13c", 1},    {"1305", "13c", -1}, {"1400", "13c", 1}, {"9", "10", 1},
        {"14.z", "14", 1},   {"1400", "14", 1},   {"eadm", "0", 1},   {"13C", "13c", 0},
        {"", "0", -1},       {"ab", "AB", 0},     {"_", "a", 1},      // "_" (0x5F) sorts above "A"
    };
    for (const Case& c : cases) {
        int r = tw::CompareVersionText(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST_F(PagesTest, BackFromTheFinishedStateClearsDownloaded)
{
    TestFormMain& f = create();
    choose(tw::MethodDownload);
    f.BitBtn2Click();
    Downloaded = true;
    f.BitBtn1->setEnabled(true);
    f.BitBtn1Click();
    EXPECT_TRUE(onPage1());
    EXPECT_FALSE(Downloaded);
    EXPECT_TRUE(f.BitBtn2->isVisibleTo(&f));
    EXPECT_TRUE(f.BitBtn2->isEnabled());
    EXPECT_FALSE(f.BitBtn4->isVisibleTo(&f));

    // Next on page 2 only resets the AP version.
    f.StartProcedure();
    f.CurApVersion = "13c";
    f.BitBtn2Click();
    EXPECT_EQ(f.CurApVersion, "0");
    EXPECT_TRUE(onPage2());
    EXPECT_EQ(f.connects, 2);
}

TEST_F(PagesTest, IndicatorOperations)
{
    TestFormMain& f = create();
    f.StartProcedure();
    EXPECT_EQ(f.imgDot->y(), 45);
    for (int row = 1; row <= 5; ++row) {
        f.MarkerToRow(row);
        EXPECT_EQ(f.imgDot->y(), std::vector<int>({45, 73, 101, 128, 156})[row - 1]);
        EXPECT_EQ(f.imgDot->x(), 202);
        f.TickRow(row);
    }
    EXPECT_EQ(visibleTicks(f), "11111");
    f.CrossAtRow(4);
    EXPECT_EQ(f.imgErr->pos(), QPoint(200, 126));
    EXPECT_FALSE(f.imgDot->isVisibleTo(f.TabSheet2));

    // A new procedure hides ticks and cross and puts the marker back.
    f.StartProcedure();
    EXPECT_EQ(visibleTicks(f), "00000");
    EXPECT_FALSE(f.imgErr->isVisibleTo(f.TabSheet2));
    f.MarkerToRow(3);
    f.CrossAtMarker();
    EXPECT_EQ(f.imgErr->pos(), QPoint(200, 101));
    EXPECT_FALSE(f.imgDot->isVisibleTo(f.TabSheet2));

    f.labProgress->setText("5 bytes of 10 received");
    f.ProgressBar1->setValue(50);
    f.ListViewRemote->addItem("a1305.zip");
    f.StartProcedure();
    EXPECT_TRUE(f.labProgress->text().isEmpty());
    EXPECT_EQ(f.ProgressBar1->value(), 0);
    EXPECT_EQ(f.ListViewRemote->count(), 0);
}

TEST_F(PagesTest, CancelClosesTheWindowAndStopsARunningTransfer)
{
    TestFormMain& f = create();
    f.show();
    choose(tw::MethodDownload);
    f.BitBtn2Click();
    f.bbtnStop->setEnabled(true);  // a transfer is running
    f.BitBtn3Click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_FALSE(f.bbtnStop->isEnabled());
    EXPECT_TRUE(onPage2()) << "only stopped and closed";

    f.show();
    f.BitBtn3Click();
    EXPECT_FALSE(f.isVisible());
    EXPECT_TRUE(onPage1());
}

TEST_F(PagesTest, EscPressesCancelAndEnterPressesFinishOrTheFocusedButton)
{
    TestFormMain& f = create();
    f.show();
    QApplication::setActiveWindow(&f);
    f.cbMethod->setFocus();
    QTest::keyClick(f.cbMethod, Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible()) << "Esc on page 1";

    // Enter on page 1 does nothing while no button has the focus.
    f.show();
    f.cbMethod->setFocus();
    QTest::keyClick(f.cbMethod, Qt::Key_Return);
    EXPECT_TRUE(f.isVisible());
    EXPECT_TRUE(onPage1());

    // The finished state: Finish has the focus and takes Enter.
    runDiskMethodToFinished();
    ASSERT_TRUE(f.BitBtn4->isVisible());
    f.BitBtn1->setFocus();
    QTest::keyClick(f.BitBtn1, Qt::Key_Return);
    EXPECT_TRUE(onPage1()) << "the focused Back takes Enter";
    EXPECT_TRUE(f.isVisible());

    runDiskMethodToFinished();
    ASSERT_EQ(f.focusWidget(), f.BitBtn4);
    QTest::keyClick(f.BitBtn4, Qt::Key_Enter);
    EXPECT_FALSE(f.isVisible()) << "Finish closes the wizard";

    // Esc in the procedure's finished state, with the focus on page 2.
    f.show();
    runDiskMethodToFinished();
    QTest::keyClick(&f, Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible());
}

// A button that had the focus and is then disabled or hidden by a page
// switch must not hand the focus on to Cancel: Enter would then end the
// wizard. Each step is done with the mouse, as a user does.
TEST_F(PagesTest, EnterAfterAPageSwitchDoesNotCancel)
{
    TestFormMain& f = create();
    f.show();
    QApplication::setActiveWindow(&f);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    auto enter = [&f] {
        QWidget* target = f.focusWidget() ? f.focusWidget() : &f;
        QTest::keyClick(target, Qt::Key_Return);
    };

    // Next (download method): Next is disabled on page 2.
    choose(tw::MethodDownload);
    QTest::mouseClick(f.BitBtn2, Qt::LeftButton);
    ASSERT_TRUE(onPage2());
    EXPECT_NE(f.focusWidget(), f.BitBtn3);
    enter();
    EXPECT_TRUE(f.isVisible()) << "Enter on page 2 while no button is usable";
    EXPECT_TRUE(onPage2());

    // Next (disk method, not newer, No): Finished; Back with the mouse.
    f.ShowMethodPage();
    runDiskMethodToFinished();
    ASSERT_TRUE(f.BitBtn4->isVisible());
    QTest::mouseClick(f.BitBtn1, Qt::LeftButton);
    ASSERT_TRUE(onPage1());
    EXPECT_NE(f.focusWidget(), f.BitBtn3);
    enter();
    EXPECT_TRUE(f.isVisible()) << "Enter on page 1 after Back";

    // Esc still cancels.
    QTest::keyClick(f.focusWidget() ? f.focusWidget() : &f, Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible());
}

TEST_F(PagesTest, PointerOverCancelAndOverPage2)
{
    TestFormMain& f = create();
    f.show();
    f.StartProcedure();
    ASSERT_FALSE(QGuiApplication::overrideCursor());

    QTest::mouseMove(f.TabSheet2, QPoint(100, 250));
    EXPECT_FALSE(QGuiApplication::overrideCursor()) << "not busy: nothing changes";

    Busy = true;
    TFormMain::SetPointer(TFormMain::Pointer::HourGlass);
    QTest::mouseMove(f.BitBtn3, QPoint(10, 10));
    ASSERT_TRUE(QGuiApplication::overrideCursor());
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    QTest::mouseMove(f.TabSheet2, QPoint(100, 250));
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);

    Busy = false;
    TFormMain::SetPointer(TFormMain::Pointer::Default);
    EXPECT_FALSE(QGuiApplication::overrideCursor());
}

TEST_F(PagesTest, QtFileFilter)
{
    EXPECT_EQ(tw::QtFileFilter("ZIP Files (*.ZIP)|*.zip;"), "ZIP Files (*.ZIP) (*.zip)");
    EXPECT_EQ(tw::QtFileFilter("Text|*.txt;*.log|All|*.*"), "Text (*.txt *.log);;All (*.*)");
}

// The real open dialog names the filter by its description alone, as the
// filter text gives it; the pattern still chooses the files.
TEST_F(PagesTest, TheOpenDialogShowsTheFiltersDescriptionOnly)
{
    kavo::test::IsolatedEnv env;
    for (const char* name : {"a.zip", "B.ZIP", "c.txt"})
        env.writeFile(std::string("pkgs/") + name, "x");
    const QString folder = QString::fromStdString(env.root() + "/pkgs");
    QStringList filters, files;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
        for (int i = 0; combo && i < combo->count(); ++i)
            filters << combo->itemText(i);
        QTest::qWait(300);  // the folder is read in the background
        auto* list = dialog->findChild<QListView*>("listView");
        for (int i = 0; list && i < list->model()->rowCount(list->rootIndex()); ++i)
            files << list->model()->index(i, 0, list->rootIndex()).data().toString();
        dialog->reject();
    });
    MessageBox::setTestMode(false);
    const QString chosen = FileDialog::getOpenFileName(nullptr, QString::fromLatin1(tw::kOpenDialogTitle), folder,
                                                       tw::QtFileFilter(QString::fromLatin1(tw::kZipFilter)));
    MessageBox::setTestMode(true);
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(filters, QStringList{"ZIP Files (*.ZIP)"});
    files.sort();
    EXPECT_EQ(files, (QStringList{"B.ZIP", "a.zip"}));
}

}  // namespace
