// The proxy settings dialog: what it shows from the shared key, what OK
// stores and hands to the FTP client, and its keys.
#include "MainFixture.h"
#include "NMFTP.h"
#include "Proxy.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTimer>

#include <optional>

namespace {

namespace ui = kavo::ui;
namespace settings = kavo::settings;
using Values = std::map<std::string, std::optional<std::string>>;

class Proxy : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        ui::MessageBox::clearShown();
    }

    void store(const Values& values)
    {
        auto k = key();
        for (const auto& [name, value] : values)
            if (value)
                k->writeString(name, *value);
            else
                k->deleteValue(name);
    }
    Values stored()
    {
        auto k = key();
        Values v;
        for (const char* name : {settings::kProxyEnable, settings::kProxyAddr, settings::kProxyPort}) {
            auto raw = k->readRaw(name);
            v[name] = raw ? std::optional(k->readString(name)) : std::nullopt;
        }
        return v;
    }

    // A dialog as the main window opens it, shown and active.
    TFormProxy& open()
    {
        dialog = std::make_unique<TFormProxy>(nullptr, ftpProxy, ftpPort);
        dialog->show();
        QApplication::setActiveWindow(dialog.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return *dialog;
    }

    std::string ftpProxy = "earlier";
    int ftpPort = 0;
    std::unique_ptr<TFormProxy> dialog;
};

