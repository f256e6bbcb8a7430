// TFormMain: the proxy settings dialog, opened by the (hidden) "Proxy
// Setup" button of the first page.
#include "Main.h"

#include "NMFTP.h"
#include "Proxy.h"

void TFormMain::btnProxyClick()
{
    // A new dialog for each opening, destroyed when it closes; its result
    // means nothing here. OK hands its settings to the FTP client.
    TFormProxy dialog(this, NMFTP1->Proxy, NMFTP1->ProxyPort);
    dialog.exec();
}
