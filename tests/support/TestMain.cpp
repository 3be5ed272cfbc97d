// The one GoogleTest main: a QApplication for the whole binary, with HOME and the
// XDG user folders pointed at a private temporary folder, whatever the shell had
// set, so that no test can read or remove a user's real files. XDG_RUNTIME_DIR
// stays: it holds the sockets of the session's sound server and bus, no files.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "platform/SanitizerLeaks.h"

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    qputenv("HOME", home.path().toUtf8());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"}) {
        const QString path = home.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(path);
        qputenv(name, path.toUtf8());
    }
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
