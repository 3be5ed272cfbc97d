// GoogleTest main for the composer's tests: a QCoreApplication (the composer is a
// service without a display) in a private home, like the app's tests.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "PrivateHome.h"

int main(int argc, char** argv)
{
    const PrivateHome home;
    if (!home.isValid())
        return 2;
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