TEST_F(Proxy, OpensFromTheStoredValues)
{
    struct Case {
        const char* name;
        Values values;
        bool on;
        const char *addr, *port;
    } cases[] = {
        {"nothing stored", {{"ProxyEnable", std::nullopt}, {"ProxyAddr", "a"}, {"ProxyPort", "1"}}, false, "", ""},
        {"on without an address", {{"ProxyEnable", "1"}, {"ProxyAddr", std::nullopt}, {"ProxyPort", std::nullopt}},
         true, "", ""},
        {"on", {{"ProxyEnable", "1"}, {"ProxyAddr", "proxy.lan"}, {"ProxyPort", "0080"}}, true, "proxy.lan", "0080"},
        {"off keeps the fields empty", {{"ProxyEnable", "0"}, {"ProxyAddr", "proxy.lan"}, {"ProxyPort", "21"}},
         false, "", ""},
        {"only exactly 1 is on", {{"ProxyEnable", "1 "}, {"ProxyAddr", "proxy.lan"}}, false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store(c.values);
        TFormProxy d(nullptr, ftpProxy, ftpPort);
        EXPECT_EQ(d.CheckBox1->isChecked(), c.on);
        for (QLineEdit* field : {d.edtAddr, d.edtPort}) {
            EXPECT_EQ(field->isEnabled(), c.on);
            const QColor expected = d.palette().color(QPalette::Active, c.on ? QPalette::Base : QPalette::Window);
            EXPECT_EQ(field->palette().color(QPalette::Disabled, QPalette::Base), expected);
        }
        EXPECT_EQ(d.edtAddr->text(), c.addr);
        EXPECT_EQ(d.edtPort->text(), c.port);
    }
}

TEST_F(Proxy, OkStoresTheFieldsAndHandsThemToTheFtpClient)
{
    struct Case {
        const char* name;
        bool on;
        const char *addr, *port;
        int portBefore;
        Values stored;
        std::string proxy;
        int ftpPortAfter;
    } cases[] = {
        {"port empty: the client's port stays", true, "proxy.lan", "", 0,
         {{"ProxyEnable", "1"}, {"ProxyAddr", "proxy.lan"}, {"ProxyPort", ""}}, "proxy.lan", 0},
        {"port empty after an earlier OK", true, "proxy.lan", "", 2121,
         {{"ProxyEnable", "1"}, {"ProxyAddr", "proxy.lan"}, {"ProxyPort", ""}}, "proxy.lan", 2121},
        {"stored as typed, given as a number", true, "10.0.0.9", "0080", 0,
         {{"ProxyEnable", "1"}, {"ProxyAddr", "10.0.0.9"}, {"ProxyPort", "0080"}}, "10.0.0.9", 80},
        {"no upper bound", true, "p", "99999", 0, {{"ProxyEnable", "1"}, {"ProxyAddr", "p"}, {"ProxyPort", "99999"}},
         "p", 99999},
        {"too large for a number", true, "p", "99999999999", 7,
         {{"ProxyEnable", "1"}, {"ProxyAddr", "p"}, {"ProxyPort", ""}}, "p", 7},
        {"box off: empty values, whatever the fields hold", false, "proxy.lan", "8080", 2121,
         {{"ProxyEnable", "0"}, {"ProxyAddr", ""}, {"ProxyPort", ""}}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store({{"ProxyEnable", "1"}, {"ProxyAddr", "old"}, {"ProxyPort", "1"}});
        ftpPort = c.portBefore;
        TFormProxy& d = open();
        d.edtAddr->setText(c.addr);
        d.edtPort->setText(c.port);
        QTest::mouseClick(d.CheckBox1, Qt::LeftButton);
        if (c.on)
            QTest::mouseClick(d.CheckBox1, Qt::LeftButton);
        // Turning the box off keeps the texts on screen.
        EXPECT_EQ(d.edtAddr->text(), c.addr);
        QTest::mouseClick(d.BitBtn1, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(stored(), c.stored);
        EXPECT_EQ(ftpProxy, c.proxy);
        EXPECT_EQ(ftpPort, c.ftpPortAfter);
        EXPECT_TRUE(shown().empty());
    }
}

TEST_F(Proxy, OkWithoutAnAddressAsksForOneAndStoresNothing)
{
    store({{"ProxyEnable", "1"}, {"ProxyAddr", std::nullopt}, {"ProxyPort", "21"}});
    TFormProxy& d = open();
    d.edtPort->setFocus();
    QTest::keyClick(d.edtPort, Qt::Key_Return);  // Enter is OK
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, TFormProxy::kNoProxyText);
    EXPECT_EQ(shown()[0].caption, "");
    EXPECT_EQ(shown()[0].icon, ui::Icon::Error);
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(QApplication::focusWidget(), d.edtAddr);
    EXPECT_EQ(stored(), (Values{{"ProxyEnable", "1"}, {"ProxyAddr", std::nullopt}, {"ProxyPort", "21"}}));
    EXPECT_EQ(ftpProxy, "earlier");
}

TEST_F(Proxy, CancelAndEscapeStoreNothing)
{
    for (bool escape : {false, true}) {
        store({{"ProxyEnable", "0"}, {"ProxyAddr", ""}, {"ProxyPort", ""}});
        ftpPort = 5;
        TFormProxy& d = open();
        QTest::mouseClick(d.CheckBox1, Qt::LeftButton);
        d.edtAddr->setText("proxy.lan");
        d.edtPort->setText("8080");
        if (escape)
            QTest::keyClick(d.edtAddr, Qt::Key_Escape);
        else
            QTest::mouseClick(d.BitBtn2, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_EQ(stored(), (Values{{"ProxyEnable", "0"}, {"ProxyAddr", ""}, {"ProxyPort", ""}}));
        EXPECT_EQ(ftpProxy, "earlier");
        EXPECT_EQ(ftpPort, 5);
    }
}

TEST_F(Proxy, AltKeysMoveToEnabledFieldsOnly)
{
    store({{"ProxyEnable", std::nullopt}});
    TFormProxy& d = open();
    d.CheckBox1->setFocus();
    QTest::keyClick(d.CheckBox1, Qt::Key_A, Qt::AltModifier);
    QTest::keyClick(d.CheckBox1, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.CheckBox1);

    QTest::keyClick(d.CheckBox1, Qt::Key_Space);  // on: the address field takes the focus
    EXPECT_TRUE(d.CheckBox1->isChecked());
    EXPECT_EQ(QApplication::focusWidget(), d.edtAddr);
    QTest::keyClick(d.edtAddr, Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.edtPort);
    QTest::keyClick(d.edtPort, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.edtAddr);
    EXPECT_EQ(d.edtAddr->text(), "");  // the letters went nowhere
    EXPECT_EQ(d.edtPort->text(), "");
}

TEST_F(Proxy, PortTakesDigitsOnlyAndWarnsOfPastedCharacters)
{
    store({{"ProxyEnable", "1"}, {"ProxyAddr", "p"}});
    TFormProxy& d = open();
    d.edtPort->setFocus();
    QTest::keyClicks(d.edtPort, "8a0-8 1");
    QTest::keyClick(d.edtPort, Qt::Key_Backspace);
    EXPECT_EQ(d.edtPort->text(), "808");
    EXPECT_TRUE(shown().empty());

    // Only a paste brings other characters; leaving the field warns.
    d.edtPort->setText("80x0");
    QTest::keyClick(d.edtPort, Qt::Key_Tab);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, TFormProxy::kInvalidCharacters);
    EXPECT_EQ(shown()[0].caption, "");
    EXPECT_EQ(shown()[0].icon, ui::Icon::Error);
    EXPECT_EQ(QApplication::focusWidget(), d.edtPort);
    EXPECT_EQ(d.edtPort->selectedText(), "80x0");

    // An empty field passes.
    d.edtPort->clear();
    QTest::keyClick(d.edtPort, Qt::Key_Tab);
    EXPECT_EQ(shown().size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), d.BitBtn1);
}

TEST_F(Proxy, TheDialogAsTheMainWindowOpensIt)
{
    TestFormMain& f = create();
    f.show();
    EXPECT_FALSE(f.btnProxy->isVisible());  // no step of the wizard shows the button

    store({{"ProxyEnable", "1"}, {"ProxyAddr", "proxy.lan"}, {"ProxyPort", "2121"}});
    QString title, className;
    QSize size;
    QPoint centre;
    QStringList tabs;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<TFormProxy*>(QApplication::activeModalWidget());
        ASSERT_TRUE(d);
        title = d->windowTitle();
        className = d->metaObject()->className();
        size = d->size();
        centre = d->frameGeometry().center();
        for (QWidget* w = d->CheckBox1; tabs.size() < 5; w = w->nextInFocusChain())
            if (w->focusPolicy() & Qt::TabFocus)
                tabs << w->objectName();
        EXPECT_EQ(d->parentWidget(), &f);
        d->edtAddr->setText("other.lan");
        d->BitBtn1->click();
    });
    f.btnProxyClick();
    EXPECT_EQ(title, "Proxy Server");
    EXPECT_EQ(className, "TFormProxy");
    EXPECT_EQ(size, QSize(343, 218));
    EXPECT_LE((centre - f.frameGeometry().center()).manhattanLength(), 2);  // centred on the main window
    EXPECT_EQ(tabs, QStringList({"CheckBox1", "edtAddr", "edtPort", "BitBtn1", "BitBtn2"}));
    EXPECT_EQ(stored()["ProxyAddr"], "other.lan");
    EXPECT_TRUE(f.findChildren<TFormProxy*>().isEmpty());  // destroyed when closed
}

}  // namespace

