// vesmer-composer: the composition backend. Serves prompts and covers as scenes,
// the sign-in page and the key check; `keys …` manages keys without a browser.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#include "Composer.h"
#include "KeyStore.h"
#include "Lexicon.h"
#include "LlmEngine.h"
#include "Server.h"

using namespace composer;

namespace {

const char* const kUsage =
    "Usage: vesmer-composer [options]\n"
    "       vesmer-composer keys issue [--label TEXT] | list | revoke ID | invite   [--db PATH]\n"
    "\n"
    "The composition backend of Vesmer: turns prompts and album covers into scenes for\n"
    "the visuals page, and hands out the keys the app signs in with.\n"
    "\n"
    "Options:\n"
    "  --listen ADDR:PORT  where to listen (default 127.0.0.1:38471; port 0 takes a free port;\n"
    "                      IPv6 as [::1]:38471). Keep it on loopback and put a TLS reverse\n"
    "                      proxy in front to share it.\n"
    "  --db PATH           the key database (default $XDG_DATA_HOME/vesmer-composer/keys.sqlite)\n"
    "  --lexicon PATH      the lexicon, what prompt words mean (default: the installed one)\n"
    "  --llm-url URL       also ask this OpenAI-compatible chat-completions server for scenes\n"
    "                      (llama.cpp's server, Ollama, vLLM); the built-in engine answers when\n"
    "                      it fails or is slow\n"
    "  --llm-model NAME    the model name to ask for\n"
    "  --llm-timeout SEC   how long to wait for the language model (default 15)\n"
    "  --compose-limit N   compose requests per key per minute (default 30)\n"
    "  --invites-only      ask for an invite code on the sign-in page even on this machine\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Keys:\n"
    "  keys issue          print a new key (give it to a user for \"appKey\" or VESMER_APP_KEY)\n"
    "  keys list           list keys: id, created, last used, state, label\n"
    "  keys revoke ID      revoke the key with that id\n"
    "  keys invite         print an invite code for the sign-in page (works once, for 24 hours)\n";

std::mutex g_logMutex;

void logLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::lock_guard lock(g_logMutex);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int usageError(const QString& message)
{
    logLine(QStringLiteral("vesmer-composer: ") + message);
    logLine(QStringLiteral("Try 'vesmer-composer --help'."));
    return 2;
}

QString lexiconPath(const QString& given)
{
    if (!given.isEmpty())
        return given;
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vesmer-composer/lexicon.json");
    if (QFileInfo::exists(beside))
        return QDir::cleanPath(beside);
    return QStringLiteral(VESMER_COMPOSER_DATADIR "/lexicon.json");
}

QString when(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

int keysCommand(const QStringList& args, const QString& dbPath, const QString& label)
{
    if (args.isEmpty())
        return usageError(QStringLiteral("keys needs one of: issue, list, revoke ID, invite"));
    const QString verb = args.first();
    if ((verb == QLatin1String("revoke")) != (args.size() == 2) || args.size() > 2)
        return usageError(QStringLiteral("keys %1: wrong number of arguments").arg(verb));
    QString error;
    auto store = KeyStore::open(dbPath, &error);
    if (!store) {
        logLine(QStringLiteral("vesmer-composer: ") + error);
        return 1;
    }
    if (verb == QLatin1String("issue")) {
        const auto issued = store->issue(label.isEmpty() ? QStringLiteral("issued with keys issue") : label);
        if (!issued) {
            logLine(QStringLiteral("vesmer-composer: could not store a new key in %1").arg(dbPath));
            return 1;
        }
        std::printf("%s\n", qPrintable(issued->key));
        std::fflush(stdout);
        logLine(QStringLiteral("vesmer-composer: issued key %1 (shown once; the database keeps only its hash)").arg(issued->id));
        return 0;
    }
    if (verb == QLatin1String("list")) {
        std::printf("%-12s  %-16s  %-16s  %-7s  %s\n", "ID", "CREATED", "LAST USED", "STATE", "LABEL");
        for (const KeyStore::Row& r : store->list())
            std::printf("%-12s  %-16s  %-16s  %-7s  %s\n", qPrintable(r.id), qPrintable(when(r.createdAt)),
                        qPrintable(r.lastUsedAt ? when(*r.lastUsedAt) : QStringLiteral("never")),
                        r.revoked ? "revoked" : "active", qPrintable(r.label));
        return 0;
    }
    if (verb == QLatin1String("revoke")) {
        if (!store->revoke(args.at(1))) {
            logLine(QStringLiteral("vesmer-composer: no key with id %1").arg(args.at(1)));
            return 1;
        }
        std::printf("revoked %s\n", qPrintable(args.at(1).trimmed().toLower()));
        return 0;
    }
    if (verb == QLatin1String("invite")) {
        const auto code = store->createInvite();
        if (!code) {
            logLine(QStringLiteral("vesmer-composer: could not store an invite code in %1").arg(dbPath));
            return 1;
        }
        std::printf("%s\n", qPrintable(*code));
        std::fflush(stdout);
        logLine(QStringLiteral("vesmer-composer: the code works once, until %1")
                    .arg(when(QDateTime::currentSecsSinceEpoch() + 24 * 3600)));
        return 0;
    }
    return usageError(QStringLiteral("unknown keys command: %1").arg(verb));
}

bool parseListen(const QString& text, QString* host, int* port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    QString h = text.left(colon);
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    bool ok = false;
    const int p = text.mid(colon + 1).toInt(&ok);
    if (!ok || p < 0 || p > 65535)
        return false;
    *host = h.isEmpty() ? QStringLiteral("127.0.0.1") : h;
    *port = p;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Signals are taken by one waiting thread; block them before any other starts.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vesmer-composer"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VESMER_VERSION));

    QString listen = QStringLiteral("127.0.0.1:38471"), dbPath = defaultDatabasePath(), lexicon, llmUrl, llmModel, label;
    double llmTimeout = 15;
    ServerOptions options;
    options.version = QStringLiteral(VESMER_VERSION);
    QStringList positional;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString* out) {
            if (i + 1 >= args.size())
                return false;
            *out = args[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == QLatin1String("--version")) {
            std::printf("vesmer-composer %s\n", VESMER_VERSION);
            return 0;
        }
        QString v;
        if (a == QLatin1String("--listen")) {
            if (!value(&listen))
                return usageError(QStringLiteral("--listen needs ADDR:PORT"));
        } else if (a == QLatin1String("--db")) {
            if (!value(&dbPath))
                return usageError(QStringLiteral("--db needs a path"));
        } else if (a == QLatin1String("--lexicon")) {
            if (!value(&lexicon))
                return usageError(QStringLiteral("--lexicon needs a path"));
        } else if (a == QLatin1String("--llm-url")) {
            if (!value(&llmUrl))
                return usageError(QStringLiteral("--llm-url needs a URL"));
        } else if (a == QLatin1String("--llm-model")) {
            if (!value(&llmModel))
                return usageError(QStringLiteral("--llm-model needs a name"));
        } else if (a == QLatin1String("--llm-timeout")) {
            bool ok = false;
            if (!value(&v) || (llmTimeout = v.toDouble(&ok), !ok) || llmTimeout <= 0 || llmTimeout > 600)
                return usageError(QStringLiteral("--llm-timeout needs seconds (more than 0, at most 600)"));
        } else if (a == QLatin1String("--compose-limit")) {
            bool ok = false;
            if (!value(&v) || (options.composeLimit = v.toInt(&ok), !ok) || options.composeLimit < 1)
                return usageError(QStringLiteral("--compose-limit needs a positive number"));
        } else if (a == QLatin1String("--label")) {
            if (!value(&label))
                return usageError(QStringLiteral("--label needs a text"));
        } else if (a == QLatin1String("--invites-only")) {
            options.invitesOnly = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            return usageError(QStringLiteral("unknown option %1").arg(a));
        } else {
            positional << a;
        }
    }
    if (!positional.isEmpty()) {
        if (positional.first() != QLatin1String("keys"))
            return usageError(QStringLiteral("unknown command %1").arg(positional.first()));
        return keysCommand(positional.mid(1), dbPath, label);
    }

    QString host;
    int port = 0;
    if (!parseListen(listen, &host, &port))
        return usageError(QStringLiteral("--listen needs ADDR:PORT, e.g. 127.0.0.1:38471"));
    QUrl llm;
    if (!llmUrl.isEmpty()) {
        llm = QUrl(llmUrl, QUrl::StrictMode);
        if (!llm.isValid() || (llm.scheme() != QLatin1String("http") && llm.scheme() != QLatin1String("https")))
            return usageError(QStringLiteral("--llm-url needs an http:// or https:// URL"));
    }

    QString error;
    const auto lex = Lexicon::load(lexiconPath(lexicon), &error);
    if (!lex) {
        logLine(QStringLiteral("vesmer-composer: ") + error);
        return 1;
    }
    auto keys = KeyStore::open(dbPath, &error);
    if (!keys) {
        logLine(QStringLiteral("vesmer-composer: ") + error);
        return 1;
    }
    std::unique_ptr<LlmEngine> llmEngine;
    if (llm.isValid())
        llmEngine = std::make_unique<LlmEngine>(llm, llmModel, std::chrono::milliseconds(qint64(llmTimeout * 1000)));
    Composer composer(lex, llmEngine.get());
    Server server(options, *keys, composer, logLine);
    const int bound = server.bind(host, port);
    if (bound < 0) {
        logLine(QStringLiteral("vesmer-composer: cannot listen on %1 (in use, or not an address of this machine)").arg(listen));
        return 1;
    }
    const QString shownHost = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    logLine(QStringLiteral("vesmer-composer %1: listening on http://%2:%3 (keys %4; lexicon %5 entries; engine %6)")
                .arg(QStringLiteral(VESMER_VERSION), shownHost)
                .arg(bound)
                .arg(keys->path())
                .arg(lex->size())
                .arg(llmEngine ? QStringLiteral("language model at %1, built-in as fallback")
                                     .arg(llmEngine->endpoint().toString(QUrl::RemoveUserInfo))
                               : QStringLiteral("built-in")));

    std::thread stopper([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool ok = server.run();
    // Wakes the waiting thread if it still waits (the signal is blocked everywhere
    // else, so a late one stays pending and harmless).
    ::kill(::getpid(), SIGTERM);
    stopper.join();
    logLine(QStringLiteral("vesmer-composer: stopped"));
    return ok ? 0 : 1;
}
