// Pictures of the wizard's pages for a person to look at. Runs only when
// KAVO_SCREENSHOT_DIR names a folder, on a real display:
//   QT_QPA_PLATFORM=xcb DISPLAY=:58 KAVO_SCREENSHOT_DIR=out bin/wizard_tests --gtest_filter='Screens*'
#include "MainFixture.h"
#include "MainPictures.h"

#include <QPainter>
#include <QScreen>
#include <QTest>

namespace {

namespace tw = tidewell;

class Screens : public MainFixture {
protected:
    void SetUp() override
    {
        dir = qEnvironmentVariable("KAVO_SCREENSHOT_DIR");
        if (dir.isEmpty())
            GTEST_SKIP() << "KAVO_SCREENSHOT_DIR is not set";
        MainFixture::SetUp();
    }

    // What the display shows of the window.
    void shoot(TFormMain& f, const QString& name)
    {
        f.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
        QTest::qWait(250);
        QRect r = f.frameGeometry();
        QPixmap pm = f.screen()->grabWindow(0, r.x(), r.y(), r.width(), r.height());
        ASSERT_TRUE(pm.save(dir + "/" + name + ".png")) << name.toStdString();
    }

    QString dir;
};

TEST_F(Screens, Pages)
{
    TestFormMain& f = create();
    shoot(f, "page1");

    for (int method : {tw::MethodInternet, tw::MethodDisk, tw::MethodDownload}) {
        f.ShowMethodPage();
        choose(method);
        searchGives(true, "0");
        if (method == tw::MethodDisk)
            kavo::ui::FileDialog::setNextFileName(QString::fromStdString(appDir + "/readme.zip"));
        f.BitBtn2Click();
        shoot(f, QStringLiteral("page2_method%1").arg(method));
    }

    // The disk method finished without installing: Finish in Next's place.
    f.ShowMethodPage();
    choose(tw::MethodDisk);
    searchGives(true, "1305");
    kavo::ui::FileDialog::setNextFileName(QString::fromStdString(appDir + "/a1305.zip"));
    kavo::ui::MessageBox::setNextAnswer(kavo::ui::Answer::No);
    f.BitBtn2Click();
    shoot(f, "page2_method1_finished");

    // The Internet method further on: three steps done, the download running.
    f.ShowMethodPage();
    choose(tw::MethodInternet);
    f.BitBtn2Click();
    for (int row = 1; row <= 3; ++row)
        f.TickRow(row);
    f.MarkerToRow(4);
    f.ProgressBar1->setValue(63);
    f.labProgress->setText("1032192 bytes of 1638400 received");
    f.bbtnStop->setEnabled(true);
    shoot(f, "page2_method0_progress");
    f.bbtnStop->setEnabled(false);

    // A failure at row 3, and the marker's frames.
    f.CrossAtRow(3);
    f.BitBtn1->setEnabled(true);
    shoot(f, "page2_method0_cross");
    f.MarkerToRow(2);
    f.imgDot->show();
    QPixmap strip(6 * 20, 20);
    strip.fill(Qt::white);
    {
        QPainter p(&strip);
        auto frames = tw::pictures::markerFrames();
        for (int i = 0; i < 6; ++i)
            p.drawPixmap(i * 20 + 3, 3, frames[static_cast<std::size_t>(i)]);
    }
    strip.scaled(strip.size() * 4).save(dir + "/marker_frames.png");
}

}  // namespace
