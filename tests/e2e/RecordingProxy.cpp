#include "RecordingProxy.h"

#include <httplib.h>

RecordingProxy::RecordingProxy(std::string upstreamHost, int upstreamPort)
    : m_upstreamHost(std::move(upstreamHost)), m_upstreamPort(upstreamPort), m_server(std::make_unique<httplib::Server>())
{
    const auto forward = [this](const httplib::Request& request, httplib::Response& response) {
        {
            const std::lock_guard lock(m_mutex);
            m_requests.push_back({request.method, request.path, request.get_header_value("x-app-key"), request.body});
        }
        httplib::Client upstream(m_upstreamHost, m_upstreamPort);
        upstream.set_read_timeout(60);
        httplib::Headers headers;
        if (request.has_header("x-app-key"))
            headers.emplace("x-app-key", request.get_header_value("x-app-key"));
        const std::string target = request.target.empty() ? request.path : request.target;
        const auto answer = request.method == "POST"
            ? upstream.Post(target, headers, request.body, request.get_header_value("content-type"))
            : upstream.Get(target, headers);
        if (!answer) {
            response.status = 502;
            return;
        }
        response.status = answer->status;
        response.set_content(answer->body, answer->get_header_value("content-type"));
    };
    m_server->Get(".*", forward);
    m_server->Post(".*", forward);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

RecordingProxy::~RecordingProxy()
{
    m_server->stop();
    m_thread.join();
}

std::vector<RecordingProxy::Request> RecordingProxy::requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}
