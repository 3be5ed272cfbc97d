#pragma once
// An HTTP proxy on 127.0.0.1 in front of the composer: it records what the app
// sends (method, path, key, body) and forwards it unchanged. Serves on a thread
// of its own, so the app gets answers while the test waits.

#include <QString>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

class RecordingProxy {
public:
    struct Request {
        std::string method, path, key, body;
    };

    RecordingProxy(std::string upstreamHost, int upstreamPort);
    ~RecordingProxy();
    QString origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    std::vector<Request> requests() const;

private:
    std::string m_upstreamHost;
    int m_upstreamPort;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<Request> m_requests;
};
