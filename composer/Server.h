#pragma once
// The composer's HTTP side, on cpp-httplib: POST /api/compose, GET
// /api/desktop-key, the sign-in page GET /app/?desktop-auth=1 with its form
// POST /app/keys, and GET /healthz. One log line per request.

#include <QString>
#include <functional>
#include <memory>

namespace composer {

class Composer;
class KeyStore;

struct ServerOptions {
    int composeLimit = 30;      // compose requests per key per minute
    int signInTries = 10;       // sign-in tries per address per minute (off loopback)
    bool invitesOnly = false;   // ask every caller for an invite code, loopback included
    int threads = 16;
    QString version;
};

// Loopback addresses, IPv4 and IPv6 (also IPv4-mapped).
bool isLoopbackAddress(const QString& address);

class Server {
public:
    using Log = std::function<void(const QString& line)>;
    Server(ServerOptions options, KeyStore& keys, const Composer& composer, Log log);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds; port 0 takes a free one. Returns the port, or -1.
    int bind(const QString& host, int port);
    // Serves until stop(); returns false when serving failed.
    bool run();
    // From any thread, also before run() has started listening.
    void stop();

    static constexpr size_t kMaxBody = 16u * 1024u * 1024u;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace composer
