// GoogleTest main for the composer's tests: a QCoreApplication (the composer is a
// service without a display) and private XDG folders.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* name : {"XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
