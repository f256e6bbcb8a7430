// Pictures of the wizard in each of its eight languages (page 1, page 2,
// the AP list) and of the proxy dialog, for a person to look at. Runs only
// when KAVO_SCREENSHOT_DIR names a folder, on a real display:
//   QT_QPA_PLATFORM=xcb DISPLAY=:85 KAVO_SCREENSHOT_DIR=out bin/wizard_tests --gtest_filter='LanguageScreens*'
#include "Language.h"
#include "MainFixture.h"
#include "Proxy.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QScreen>

#include <fstream>

namespace {

namespace tw = tidewell;

class LanguageScreens : public MainFixture {
protected:
    void SetUp() override
    {
        dir = qEnvironmentVariable("KAVO_SCREENSHOT_DIR");
        if (dir.isEmpty())
            GTEST_SKIP() << "KAVO_SCREENSHOT_DIR is not set";
        MainFixture::SetUp();
        fake.program = env.root() + "/prog/Tidewell";
        std::filesystem::create_directories(env.root() + "/prog");
    }

    void shoot(QWidget& w, const QString& name)
    {
        w.show();
        w.raise();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QTest::qWait(200);
        const QRect r = w.frameGeometry();
        QPixmap pm = w.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
        ASSERT_TRUE(pm.save(dir + "/" + name + ".png")) << name.toStdString();
    }

    QString dir;
};

TEST_F(LanguageScreens, PagesAndApListInEachLanguage)
{
    for (const tw::LanguageFile& language : tw::kLanguageFiles) {
        const std::string name = language.fileName;
        const QString ext = QString::fromStdString(name.substr(name.size() - 3));
        std::ofstream(env.root() + "/prog/" + name, std::ios::binary)
            << kavo::test::readFile(kavo::test::binDir() + "/" + name);
        fake.langId = language.langId;
        TestFormMain& f = create();
        f.TFormMain::SelectLanguage();
        shoot(f, ext + "-page1");

        // Page 2 of the Internet method with every row and the progress.
        choose(tw::MethodInternet);
        f.StartProcedure();
        f.TickRow(1);
        f.TickRow(2);
        f.MarkerToRow(3);
        f.ProgressBar1->setValue(40);
        f.bbtnStop->setEnabled(true);
        shoot(f, ext + "-page2");
        f.bbtnStop->setEnabled(false);
        f.hide();

        FormAPList->AddRow("10.0.0.2", std::string("1.3c"));
        FormAPList->AddRow("10.0.0.7", std::nullopt);
        shoot(*FormAPList, ext + "-aplist");
        FormAPList->hide();
        TearDown();
    }
}

TEST_F(LanguageScreens, ProxyDialog)
{
    TestFormMain& f = create();
    f.show();
    std::string proxy;
    int port = 0;
    TFormProxy d(&f, proxy, port);
    shoot(d, "proxy-off");
    d.CheckBox1->setChecked(true);
    d.edtAddr->setText("proxy.example.lan");
    d.edtPort->setText("8021");
    shoot(d, "proxy-on");
}

}  // namespace
