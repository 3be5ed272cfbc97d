#pragma once
// The desktop the end-to-end suite and the soak run share: a window manager, a
// second sound output, the real composer behind a recording proxy, a loopback
// lyrics service, a click track and a cover, started once per test binary; and
// per test a fresh home for the real vesmer binary, with what can be seen of it
// from outside (status file, scene log, what the composer received).

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "AppProcessTools.h"
#include "LoopbackHttpServer.h"
#include "RecordingProxy.h"

namespace e2e {

extern const QString kLyrics;

struct Desktop {
    Desktop();
    ~Desktop();
    QTemporaryDir dir;
    QProcess windowManager;
    QString secondSinkModule;
    QProcess composer;
    std::unique_ptr<RecordingProxy> proxy;
    LoopbackHttpServer lyrics;
    QString key;
    QString clickTrack, cover;
};

class EndToEnd : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static Desktop& desktop();

    void SetUp() override;
    // The composer behind the proxy, signed in with `key` (empty: signed out),
    // automatic scenes at `pace`.
    void configure(const QString& key, int pace = 1);
    void setSetting(const QString& key, const QVariant& value);
    std::unique_ptr<AppProcessTools::VesmerProcess> start(const QStringList& arguments = {});
    QJsonObject status() const;
    bool statusReaches(const char* member, const std::function<bool(const QJsonValue&)>& test, int timeoutMs);
    QString sceneLog() const;
    std::vector<RecordingProxy::Request> composerRequests(const std::string& path) const;
    // Whether the composer was asked for a scene whose `member` starts with `prefix`.
    bool composerAskedFor(const char* member, const QString& prefix) const;

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
};

}  // namespace e2e
