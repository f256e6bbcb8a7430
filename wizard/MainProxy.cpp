// TFormMain: the proxy settings dialog, opened by the (hidden) "Proxy
// Setup" button of the first page.
#include "Main.h"

#include "Proxy.h"

void TFormMain::btnProxyClick()
{
    // A new dialog for each opening, destroyed when it closes; its result
    // means nothing here. OK hands its settings to the FTP client.
    static std::string proxy;  // replaced by the FTP client's settings
    static int proxyPort = 0;
    TFormProxy dialog(this, proxy, proxyPort);
    dialog.exec();
}
