// Flashpost: writes the firmware file named in the list file to the chosen
// access point. It takes no arguments.
#include "FlashpostApp.h"

int main(int argc, char** argv)
{
    CFlashpostApp app(argc, argv);
    return app.InitInstance();
}
