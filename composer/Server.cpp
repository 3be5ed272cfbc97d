#include "Server.h"

#include <QByteArray>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrlQuery>
#include <chrono>
#include <deque>
#include <httplib.h>
#include <map>
#include <mutex>
#include <thread>
#include <atomic>
#include <unordered_map>

#include "Composer.h"
#include "KeyStore.h"
#include "SignInPage.h"

namespace composer {

using Clock = std::chrono::steady_clock;

bool isLoopbackAddress(const QString& address)
{
    QHostAddress a(address);
    if (a.isNull())
        return false;
    bool mapped = false;
    const quint32 v4 = a.toIPv4Address(&mapped);
    if (mapped)
        return (v4 >> 24) == 127;
    return a.isLoopback();
}

namespace {

const QString kSignInError = QStringLiteral("sign in to generate — this computer has no key this composer accepts");

// At most `limit` events per key in any 60 seconds.
class SlidingWindow {
public:
    explicit SlidingWindow(int limit) : m_limit(limit) {}

    // True when the event is allowed (and counts it); else the seconds to wait.
    bool allow(const std::string& key, int* retryAfter)
    {
        const auto now = Clock::now();
        std::lock_guard lock(m_mutex);
        if (m_hits.size() > 10000)
            prune(now);
        auto& hits = m_hits[key];
        while (!hits.empty() && now - hits.front() >= std::chrono::seconds(60))
            hits.pop_front();
        if (int(hits.size()) >= m_limit) {
            *retryAfter = int(std::chrono::duration_cast<std::chrono::seconds>(hits.front() + std::chrono::seconds(60) - now)
                                  .count())
                          + 1;
            return false;
        }
        hits.push_back(now);
        return true;
    }

private:
    void prune(Clock::time_point now)
    {
        for (auto it = m_hits.begin(); it != m_hits.end();) {
            if (it->second.empty() || now - it->second.back() >= std::chrono::seconds(60))
                it = m_hits.erase(it);
            else
                ++it;
        }
    }

    int m_limit;
    std::mutex m_mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> m_hits;
};

// Form nonces of the sign-in page: each works once, for 30 minutes.
class NonceBook {
public:
    QString issue()
    {
        QByteArray bits(16, Qt::Uninitialized);
        QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(bits.data()),
                                             reinterpret_cast<quint32*>(bits.data() + bits.size()));
        const QString nonce =
            QString::fromLatin1(bits.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        const auto now = Clock::now();
        std::lock_guard lock(m_mutex);
        while (!m_order.empty() && (m_order.front().first <= now || m_order.size() >= 20000)) {
            m_live.erase(m_order.front().second);
            m_order.pop_front();
        }
        const auto expiry = now + std::chrono::minutes(30);
        m_live.emplace(nonce, expiry);
        m_order.emplace_back(expiry, nonce);
        return nonce;
    }

