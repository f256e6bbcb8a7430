// The proxy settings dialog: whether the FTP transfer from the update server
// goes through a proxy, and which one. Keeps the choice in the shared key
// (ProxyEnable, ProxyAddr, ProxyPort) and hands host and port to the FTP
// client on OK.
#pragma once

#include <QDialog>

#include <string>

class QCheckBox;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class TImage;

class TFormProxy : public QDialog {
    Q_OBJECT
public:
    // `proxy` and `proxyPort` are the FTP client's settings that OK changes.
    TFormProxy(QWidget* owner, std::string& proxy, int& proxyPort);
    ~TFormProxy() override;

    static constexpr int kClientWidth = 343;
    static constexpr int kClientHeight = 218;

    static constexpr const char* kCaption = "Proxy Server";
    static constexpr const char* kExplanation =
        "Specifies whether updating through a proxy server. If checked, please enter its Address and Port. "
        "Contect your network administrator for this information.";
    static constexpr const char* kNoProxyText = "You must specify an FTP proxy server.";
    static constexpr const char* kInvalidCharacters = "Invalid characters! Please enter only digit characters.";

    // Controls, named as the dialog's own.
    TImage* Image1;
    QLabel* Label1;
    QGroupBox* GroupBox1;
    QCheckBox* CheckBox1;
    QLabel* Label2;
    QLineEdit* edtAddr;
    QLabel* Label3;
    QLineEdit* edtPort;
    QPushButton* BitBtn1;  // OK
    QPushButton* BitBtn2;  // Cancel

    // Handlers.
    void FormCreate();
    bool FormKeyDown(QKeyEvent* event);      // true when the key was taken
    void CheckBox1Click();
    bool edtPortKeyPress(QKeyEvent* event);  // true: the character is dropped
    void edtPortExit();
    void BitBtn1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void SetFieldsEnabled(bool on);

    std::string& m_proxy;
    int& m_proxyPort;
    bool m_inExitWarning = false;
};
