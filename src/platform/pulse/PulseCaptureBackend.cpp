#include "platform/pulse/PulseCaptureBackend.h"

#include <pulse/pulseaudio.h>

#include <QObject>
#include <QTimer>
#include <QtGlobal>
#include <array>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "platform/TapError.h"

namespace {

constexpr pa_usec_t kStartTimeoutUsec = pa_usec_t(PulseCaptureBackend::kStartTimeoutSeconds * PA_USEC_PER_SEC);

// What a dead stream leaves in the sink: the pump then hears silence (and its
// watchdog can act) instead of the last window repeated for ever.
constexpr std::array<float, 1024> kSilence{};

[[noreturn]] void fail(const char* call, int code)
{
    throw TapError(std::string(call) + " failed (" + std::to_string(code) + ")");
}

int contextError(pa_context* context)
{
    return -pa_context_errno(context);
}

void release(pa_operation* operation)
{
    if (operation)
        pa_operation_unref(operation);
}

// Holds a threaded loop's lock for one scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* m_loop;
};

}  // namespace

// One capture: its own loop thread, context, stream and start deadline. Whatever
// part of that exists is released, in reverse order, when the session goes.
class PulseCaptureBackend::Session {
public:
    explicit Session(SampleSink& sink) : m_sink(sink) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Main thread, never blocks: makes the loop and context and starts the loop
    // thread. Throws TapError.
    void create();
    // The starting thread: connects, finds the monitor and waits until the stream
    // records. Returns its rate; throws TapError, also when cancelled.
    double open();
    // Main thread: makes open() give up at its next wake-up.
    void cancel();

private:
    void connectContext();
    void findMonitor();
    double record();
    template <typename Done>
    void waitUntil(Done done, const char* call);
    // Until `current()` is `ready` or can no longer get there (TapError naming `call`).
    template <typename Current, typename State>
    void waitReady(Current current, State ready, int (*good)(State), const char* call);
    void waitFor(pa_operation* operation, const char* call);
    void stopped();
    void signal() { pa_threaded_mainloop_signal(m_loop, 0); }

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onOperationState(pa_operation*, void* self);
    static void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self);
    static void onServerInfo(pa_context*, const pa_server_info* info, void* self);
    static void onSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* self);
    static void onRead(pa_stream* stream, size_t, void* self);

    SampleSink& m_sink;
    pa_threaded_mainloop* m_loop = nullptr;
    bool m_loopRunning = false;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    pa_time_event* m_deadline = nullptr;
    int m_channels = 1;
    // Touched under the loop lock only.
    bool m_timedOut = false;
    bool m_cancelled = false;
    bool m_recording = false;
    std::string m_defaultSink;
    std::string m_monitor;
    uint32_t m_sinkRate = 0;
    int m_sinkError = 0;
};

PulseCaptureBackend::Session::~Session()
{
    if (!m_loop)
        return;
    if (m_loopRunning)
        pa_threaded_mainloop_lock(m_loop);
    if (m_deadline)
        pa_threaded_mainloop_get_api(m_loop)->time_free(m_deadline);
    if (m_stream) {
        pa_stream_set_read_callback(m_stream, nullptr, nullptr);
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        if (pa_stream_get_state(m_stream) != PA_STREAM_UNCONNECTED)
            pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
    }
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
    }
    if (m_loopRunning) {
        pa_threaded_mainloop_unlock(m_loop);
        pa_threaded_mainloop_stop(m_loop);
    }
    pa_threaded_mainloop_free(m_loop);
}

void PulseCaptureBackend::Session::create()
{
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        fail("pa_threaded_mainloop_new", -PA_ERR_INTERNAL);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Vesmer");
    if (!m_context)
        fail("pa_context_new", -PA_ERR_INTERNAL);
    pa_context_set_state_callback(m_context, onContextState, this);
    if (pa_threaded_mainloop_start(m_loop) < 0)
        fail("pa_threaded_mainloop_start", -PA_ERR_INTERNAL);
    m_loopRunning = true;
}

double PulseCaptureBackend::Session::open()
{
    const LoopLock lock(m_loop);
    // One deadline for the whole start: a server that accepts the connection but
    // never answers must not hang the caller.
    m_deadline = pa_context_rttime_new(m_context, pa_rtclock_now() + kStartTimeoutUsec, onDeadline, this);
    connectContext();
    findMonitor();
    return record();
}