    bool spend(const QString& nonce)
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_live.find(nonce);
        if (it == m_live.end())
            return false;
        const bool fresh = it->second > Clock::now();
        m_live.erase(it);
        return fresh;
    }

private:
    std::mutex m_mutex;
    std::map<QString, Clock::time_point> m_live;
    std::deque<std::pair<Clock::time_point, QString>> m_order;
};

// What the log line of the request on this thread says; httplib runs a request
// from its first line to the log call on one thread.
struct RequestContext {
    Clock::time_point start;
    bool started = false;
    QString engine;
};
thread_local RequestContext tl_request;

std::string text(const QString& s)
{
    return s.toStdString();
}

QString qtext(const std::string& s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

void sendJson(httplib::Response& res, int status, const QJsonObject& body)
{
    res.status = status;
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    res.set_content(bytes.constData(), size_t(bytes.size()), "application/json");
    res.set_header("Cache-Control", "no-store");
}

void sendError(httplib::Response& res, int status, const QString& message)
{
    sendJson(res, status, QJsonObject{{QStringLiteral("error"), message}});
}

void sendHtml(httplib::Response& res, int status, const QString& html)
{
    res.status = status;
    res.set_content(text(html), "text/html; charset=utf-8");
    res.set_header("Content-Security-Policy", kSignInPolicy);
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("Cache-Control", "no-store");
}

// A path fit for a log line: no control characters, not too long.
QString loggedPath(const std::string& path)
{
    QString p = qtext(path).left(200);
    for (QChar& c : p)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char('?');
    return p.isEmpty() ? QStringLiteral("-") : p;
}

QString statusText(int status)
{
    switch (status) {
    case 400: return QStringLiteral("bad request");
    case 404: return QStringLiteral("not found");
    case 405: return QStringLiteral("method not allowed");
    case 413: return QStringLiteral("the request body is larger than 16 MB");
    case 414: return QStringLiteral("the request address is too long");
    case 415: return QStringLiteral("unsupported content encoding");
    case 416: return QStringLiteral("range not satisfiable");
    default: return QStringLiteral("the request failed (HTTP %1)").arg(status);
    }
}

enum class Body { Ok, TooLarge, Failed };

Body readBody(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader, std::string& out)
{
    bool tooLarge = false;
    auto receive = [&](const char* data, size_t n) {
        if (out.size() + n > Server::kMaxBody) {
            tooLarge = true;
            return false;
        }
        out.append(data, n);
        return true;
    };
    bool ok = false;
    if (req.is_multipart_form_data())
        ok = reader([](const httplib::MultipartFormData&) { return true; }, receive);
    else
        ok = reader(receive);
    if (tooLarge || res.status == 413)
        return Body::TooLarge;
    return ok ? Body::Ok : Body::Failed;
}

}  // namespace

struct Server::Impl {
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> runEntered{false};
    ServerOptions opt;
    KeyStore& keys;
    const Composer& composer;
    Log log;
    httplib::Server http;
    SlidingWindow composeWindow;
    SlidingWindow signInWindow;
    NonceBook nonces;

    Impl(ServerOptions o, KeyStore& k, const Composer& c, Log l)
        : opt(std::move(o)), keys(k), composer(c), log(std::move(l)), composeWindow(opt.composeLimit),
          signInWindow(opt.signInTries)
    {
    }

    static QString header(const httplib::Request& req, const char* name)
    {
        return qtext(req.get_header_value(name)).trimmed();
    }

    // Only a request straight from this machine may mint a key without an invite.
    // Behind a proxy on the same machine the peer is loopback too, so any
    // forwarding header makes the request remote.
    bool isLocal(const httplib::Request& req) const
    {
        if (opt.invitesOnly || !isLoopbackAddress(qtext(req.remote_addr)))
            return false;
        for (const char* h : {"Forwarded", "X-Forwarded-For", "X-Real-IP", "X-Forwarded-Host"})
            if (req.has_header(h))
                return false;
        return true;
    }

    // The address a sign-in try counts against: the peer, or, for a proxy on this
    // machine, the last address it forwarded.
    static QString clientAddress(const httplib::Request& req)
    {
        const QString peer = qtext(req.remote_addr);
        if (isLoopbackAddress(peer)) {
            const QString forwarded = header(req, "X-Forwarded-For");
            if (!forwarded.isEmpty())
                return forwarded.split(QLatin1Char(',')).last().trimmed().left(64);
            const QString real = header(req, "X-Real-IP");
            if (!real.isEmpty())
                return real.left(64);
        }
        return peer;
    }

    void methodNotAllowed(httplib::Response& res, const char* allow)
    {
        res.set_header("Allow", allow);
        sendError(res, 405, QStringLiteral("method not allowed here; use %1").arg(QLatin1String(allow)));
    }

    // GET, HEAD, OPTIONS and body-less DELETE.
    void handleNoBody(const httplib::Request& req, httplib::Response& res)
    {
        const std::string& path = req.path;
        const bool get = req.method == "GET" || req.method == "HEAD";
        if (path == "/healthz") {
            if (!get)
                return methodNotAllowed(res, "GET");
            return sendJson(res, 200,
                            {{QStringLiteral("ok"), true},
                             {QStringLiteral("service"), QStringLiteral("vesmer-composer")},
                             {QStringLiteral("version"), opt.version}});
        }
        if (path == "/api/desktop-key") {
            if (!get)
                return methodNotAllowed(res, "GET");
            return desktopKey(req, res);
        }
        if (path == "/app/" || path == "/app") {
            if (!get)
                return methodNotAllowed(res, "GET");
            return signInPage(req, res, {}, false, 200);
        }
        if (path == "/api/compose")
            return methodNotAllowed(res, "POST");
        if (path == "/app/keys")
            return methodNotAllowed(res, "POST");
        sendError(res, 404, QStringLiteral("not found"));
    }

