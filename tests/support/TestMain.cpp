// The one GoogleTest main: a QApplication for the whole binary, and the app's
// files (log, status, settings) redirected below a private temporary folder.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* name : {"XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"})
        if (qEnvironmentVariableIsEmpty(name))
            qputenv(name, (home.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
