#include "KeyStore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QVariant>
#include <atomic>

namespace composer {

namespace {

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Last use is written at most this often per key: a busy key does not turn every
// request into a database write.
constexpr qint64 kLastUseResolution = 60;

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS app_keys ("
    " id VARCHAR(16) NOT NULL PRIMARY KEY,"
    " key_hash CHAR(64) NOT NULL UNIQUE,"
    " label VARCHAR(200) NOT NULL,"
    " created_at BIGINT NOT NULL,"
    " last_used_at BIGINT,"
    " revoked SMALLINT NOT NULL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS invites ("
    " code_hash CHAR(64) NOT NULL PRIMARY KEY,"
    " created_at BIGINT NOT NULL,"
    " expires_at BIGINT NOT NULL,"
    " used_at BIGINT)",
};

std::atomic<int> connectionCounter{0};

}  // namespace

QString defaultDatabasePath()
{
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/vesmer-composer/keys.sqlite");
}

QString KeyStore::hashOf(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString KeyStore::normalizeInvite(const QString& code)
{
    QString out;
    for (QChar c : code)
        if (c.isLetterOrNumber() && c.unicode() < 128)
            out += c.toUpper();
    return out.left(64);
}

template <typename F>
auto KeyStore::run(F&& f)
{
    using R = decltype(f(std::declval<QSqlDatabase&>()));
    R result{};
    const QString name = m_connection;
    QMetaObject::invokeMethod(
        m_context,
        [&] {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            result = f(db);
        },
        Qt::BlockingQueuedConnection);
    return result;
}

std::unique_ptr<KeyStore> KeyStore::open(const QString& path, QString* error)
{
    std::unique_ptr<KeyStore> store(new KeyStore);
    store->m_path = path;
    store->m_connection = QStringLiteral("vesmer-keys-%1").arg(connectionCounter.fetch_add(1));
    store->m_thread = std::make_unique<QThread>();
    store->m_thread->setObjectName(QStringLiteral("keys"));
    store->m_context = new QObject;
    store->m_context->moveToThread(store->m_thread.get());
    store->m_thread->start();
    bool ok = false;
    QString why;
    QMetaObject::invokeMethod(
        store->m_context, [&] { ok = store->init(&why); }, Qt::BlockingQueuedConnection);
    if (!ok) {
        if (error)
            *error = why;
        return nullptr;
    }
    return store;
}

bool KeyStore::init(QString* error)
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        *error = QStringLiteral("Qt's SQLite driver is missing (install libqt6sql6-sqlite)");
        return false;
    }
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    const bool existed = info.exists();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_path);
    // SQLite only: wait for a lock rather than fail while `keys issue` writes.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        *error = QStringLiteral("cannot open the key database %1: %2").arg(m_path, db.lastError().text());
        return false;
    }
    if (!existed)
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QSqlQuery q(db);
    q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    for (const char* statement : kSchema)
        if (!q.exec(QLatin1String(statement))) {
            *error = QStringLiteral("cannot prepare the key database %1: %2").arg(m_path, q.lastError().text());
            return false;
        }
    return true;
}

KeyStore::~KeyStore()
{
    if (m_context) {
        const QString name = m_connection;
        QMetaObject::invokeMethod(
            m_context,
            [name] {
                {
                    QSqlDatabase db = QSqlDatabase::database(name, false);
                    db.close();
                }
                QSqlDatabase::removeDatabase(name);
            },
            Qt::BlockingQueuedConnection);
        m_context->deleteLater();
    }
    m_thread->quit();
    m_thread->wait();
}