void PulseCaptureBackend::Session::connectContext()
{
    // No autospawn: without a server, capture fails instead of starting one.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        fail("pa_context_connect", contextError(m_context));
    waitReady([this] { return pa_context_get_state(m_context); }, PA_CONTEXT_READY, PA_CONTEXT_IS_GOOD,
        "pa_context_connect");
}

void PulseCaptureBackend::Session::findMonitor()
{
    waitFor(pa_context_get_server_info(m_context, onServerInfo, this), "pa_context_get_server_info");
    if (m_defaultSink.empty())
        throw TapError("no default output device (0)");
    waitFor(pa_context_get_sink_info_by_name(m_context, m_defaultSink.c_str(), onSinkInfo, this),
        "pa_context_get_sink_info_by_name");
    if (m_monitor.empty() || m_sinkRate == 0)
        fail("pa_context_get_sink_info_by_name", m_sinkError ? -m_sinkError : -PA_ERR_NOENTITY);
}

double PulseCaptureBackend::Session::record()
{
    // Mono at the sink's own rate: the server down-mixes and nothing is resampled.
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, m_sinkRate, 1};
    m_stream = pa_stream_new(m_context, "Vesmer System Audio Tap", &format, nullptr);
    if (!m_stream)
        fail("pa_stream_new", contextError(m_context));
    m_channels = format.channels;
    pa_stream_set_state_callback(m_stream, onStreamState, this);
    pa_stream_set_read_callback(m_stream, onRead, this);

    // Small fragments keep the newest window fresh; without ADJUST_LATENCY an idle
    // monitor delivers in chunks of up to two seconds.
    pa_buffer_attr attributes;
    attributes.maxlength = attributes.tlength = attributes.prebuf = attributes.minreq = uint32_t(-1);
    attributes.fragsize = uint32_t(pa_usec_to_bytes(pa_usec_t(kFragmentMs) * PA_USEC_PER_MSEC, &format));
    if (pa_stream_connect_record(m_stream, m_monitor.c_str(), &attributes, PA_STREAM_ADJUST_LATENCY) < 0)
        fail("pa_stream_connect_record", contextError(m_context));
    waitReady([this] { return pa_stream_get_state(m_stream); }, PA_STREAM_READY, PA_STREAM_IS_GOOD,
        "pa_stream_connect_record");

    m_recording = true;
    pa_threaded_mainloop_get_api(m_loop)->time_free(m_deadline);
    m_deadline = nullptr;
    return pa_stream_get_sample_spec(m_stream)->rate;
}

void PulseCaptureBackend::Session::cancel()
{
    const LoopLock lock(m_loop);
    m_cancelled = true;
    signal();
}

template <typename Done>
void PulseCaptureBackend::Session::waitUntil(Done done, const char* call)
{
    while (!done()) {
        if (m_cancelled)
            fail(call, -PA_ERR_KILLED);
        if (m_timedOut)
            fail(call, -PA_ERR_TIMEOUT);
        pa_threaded_mainloop_wait(m_loop);
    }
}

template <typename Current, typename State>
void PulseCaptureBackend::Session::waitReady(Current current, State ready, int (*good)(State), const char* call)
{
    waitUntil([&] {
        const State state = current();
        return state == ready || !good(state);
    }, call);
    if (current() != ready)
        fail(call, contextError(m_context));
}

void PulseCaptureBackend::Session::waitFor(pa_operation* operation, const char* call)
{
    if (!operation)
        fail(call, contextError(m_context));
    struct Release {
        void operator()(pa_operation* op) const
        {
            if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
                pa_operation_cancel(op);  // timed out: its callback must never run
            pa_operation_unref(op);
        }
    };
    const std::unique_ptr<pa_operation, Release> owned(operation);
    pa_operation_set_state_callback(operation, onOperationState, this);
    waitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, call);
    if (pa_operation_get_state(operation) == PA_OPERATION_CANCELLED)
        fail(call, contextError(m_context));
}

void PulseCaptureBackend::Session::stopped()
{
    if (!m_recording)
        return;
    m_recording = false;
    m_sink.writeMono(kSilence.data(), int(kSilence.size()), 1);
}

void PulseCaptureBackend::Session::onContextState(pa_context* context, void* self)
{
    auto* session = static_cast<Session*>(self);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
        session->stopped();
    session->signal();
}

void PulseCaptureBackend::Session::onStreamState(pa_stream* stream, void* self)
{
    auto* session = static_cast<Session*>(self);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream)))
        session->stopped();
    session->signal();
}

