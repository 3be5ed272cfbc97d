#pragma once
// The app's one client of the composition backend. It holds the configuration
// (base URL and the user's key), knows where that comes from, and performs the
// two exchanges: a prompt to a graph (compose) and a cover with its palette to a
// graph (composeFromImage). Every exchange ends in exactly one call of its
// completion, on the main thread; only "bundle spec unreadable" is reported
// before the call returns. Nothing is retried or logged here. Main thread only.

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "compose/BackendExchange.h"

class MainQueue;
class QNetworkAccessManager;
class Settings;

// How an exchange ended: the graph as compact JSON text, or the message to show.
struct ComposeResult {
    std::optional<QString> graph;
    QString error;  // the user-visible description; meaningful when graph is none

    static ComposeResult success(QString graphJson) { return {std::move(graphJson), {}}; }
    static ComposeResult failure(QString message) { return {std::nullopt, std::move(message)}; }
};

class ComposeClient : public QObject {
    Q_OBJECT
public:
    struct Config {
        QString baseUrl;  // joined with request paths by plain concatenation
        QString appKey;   // empty: signed out; else sent as "x-app-key"
        bool operator==(const Config&) const = default;
    };

    static constexpr double kComposeTimeout = 20.0;
    static constexpr double kImageTimeout = 25.0;

    using Done = std::function<void(const ComposeResult&)>;

    ComposeClient(QNetworkAccessManager& network, MainQueue& queue, Config config, QObject* parent = nullptr);
    ~ComposeClient() override;

    // The configuration from the config file, "VESMER_APP_KEY" and the stored
    // "pro.key", in rising precedence for the key. A key holding control
    // characters after trimming counts as empty: it would be sent as a header.
    static Config loadConfig(const Settings& settings);
    // $XDG_CONFIG_HOME/vesmer/config.json (default ~/.config/vesmer/config.json).
    static QString configPath();

    const Config& config() const { return m_config; }
    // Replaces the whole configuration; exchanges under way keep theirs.
    void setConfig(Config config) { m_config = std::move(config); }

    // `description` is the page's vesmerSpec() text; `lastGraph` its vesmerLastGraph().
    void compose(const QString& prompt, const QString& description, const std::optional<QString>& lastGraph, bool vary,
                 bool fresh, Done done);
    void composeFromImage(const QString& steer, const QString& imageDataUrl, const QStringList& palette,
                          const QString& description, Done done);

    // How each exchange reads the backend's answer, in the order of its rules.
    static ComposeResult composeReply(const BackendAnswer& answer);
    static ComposeResult imageReply(const BackendAnswer& answer, const QStringList& palette);

    struct DescriptionParts;

private:
    void send(const QString& description, const std::function<QJsonObject(const DescriptionParts&)>& body, double timeout,
              std::function<ComposeResult(const BackendAnswer&)> result, Done done);

    Config m_config;
    BackendExchange m_exchange;
};
