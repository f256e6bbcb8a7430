// Pictures of the AP list for a person to look at: run with
// KAVO_SCREENSHOT_DIR set (and a display, e.g. QT_QPA_PLATFORM=xcb under
// Xvfb). Without it the test is skipped.
#include "Aplist.h"
#include "MessageBox.h"
#include "TestEnv.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

void setFields(TFormAPList& d, const char* a, const char* b, const char* c, const char* e)
{
    d.Memo1->setText(a);
    d.Memo2->setText(b);
    d.Memo3->setText(c);
    d.Memo4->setText(e);
}

void save(QWidget& w, const QString& dir, const QString& name)
{
    QApplication::processEvents();
    QTest::qWait(150);
    EXPECT_TRUE(w.grab().save(dir + "/" + name + ".png")) << name.toStdString();
    // The whole screen as the display server draws it, when a display is there.
    if (QGuiApplication::platformName() == "xcb")
        QProcess::execute("import", {"-window", "root", dir + "/" + name + "-screen.png"});
}

TEST(AplistScreenshots, AutomaticAndManualModes)
{
    const QByteArray dir = qgetenv("KAVO_SCREENSHOT_DIR");
    if (dir.isEmpty())
        GTEST_SKIP() << "KAVO_SCREENSHOT_DIR is not set";
    kavo::test::IsolatedEnv env;

    TFormAPList d;
    d.AddRow("10.0.0.2", std::string("1.3c"));
    d.AddRow("10.0.0.7", std::string("1.3b"));
    d.AddRow("192.168.100.254", std::string("1.4"));
    d.AddRow("172.16.0.1", std::nullopt);
    d.show();
    QApplication::setActiveWindow(&d);
    (void)QTest::qWaitForWindowActive(&d);
    save(d, dir, "aplist-automatic");

    d.hide();
    d.ClearList();
    d.AddNotFoundEntry();
    setFields(d, "192", "168", "1", "220");
    d.show();
    (void)QTest::qWaitForWindowActive(&d);
    save(d, dir, "aplist-manual");
    d.hide();

    TFormAPList::setScreenDpiOverride(120);
    TFormAPList large;
    large.AddNotFoundEntry();
    setFields(large, "10", "010", "0", "1");
    large.show();
    (void)QTest::qWaitForWindowActive(&large);
    save(large, dir, "aplist-manual-largefonts");
    TFormAPList::setScreenDpiOverride(0);
}

}  // namespace