    // POST, PUT, PATCH and DELETE with a body: the body is always read (up to
    // 16 MB) before the answer, so the connection stays in step.
    void handleBody(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader)
    {
        std::string body;
        const Body read = readBody(req, res, reader, body);
        if (read == Body::TooLarge) {
            res.set_header("Connection", "close");
            return sendError(res, 413, QStringLiteral("the request body is larger than 16 MB"));
        }
        if (read == Body::Failed)
            return sendError(res, 400, QStringLiteral("the request body could not be read"));
        const bool post = req.method == "POST";
        if (req.path == "/api/compose") {
            if (!post)
                return methodNotAllowed(res, "POST");
            return compose(req, res, body);
        }
        if (req.path == "/app/keys") {
            if (!post)
                return methodNotAllowed(res, "POST");
            return mintKey(req, res, body);
        }
        handleNoBody(req, res);
    }

    void compose(const httplib::Request& req, httplib::Response& res, const std::string& body)
    {
        const QString key = header(req, "x-app-key");
        if (key.isEmpty())
            return sendError(res, 401, kSignInError);
        switch (keys.check(key)) {
        case KeyStore::Verdict::Valid:
            break;
        case KeyStore::Verdict::Failed:
            return sendError(res, 503, QStringLiteral("the composer's key database is not answering; try again"));
        default:
            return sendError(res, 401, kSignInError);
        }
        int retryAfter = 60;
        if (!composeWindow.allow(text(KeyStore::hashOf(key)), &retryAfter)) {
            res.set_header("Retry-After", std::to_string(retryAfter));
            return sendError(res, 429, QStringLiteral("too many scenes in a minute — wait a little and try again"));
        }
        const ComposeOutcome outcome = composer.compose(QByteArray::fromRawData(body.data(), qsizetype(body.size())));
        tl_request.engine = outcome.engine;
        sendJson(res, outcome.status, outcome.body);
    }

    void desktopKey(const httplib::Request& req, httplib::Response& res)
    {
        const QString key = header(req, "x-app-key");
        const KeyStore::Verdict v = key.isEmpty() ? KeyStore::Verdict::Unknown : keys.check(key);
        if (v == KeyStore::Verdict::Valid)
            return sendJson(res, 200, QJsonObject{});
        if (v == KeyStore::Verdict::Failed)
            return sendError(res, 503, QStringLiteral("the composer's key database is not answering; try again"));
        sendError(res, 401, v == KeyStore::Verdict::Revoked ? QStringLiteral("this key was revoked; sign in again")
                                                            : QStringLiteral("unknown key; sign in again"));
    }

    void signInPage(const httplib::Request& req, httplib::Response& res, const QString& message, bool error, int status)
    {
        SignInPage page;
        page.needsInvite = !isLocal(req);
        page.nonce = nonces.issue();
        page.message = message;
        page.messageIsError = error;
        sendHtml(res, status, renderSignInPage(page));
    }