std::optional<KeyStore::Issued> KeyStore::issue(const QString& label)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        QByteArray bits(32, Qt::Uninitialized);
        QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(bits.data()),
                                             reinterpret_cast<quint32*>(bits.data() + bits.size()));
        const QString key = QString::fromLatin1(
            bits.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
        const QString hash = hashOf(key);
        const QString id = hash.left(12);
        const bool ok = run([&](QSqlDatabase& db) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("INSERT INTO app_keys (id, key_hash, label, created_at, revoked) "
                                     "VALUES (?, ?, ?, ?, 0)"));
            q.addBindValue(id);
            q.addBindValue(hash);
            q.addBindValue(label.left(200));
            q.addBindValue(now());
            return q.exec();
        });
        if (ok)
            return Issued{id, key};
    }
    return std::nullopt;
}

KeyStore::Verdict KeyStore::check(const QString& key)
{
    if (key.isEmpty() || key.size() > 512)
        return Verdict::Unknown;
    const QString hash = hashOf(key);
    return run([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT id, revoked, last_used_at FROM app_keys WHERE key_hash = ?"));
        q.addBindValue(hash);
        if (!q.exec())
            return Verdict::Failed;
        if (!q.next())
            return Verdict::Unknown;
        if (q.value(1).toInt() != 0)
            return Verdict::Revoked;
        const QString id = q.value(0).toString();
        const qint64 t = now();
        if (q.value(2).isNull() || q.value(2).toLongLong() < t - kLastUseResolution) {
            q.finish();
            QSqlQuery u(db);
            u.prepare(QStringLiteral("UPDATE app_keys SET last_used_at = ? WHERE id = ?"));
            u.addBindValue(t);
            u.addBindValue(id);
            u.exec();  // a failed note of last use does not refuse the key
        }
        return Verdict::Valid;
    });
}

std::vector<KeyStore::Row> KeyStore::list()
{
    return run([&](QSqlDatabase& db) {
        std::vector<Row> rows;
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT id, label, created_at, last_used_at, revoked FROM app_keys ORDER BY created_at, id"));
        while (q.next()) {
            Row r;
            r.id = q.value(0).toString();
            r.label = q.value(1).toString();
            r.createdAt = q.value(2).toLongLong();
            if (!q.value(3).isNull())
                r.lastUsedAt = q.value(3).toLongLong();
            r.revoked = q.value(4).toInt() != 0;
            rows.push_back(r);
        }
        return rows;
    });
}

bool KeyStore::revoke(const QString& id)
{
    return run([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE app_keys SET revoked = 1 WHERE id = ?"));
        q.addBindValue(id.trimmed().toLower());
        return q.exec() && q.numRowsAffected() == 1;
    });
}

std::optional<QString> KeyStore::createInvite(qint64 lifetimeSeconds)
{
    static const char alphabet[] = "ABCDEFGHJKMNPQRSTUVWXYZ23456789";  // no 0/O, 1/I/L
    QString code;
    for (int i = 0; i < 12; ++i) {
        if (i && i % 4 == 0)
            code += QLatin1Char('-');
        code += QLatin1Char(alphabet[QRandomGenerator::system()->bounded(int(sizeof alphabet - 1))]);
    }
    const QString hash = hashOf(normalizeInvite(code));
    const bool ok = run([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO invites (code_hash, created_at, expires_at) VALUES (?, ?, ?)"));
        q.addBindValue(hash);
        q.addBindValue(now());
        q.addBindValue(now() + lifetimeSeconds);
        return q.exec();
    });
    if (!ok)
        return std::nullopt;
    return code;
}

bool KeyStore::useInvite(const QString& code)
{
    const QString normal = normalizeInvite(code);
    if (normal.isEmpty())
        return false;
    const QString hash = hashOf(normal);
    return run([&](QSqlDatabase& db) {
        QSqlQuery q(db);
        // One statement: of two tries with the same code, only one changes the row.
        q.prepare(QStringLiteral("UPDATE invites SET used_at = ? WHERE code_hash = ? AND used_at IS NULL AND expires_at > ?"));
        q.addBindValue(now());
        q.addBindValue(hash);
        q.addBindValue(now());
        return q.exec() && q.numRowsAffected() == 1;
    });
}

}  // namespace composer