void PulseCaptureBackend::Session::onOperationState(pa_operation*, void* self)
{
    static_cast<Session*>(self)->signal();
}

void PulseCaptureBackend::Session::onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self)
{
    auto* session = static_cast<Session*>(self);
    session->m_timedOut = true;
    session->signal();
}

void PulseCaptureBackend::Session::onServerInfo(pa_context*, const pa_server_info* info, void* self)
{
    auto* session = static_cast<Session*>(self);
    if (info && info->default_sink_name)
        session->m_defaultSink = info->default_sink_name;
    session->signal();
}

void PulseCaptureBackend::Session::onSinkInfo(pa_context* context, const pa_sink_info* info, int eol, void* self)
{
    auto* session = static_cast<Session*>(self);
    if (eol < 0) {
        session->m_sinkError = pa_context_errno(context);
    } else if (info) {
        session->m_monitor = info->monitor_source_name ? info->monitor_source_name : "";
        session->m_sinkRate = info->sample_spec.rate;
    }
    session->signal();
}

void PulseCaptureBackend::Session::onRead(pa_stream* stream, size_t, void* self)
{
    // Loop thread: copy whole frames into the sink, nothing else.
    auto* session = static_cast<Session*>(self);
    const std::size_t frameBytes = std::size_t(session->m_channels) * sizeof(float);
    const void* data = nullptr;
    std::size_t bytes = 0;
    while (pa_stream_peek(stream, &data, &bytes) == 0 && bytes > 0) {
        if (data)  // no data means a hole in the stream: nothing to copy
            session->m_sink.writeMono(static_cast<const float*>(data), int(bytes / frameBytes), session->m_channels);
        pa_stream_drop(stream);
    }
}

// Follows the server's default sink on a connection of its own, for the life of
// the process. Comparisons run on its loop thread; changes and reconnects are
// posted to the main thread.
class PulseCaptureBackend::Watcher {
public:
    Watcher(QObject& mainContext, std::function<void()> changed);
    ~Watcher();
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    void setChanged(std::function<void()> changed) { m_changed = std::move(changed); }
    // Main thread: (re)connects with a fresh context.
    void connect();

private:
    void scheduleReconnect();
    void releaseContext();
    void queryDefault(pa_context* context);
    void defaultIs(const std::string& sink);

    static void onState(pa_context* context, void* self);
    static void onEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t, void* self);
    static void onServerInfo(pa_context*, const pa_server_info* info, void* self);

    QObject& m_main;
    std::function<void()> m_changed;  // main thread
    bool m_reconnectScheduled = false;  // main thread
    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    // Loop thread. None until the first answer after installation, which is the
    // baseline; empty while the server is gone.
    std::optional<std::string> m_defaultSink;
};

PulseCaptureBackend::Watcher::Watcher(QObject& mainContext, std::function<void()> changed)
    : m_main(mainContext), m_changed(std::move(changed))
{
    m_loop = pa_threaded_mainloop_new();
    if (m_loop && pa_threaded_mainloop_start(m_loop) < 0) {
        pa_threaded_mainloop_free(m_loop);
        m_loop = nullptr;
    }
    if (!m_loop)
        qWarning("output-device watch unavailable: pa_threaded_mainloop_start failed");
}

