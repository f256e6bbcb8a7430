// The disk method end to end in network namespaces: the wizard runs inside
// the PC host (this test binary again, under "ip netns exec"), the real
// Beaconry finds ap-sim, the real Flashpost uploads to it. Needs root;
// skipped otherwise. With KAVO_SCREENSHOT_DIR, QT_QPA_PLATFORM=xcb and a
// DISPLAY that has a window manager, pictures of the consent question, of
// the minimised wizard beside Flashpost and of the finished page are taken:
//   QT_QPA_PLATFORM=xcb DISPLAY=:71 KAVO_SCREENSHOT_DIR=out bin/wizard_tests --gtest_filter='InstallLab*'
#include "FileDialog.h"
#include "LabWizard.h"
#include "MainPictures.h"
#include "MessageBox.h"
#include "PackageMaker.h"
#include "ProcessRunner.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"
#include "WizardLab.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <random>

using namespace kavo::test;
namespace fs = std::filesystem;
using kavo::ui::MessageBox;

namespace {

constexpr const char* kDescription = "KAVO-AP-510 Ver:1.3.0c";  // version key 130c

std::string firmware()
{
    std::mt19937 rng(5);
    std::string bytes(3000, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}

// Inside the PC host: Next, the AP of the lab, the package, Yes; the
// wizard must end finished, with the tick or the cross at row 2.
void installInThePcHost(bool completes, const std::string& picture)
{
    LabWizard w;
    w.choose(tidewell::MethodDisk);
    kavo::ui::FileDialog::setNextFileName(QString::fromLocal8Bit(std::getenv("KAVO_LAB_PACKAGE")));
    MessageBox::clearShown();
    // On a display the consent question is really shown, pictured and
    // answered with its Yes button; offscreen it is answered ahead.
    QTimer answer;
    const bool onDisplay = std::getenv("KAVO_SCREENSHOT_DIR") && QGuiApplication::platformName() == "xcb";
    if (onDisplay) {
        MessageBox::setTestMode(false);
        answer.setInterval(100);
        QObject::connect(&answer, &QTimer::timeout, [&answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            QTest::qWait(400);
            screenshot("install-consent");
            box->button(QMessageBox::Yes)->click();
        });
        answer.start();
    } else {
        MessageBox::setNextAnswer(kavo::ui::Answer::Yes);
    }
    ASSERT_TRUE(w.nextAndPick(WizardLab::kApAddress));
    MessageBox::setTestMode(true);
    EXPECT_EQ(w.form->CurApVersion, "130c");
    ASSERT_EQ(MessageBox::shown().size(), 1u) << MessageBox::shown().back().text.toStdString();
    EXPECT_EQ(MessageBox::shown()[0].text, tidewell::kConsentText);
    EXPECT_TRUE(w.finished());
    EXPECT_EQ(w.form->imgT2->isVisible(), completes);
    EXPECT_EQ(w.form->imgErr->isVisible(), !completes);
    EXPECT_FALSE(w.form->imgDot->isVisible());
    EXPECT_FALSE(w.form->isMinimized());
    if (onDisplay) {
        QTest::qWait(500);
        screenshot(picture);
    }
}

class InstallLab : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (WizardLab::inPc())
            return;
        if (auto why = NetLab::skipReason(); !why.empty())
            GTEST_SKIP() << why;
        env = std::make_unique<IsolatedEnv>();
        lab = std::make_unique<WizardLab>();
        // The package, made by the test, outside the temporary folder.
        package = env->root() + "/packages/a1400.zip";
        fs::create_directories(env->root() + "/packages");
        pkgtest::writeZip(package, {pkgtest::file("APfirmware.txt", pkgtest::listLine("a1400\\fw.bin", bytes)),
                                    pkgtest::file("fw.bin", bytes)});
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        lab->beforeClosingFlashpost = [this, name](long, const std::string&) {
            // On a display with a window manager the wizard is really
            // minimised while Flashpost runs: none of its windows is shown.
            if (screenshot("install-minimised-flashpost-" + name))
                wizardShownBesideFlashpost =
                    runProgram("xdotool", {"search", "--onlyvisible", "--name", "^KAVO WLAN Tidewell$"}).exitCode == 0;
        };
    }

    WizardLab::PcRun run()
    {
        std::vector<std::string> environment = {"KAVO_LAB_PACKAGE=" + package};
        return lab->runInPc(120000, environment);
    }
    std::optional<std::string> value(const char* name)
    {
        auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
        if (!key || !key->readRaw(name))
            return std::nullopt;
        return key->readString(name);
    }
    void expectCleanedUp()
    {
        EXPECT_FALSE(fs::exists(env->tempFolder() + "a1400"));
        EXPECT_FALSE(fs::exists(env->tempFolder() + "APfirmware.txt"));
        EXPECT_TRUE(fs::exists(package));
        EXPECT_FALSE(wizardShownBesideFlashpost);
    }

    const std::string bytes = firmware();
    std::unique_ptr<IsolatedEnv> env;
    std::unique_ptr<WizardLab> lab;
    std::string package;
    bool wizardShownBesideFlashpost = false;
};

TEST_F(InstallLab, TheDiskMethodUpgradesTheApThroughBeaconryAndFlashpost)
{
    if (WizardLab::inPc())
        return installInThePcHost(true, "install-finished-completed");
    lab->startAp(kDescription);
    auto pc = run();
    EXPECT_EQ(pc.exitCode, 0) << pc.out << pc.err;
    EXPECT_NE(pc.out.find("[  PASSED  ] 1 test"), std::string::npos) << pc.out;
    EXPECT_EQ(pc.flashpostResults, std::vector<std::string>{"Transfer Completed"});
    EXPECT_TRUE(readFile(lab->image()) == bytes) << "the image at the AP is the firmware file";
    EXPECT_EQ(value(kavo::settings::kLastUpdateVersion), "1400");
    EXPECT_FALSE(value(kavo::settings::kLastUpdate)) << "the wizard's window took it away when it closed";
    expectCleanedUp();
}

TEST_F(InstallLab, AnUploadTheApRefusesEndsWithTheCrossAndNoVersion)
{
    if (WizardLab::inPc())
        return installInThePcHost(false, "install-finished-failed");
    lab->startAp(kDescription, {"--error-on", "wrq"});
    auto pc = run();
    EXPECT_EQ(pc.exitCode, 0) << pc.out << pc.err;
    EXPECT_NE(pc.out.find("[  PASSED  ] 1 test"), std::string::npos) << pc.out;
    ASSERT_EQ(pc.flashpostResults.size(), 1u);
    EXPECT_NE(pc.flashpostResults[0].find("Transfer failed"), std::string::npos) << pc.flashpostResults[0];
    EXPECT_FALSE(value(kavo::settings::kLastUpdateVersion));
    EXPECT_FALSE(value(kavo::settings::kLastUpdate));
    expectCleanedUp();
}

}  // namespace