    void mintKey(const httplib::Request& req, httplib::Response& res, const std::string& body)
    {
        // A form posted from another site's page carries that site's origin.
        // Behind a proxy the page's host may arrive as X-Forwarded-Host.
        const QString origin = header(req, "Origin");
        bool sameSite = origin.isEmpty() || origin == QLatin1String("null");
        for (const QString& host : {header(req, "Host"), header(req, "X-Forwarded-Host").section(QLatin1Char(','), 0, 0).trimmed()})
            if (!host.isEmpty() && (origin == QStringLiteral("http://") + host || origin == QStringLiteral("https://") + host))
                sameSite = true;
        if (!sameSite)
            return sendError(res, 403, QStringLiteral("this form only works from the composer's own sign-in page"));

        QString form = qtext(body).left(4096);
        form.replace(QLatin1Char('+'), QLatin1String("%20"));
        const QUrlQuery query(form);
        const QString nonce = query.queryItemValue(QStringLiteral("nonce"), QUrl::FullyDecoded);
        const QString invite = query.queryItemValue(QStringLiteral("invite"), QUrl::FullyDecoded);
        const bool local = isLocal(req);
        if (!local) {
            int retryAfter = 60;
            if (!signInWindow.allow(text(clientAddress(req)), &retryAfter)) {
                res.set_header("Retry-After", std::to_string(retryAfter));
                return signInPage(req, res, QStringLiteral("Too many tries from your address. Wait a minute, then try again."),
                                  true, 429);
            }
        }
        if (!nonces.spend(nonce))
            return signInPage(req, res, QStringLiteral("That page had expired. Press the button once more."), true, 403);
        if (!local && !keys.useInvite(invite))
            return signInPage(req, res,
                              QStringLiteral("That invite code is not valid: it may be mistyped, used already, or "
                                             "more than a day old."),
                              true, 403);
        const auto issued = keys.issue(local ? QStringLiteral("signed in on this computer")
                                             : QStringLiteral("signed in from %1 with an invite").arg(clientAddress(req)));
        if (!issued)
            return signInPage(req, res, QStringLiteral("The composer could not store a key just now. Try again."),
                              true, 503);
        res.status = 303;
        res.set_header("Location", text(QStringLiteral("vesmer://activate?key=") + issued->key));
        res.set_content(text(renderOpeningPage()), "text/html; charset=utf-8");
        res.set_header("Content-Security-Policy", kSignInPolicy);
        res.set_header("Referrer-Policy", "no-referrer");
        res.set_header("Cache-Control", "no-store");
    }

    void install()
    {
        http.new_task_queue = [threads = opt.threads] { return new httplib::ThreadPool(size_t(threads)); };
        http.set_payload_max_length(kMaxBody);
        http.set_read_timeout(10, 0);
        http.set_write_timeout(10, 0);
        http.set_keep_alive_max_count(100);
        // Idle keep-alive connections hold a worker, and hold up a stop, this long.
        http.set_keep_alive_timeout(2);
        http.set_tcp_nodelay(true);

        http.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
            tl_request.start = Clock::now();
            tl_request.started = true;
            tl_request.engine.clear();
            return httplib::Server::HandlerResponse::Unhandled;
        });
        auto noBody = [this](const httplib::Request& req, httplib::Response& res) { handleNoBody(req, res); };
        auto withBody = [this](const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& r) {
            handleBody(req, res, r);
        };
        http.Get(".*", noBody);
        http.Options(".*", noBody);
        http.Delete(".*", noBody);
        http.Post(".*", withBody);
        http.Put(".*", withBody);
        http.Patch(".*", withBody);
        http.Delete(".*", httplib::Server::HandlerWithContentReader(withBody));
        // Answers the library makes itself (bad request line, 413 by length, …)
        // get a JSON body too.
        http.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            sendError(res, res.status, statusText(res.status));
            return httplib::Server::HandlerResponse::Handled;
        }));
        http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            sendError(res, 500, QStringLiteral("the composer failed on this request"));
        });
        http.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
            const double ms = tl_request.started
                                  ? std::chrono::duration<double, std::milli>(Clock::now() - tl_request.start).count()
                                  : 0.0;
            const QString engine = tl_request.engine.isEmpty() ? QStringLiteral("-") : tl_request.engine;
            tl_request.started = false;
            tl_request.engine.clear();
            log(QStringLiteral("%1 %2 %3 %4 ms %5")
                    .arg(loggedPath(req.method.empty() ? std::string("-") : req.method), loggedPath(req.path))
                    .arg(res.status)
                    .arg(ms, 0, 'f', 1)
                    .arg(engine));
        });
    }
};

Server::Server(ServerOptions options, KeyStore& keys, const Composer& composer, Log log)
    : d(std::make_unique<Impl>(std::move(options), keys, composer, std::move(log)))
{
    d->install();
}

Server::~Server() = default;

int Server::bind(const QString& host, int port)
{
    if (port == 0)
        return d->http.bind_to_any_port(text(host));
    return d->http.bind_to_port(text(host), port) ? port : -1;
}

bool Server::run()
{
    d->runEntered = true;
    if (d->stopRequested)
        return true;
    return d->http.listen_after_bind();
}

void Server::stop()
{
    d->stopRequested = true;
    if (!d->runEntered)
        return;  // run() sees the request and returns at once
    // run() has begun: wait until the library listens, which it needs to stop.
    for (int i = 0; i < 2000 && !d->http.is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    d->http.stop();
}

}  // namespace composer
