#include "compose/ComposerLauncher.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QUrl>

struct ComposerLauncher::Impl {
    MainQueue& queue;
    SystemLog& log;
    QStringList programs;
    std::function<void(QString)> keyIssued;
    QUrl origin;
    State state = State::Idle;
    bool keyConfigured = false;
    std::function<void()> answering;
    QString program;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();  // receiver of every Qt callback
    QNetworkAccessManager* nam = new QNetworkAccessManager(context.get());
    QProcess* child = nullptr;
    TaskHandle nextProbe;
    TaskHandle startDeadline;
    bool lineWritten = false;

    Impl(MainQueue& q, SystemLog& l, QStringList p, std::function<void(QString)> k, QString o)
        : queue(q), log(l), programs(std::move(p)), keyIssued(std::move(k)), origin(o)
    {
    }

    QString where() const { return origin.toString(QUrl::RemovePath); }

    void line(const QString& text)
    {
        if (lineWritten)
            return;
        lineWritten = true;
        log.write(QStringLiteral("[vesmer] composer: ") + text);
    }

    enum class Probe { Composer, Refused, Other };

    // GET /healthz; `done` gets whether a composer, nothing, or something else answers.
    void probe(std::function<void(Probe)> done)
    {
        QUrl url = origin;
        url.setPath(QStringLiteral("/healthz"));
        QNetworkRequest request(url);
        request.setTransferTimeout(int(kProbeSeconds * 1000));
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        // No idle connection left behind: it would hold up the composer's exit.
        request.setRawHeader("Connection", "close");
        QNetworkReply* reply = nam->get(request);
        QObject::connect(reply, &QNetworkReply::finished, context.get(), [reply, done = std::move(done)] {
            reply->deleteLater();
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            if (!status.isValid())
                return done(reply->error() == QNetworkReply::ConnectionRefusedError ? Probe::Refused : Probe::Other);
            const QJsonObject body = QJsonDocument::fromJson(reply->readAll()).object();
            const bool composer = status.toInt() == 200
                                  && body.value(QLatin1String("service")).toString() == QLatin1String("vesmer-composer");
            done(composer ? Probe::Composer : Probe::Other);
        });
    }

    void begin()
    {
        state = State::Probing;
        probe([this](Probe p) {
            if (p == Probe::Composer) {
                state = State::AlreadyRunning;
                line(QStringLiteral("using the composer already running at %1").arg(where()));
            } else if (p == Probe::Other) {
                state = State::PortHeld;
                line(QStringLiteral("%1 is held by something that is not vesmer-composer; prompt and cover scenes "
                                    "will fail until it is freed")
                         .arg(where()));
            } else {
                launch();
            }
        });
    }

    void launch()
    {
        for (const QString& candidate : programs) {
            const QFileInfo info(candidate);
            if (info.isFile() && info.isExecutable()) {
                program = info.absoluteFilePath();
                break;
            }
        }
        if (program.isEmpty()) {
            state = State::Failed;
            line(QStringLiteral("vesmer-composer not found (looked for %1); prompt and cover scenes need a backend")
                     .arg(programs.join(QStringLiteral(", "))));
            return;
        }
        state = State::Starting;
        child = new QProcess(context.get());
        // The composer's own lines (one per request) join the app's standard error.
        child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child->setStandardOutputFile(QProcess::nullDevice());
        child->setProgram(program);
        child->setArguments({QStringLiteral("--listen"), QStringLiteral("%1:%2").arg(origin.host()).arg(origin.port(80))});
        QObject::connect(child, &QProcess::finished, context.get(), [this](int code, QProcess::ExitStatus) {
            if (state == State::Starting || state == State::IssuingKey) {
                nextProbe.cancel();
                state = State::Failed;
                line(QStringLiteral("%1 exited (code %2) before it answered at %3").arg(program).arg(code).arg(where()));
            }
        });
        child->start();
        // Timed on the queue rather than counted in probes: against a composer that
        // accepts and never answers, each probe waits out its own time-out.
        startDeadline = queue.after(kStartSeconds, [this] {
            if (state != State::Starting)
                return;
            nextProbe.cancel();
            state = State::Failed;
            line(QStringLiteral("%1 did not answer at %2 within %3 s").arg(program, where()).arg(kStartSeconds));
            endChild();
        });
        waitUntilHealthy();
    }

