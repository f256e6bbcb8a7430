// One QApplication for every test (offscreen); message boxes are recorded,
// never shown.
#include "MessageBox.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests at build time runs without the tests' environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    kavo::ui::MessageBox::setTestMode(true);
    return RUN_ALL_TESTS();
}