namespace {

// A port that is no TCP port (0 in a fresh program with the port left
// empty, or 99999 as typed) fails the connection with the connect message;
// it is never cut to 16 bits into another port.
TEST_F(Proxy, APortThatIsNoTcpPortFailsTheConnection)
{
    struct Case {
        const char* port;
        int given;
    } cases[] = {{"", 0}, {"99999", 99999}, {"65536", 65536}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        TestFormMain& f = create();
        QTimer::singleShot(0, [&] {
            auto* d = qobject_cast<TFormProxy*>(QApplication::activeModalWidget());
            ASSERT_TRUE(d);
            d->CheckBox1->setChecked(true);
            d->edtAddr->setText("127.0.0.1");
            d->edtPort->setText(c.port);
            d->BitBtn1->click();
        });
        f.btnProxyClick();
        ASSERT_EQ(f.NMFTP1->ProxyPort, c.given);
        ui::MessageBox::clearShown();
        f.TFormMain::ConnectToUpdateServer();
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0].text, QString("Error: Invalid port %1 for 127.0.0.1").arg(c.given) +
                                       tidewell::kConnectFailedText);
        EXPECT_EQ(shown()[0].icon, ui::Icon::Error);
        EXPECT_FALSE(f.NMFTP1->Connected());
        TearDown();
    }
}

}  // namespace