PulseCaptureBackend::Watcher::~Watcher()
{
    if (!m_loop)
        return;
    {
        const LoopLock lock(m_loop);
        releaseContext();
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
}

void PulseCaptureBackend::Watcher::connect()
{
    m_reconnectScheduled = false;
    if (!m_loop)
        return;
    bool failed = false;
    {
        const LoopLock lock(m_loop);
        releaseContext();
        m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Vesmer output watch");
        if (m_context) {
            pa_context_set_state_callback(m_context, onState, this);
            failed = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0;
        } else {
            failed = true;
        }
    }
    if (failed)
        scheduleReconnect();
}

void PulseCaptureBackend::Watcher::scheduleReconnect()
{
    if (m_reconnectScheduled)
        return;
    m_reconnectScheduled = true;
    QTimer::singleShot(kReconnectMs, &m_main, [this] { connect(); });
}

void PulseCaptureBackend::Watcher::releaseContext()
{
    if (!m_context)
        return;
    pa_context_set_state_callback(m_context, nullptr, nullptr);
    pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
    pa_context_disconnect(m_context);
    pa_context_unref(m_context);
    m_context = nullptr;
}

void PulseCaptureBackend::Watcher::queryDefault(pa_context* context)
{
    release(pa_context_get_server_info(context, onServerInfo, this));
}

void PulseCaptureBackend::Watcher::defaultIs(const std::string& sink)
{
    if (!m_defaultSink) {
        m_defaultSink = sink;
        return;
    }
    if (*m_defaultSink == sink)
        return;
    *m_defaultSink = sink;
    QMetaObject::invokeMethod(&m_main, [this] {
        if (m_changed)
            m_changed();
    }, Qt::QueuedConnection);
}

void PulseCaptureBackend::Watcher::onState(pa_context* context, void* self)
{
    auto* watcher = static_cast<Watcher*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        pa_context_set_subscribe_callback(context, onEvent, watcher);
        release(pa_context_subscribe(context, pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SERVER | PA_SUBSCRIPTION_MASK_SINK),
            nullptr, nullptr));
        watcher->queryDefault(context);
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        // Whatever default a returning server has is a change from "no server":
        // a capture stream of the old server is dead and must be rebuilt.
        if (watcher->m_defaultSink)
            watcher->m_defaultSink->clear();
        QMetaObject::invokeMethod(&watcher->m_main, [watcher] { watcher->scheduleReconnect(); }, Qt::QueuedConnection);
        break;
    default:
        break;
    }
}

void PulseCaptureBackend::Watcher::onEvent(pa_context* context, pa_subscription_event_type_t type, uint32_t, void* self)
{
    const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
    // Sink property changes (volume, state) cannot change the default; a server
    // change, a new sink or a removed one can.
    if (facility == PA_SUBSCRIPTION_EVENT_SERVER || (facility == PA_SUBSCRIPTION_EVENT_SINK && kind != PA_SUBSCRIPTION_EVENT_CHANGE))
        static_cast<Watcher*>(self)->queryDefault(context);
}

void PulseCaptureBackend::Watcher::onServerInfo(pa_context*, const pa_server_info* info, void* self)
{
    static_cast<Watcher*>(self)->defaultIs(info && info->default_sink_name ? info->default_sink_name : std::string());
}

PulseCaptureBackend::PulseCaptureBackend() : m_mainContext(std::make_unique<QObject>()) {}

PulseCaptureBackend::~PulseCaptureBackend()
{
    // The loop threads stop first, so nothing is posted to a context being deleted;
    // deleting the context then drops what was already posted.
    m_watcher.reset();
    stop();
    m_mainContext.reset();
}

void PulseCaptureBackend::start(SampleSink& sink, StartDone done)
{
    stop();
    const std::uint64_t attempt = ++m_attempt;
    m_done = std::move(done);
    auto session = std::make_unique<Session>(sink);
    try {
        session->create();
    } catch (const TapError& error) {
        // Answered later all the same, as the seam promises.
        QMetaObject::invokeMethod(m_mainContext.get(), [this, attempt, error] { finished(attempt, error, 0.0); },
            Qt::QueuedConnection);
        return;
    }
    m_session = std::move(session);
    // Connecting may wait up to kStartTimeoutSeconds for the server: on a thread of
    // its own, so the main thread never waits. The result is posted back.
    m_starter = std::thread([this, attempt, session = m_session.get()] {
        std::optional<TapError> error;
        double rate = 0.0;
        try {
            rate = session->open();
        } catch (const TapError& failure) {
            error = failure;
        }
        QMetaObject::invokeMethod(m_mainContext.get(), [this, attempt, error, rate] { finished(attempt, error, rate); },
            Qt::QueuedConnection);
    });
}

void PulseCaptureBackend::finished(std::uint64_t attempt, const std::optional<TapError>& error, double rate)
{
    if (attempt != m_attempt)
        return;  // stopped or restarted since: that start was released already
    if (m_starter.joinable())
        m_starter.join();
    if (error)
        m_session.reset();
    else
        m_sampleRate = rate;
    if (auto done = std::exchange(m_done, nullptr))
        done(error);
}

void PulseCaptureBackend::stop()
{
    ++m_attempt;  // a result still on its way is dropped
    m_done = nullptr;
    if (m_starter.joinable()) {
        m_session->cancel();
        m_starter.join();
    }
    m_session.reset();
}

void PulseCaptureBackend::watchDefaultOutput(std::function<void()> changed)
{
    if (m_watcher) {
        m_watcher->setChanged(std::move(changed));
        return;
    }
    m_watcher = std::make_unique<Watcher>(*m_mainContext, std::move(changed));
    m_watcher->connect();
}
