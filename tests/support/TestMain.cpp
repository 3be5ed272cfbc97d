// The one GoogleTest main: a QApplication for the whole binary, in a private home.
#include <QApplication>
#include <gtest/gtest.h>

#include "PrivateHome.h"
#include "platform/SanitizerLeaks.h"

int main(int argc, char** argv)
{
    const PrivateHome home;
    if (!home.isValid())
        return 2;
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
        keepLibrariesLoaded();
    }
    // After the application, and with it the web engine's threads, is gone.
    return leaksFound() ? 1 : result;
}
