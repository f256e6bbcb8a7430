// A main window of the wizard for tests: a private registry and temporary
// folder, faked system services, the later parts' hooks recorded.
#pragma once

#include "Aplist.h"
#include "BitBtn.h"
#include "FakeServices.h"
#include "FileDialog.h"
#include "Main.h"
#include "MessageBox.h"
#include "Registry.h"
#include "SettingsKey.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <filesystem>
#include <functional>
#include <memory>

// Readable QStrings in failure messages.
#ifndef KAVO_WIZARD_TEST_QSTRING_PRINTTO
#define KAVO_WIZARD_TEST_QSTRING_PRINTTO
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
#endif

class TestFormMain : public TFormMain {
public:
    std::vector<std::string> installed;
    int connects = 0;
    int disconnects = 0;
    int languages = 0;

    void InstallPackage(const std::string& path) override { installed.push_back(path); }
    void ConnectToUpdateServer() override { ++connects; }
    void DisconnectFromServer() override { ++disconnects; }
    void SelectLanguage() override { ++languages; }

    // The AP search in place of the real one, when a test gives one.
    std::function<bool(std::string& curApVersion)> search;
    bool RunApSearch() override { return search ? search(CurApVersion) : TFormMain::RunApSearch(); }
};

class MainFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        appDir = env.root() + "/app";
        systemDir = env.root() + "/system";
        std::filesystem::create_directories(appDir + "/Update");
        std::filesystem::create_directories(systemDir);
        fake.current = appDir;
        fake.system = systemDir;
        fake.version = kavo::platform::OsVersion{};  // not Windows
        kavo::ui::MessageBox::clearShown();
        kavo::ui::FileDialog::clearShown();
    }

    void TearDown() override
    {
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
        FormMain = nullptr;
        TFormMain::SetPointer(TFormMain::Pointer::Default);
        Busy = false;
    }

    // Creates the main window and the AP list dialog as the process does.
    TestFormMain& create()
    {
        form = std::make_unique<TestFormMain>();
        FormMain = form.get();
        FormAPList = new TFormAPList(form.get());
        return *form;
    }

    // An AP search that records its calls and gives `result`.
    void searchGives(bool result, std::string version = "0")
    {
        form->search = [this, result, version](std::string& cur) {
            ++searches;
            searchAppDir = AppDir;
            versionAtSearch = cur;
            valuesAtSearch = runValuesPresent();
            cur = version;
            return result;
        };
    }

    std::unique_ptr<kavo::RegistryKey> key()
    {
        return kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath,
                                       kavo::Access::All, true);
    }
    void writeAllValues()
    {
        auto k = key();
        for (const char* name : {kavo::settings::kApIpAddress, kavo::settings::kApVersion,
                                 kavo::settings::kIpAddress, kavo::settings::kLastUpdate,
                                 kavo::settings::kLastUpdateVersion, kavo::settings::kProxyEnable})
            k->writeString(name, "1");
    }
    // How many of the four values of a run are in the key.
    int runValuesPresent()
    {
        auto k = key();
        int n = 0;
        for (const char* name : {kavo::settings::kApIpAddress, kavo::settings::kApVersion,
                                 kavo::settings::kIpAddress, kavo::settings::kLastUpdate})
            n += k->readRaw(name).has_value();
        return n;
    }

    void choose(int method) { form->cbMethod->setCurrentIndex(method); }
    // Next with the mouse, the disk method up to the Finished state: a
    // package no newer than the AP's version (a1305.zip against 1305), No.
    void runDiskMethodToFinished()
    {
        searchGives(true, "1305");
        choose(tidewell::MethodDisk);
        kavo::ui::FileDialog::setNextFileName(QString::fromStdString(appDir + "/a1305.zip"));
        kavo::ui::MessageBox::setNextAnswer(kavo::ui::Answer::No);
        QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
    }
    bool onPage1() const { return form->PageControl1->currentWidget() == form->TabSheet1; }
    bool onPage2() const { return form->PageControl1->currentWidget() == form->TabSheet2; }
    static const std::vector<kavo::ui::MessageRecord>& shown() { return kavo::ui::MessageBox::shown(); }

    kavo::test::IsolatedEnv env;
    kavo::platform::FakeServices fake;
    kavo::platform::ScopedServices scoped{fake};
    std::string appDir, systemDir;
    std::unique_ptr<TestFormMain> form;

    int searches = 0;
    std::string searchAppDir, versionAtSearch;
    int valuesAtSearch = -1;
};