    void waitUntilHealthy()
    {
        nextProbe = queue.after(0.1, [this] {
            if (state != State::Starting)
                return;
            probe([this](Probe p) {
                if (state != State::Starting)
                    return;
                if (p == Probe::Composer)
                    return healthy();
                waitUntilHealthy();
            });
        });
    }

    QString started() const
    {
        return QStringLiteral("started %1 (pid %2) at %3").arg(program).arg(child ? child->processId() : 0).arg(where());
    }

    void healthy()
    {
        if (keyConfigured) {
            state = State::Running;
            line(started());
            if (answering)
                answering();
            return;
        }
        state = State::IssuingKey;
        auto* issue = new QProcess(context.get());
        issue->setProgram(program);
        issue->setArguments({QStringLiteral("keys"), QStringLiteral("issue"), QStringLiteral("--label"),
                             QStringLiteral("this computer (issued by the app)")});
        QObject::connect(issue, &QProcess::finished, context.get(), [this, issue](int code, QProcess::ExitStatus status) {
            issue->deleteLater();
            const QString key = QString::fromUtf8(issue->readAllStandardOutput()).trimmed();
            if (state != State::IssuingKey)
                return;
            state = State::Running;
            if (status != QProcess::NormalExit || code != 0 || key.isEmpty()) {
                line(started() + QStringLiteral("; it could not issue a key (code %1), so sign in from the panel").arg(code));
                return;
            }
            line(started() + QStringLiteral(" and issued a key for this computer"));
            if (keyIssued)
                keyIssued(key);
        });
        issue->start();
    }

    void endChild()
    {
        if (!child)
            return;
        QProcess* p = child;
        child = nullptr;
        p->disconnect(context.get());
        if (p->state() != QProcess::NotRunning) {
            // Quitting must stay quick; the key store survives a kill.
            p->terminate();
            if (!p->waitForFinished(1000)) {
                p->kill();
                p->waitForFinished(1000);
            }
        }
        delete p;
    }
};

ComposerLauncher::ComposerLauncher(MainQueue& queue, SystemLog& log, QStringList programs,
                                   std::function<void(QString key)> keyIssued, QString origin)
    : d(std::make_unique<Impl>(queue, log, std::move(programs), std::move(keyIssued), std::move(origin)))
{
}

ComposerLauncher::~ComposerLauncher()
{
    stop();
}

void ComposerLauncher::start(const QString& configuredBaseUrl, bool keyConfigured, std::function<void()> answering)
{
    if (d->state != State::Idle)
        return;
    // The same origin, written with or without a trailing slash.
    auto same = [](const QUrl& a, const QUrl& b) {
        auto path = [](QString p) {
            while (p.endsWith(QLatin1Char('/')))
                p.chop(1);
            return p;
        };
        return a.scheme() == b.scheme() && a.host() == b.host() && a.port(80) == b.port(80) && path(a.path()) == path(b.path());
    };
    if (!same(QUrl(configuredBaseUrl), d->origin)) {
        d->state = State::NotNeeded;
        return;
    }
    d->keyConfigured = keyConfigured;
    d->answering = std::move(answering);
    d->begin();
}

void ComposerLauncher::stop()
{
    d->nextProbe.cancel();
    d->startDeadline.cancel();
    d->endChild();
}

ComposerLauncher::State ComposerLauncher::state() const
{
    return d->state;
}

qint64 ComposerLauncher::childPid() const
{
    return d->child ? d->child->processId() : 0;
}

QStringList ComposerLauncher::defaultPrograms(const QString& appDir, const QString& installPrefix)
{
    return {QDir(appDir).filePath(QStringLiteral("vesmer-composer")),
            QDir(installPrefix).filePath(QStringLiteral("libexec/vesmer-composer"))};
}
