// The test binary's entry: one application object of the wizard's own
// class for the widget tests, message boxes answered by the tests.
#include "Application.h"
#include "MessageBox.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    kavo::ui::MessageBox::setTestMode(true);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
