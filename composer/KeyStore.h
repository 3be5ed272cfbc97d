#pragma once
// Keys and invite codes in a real database through QtSql (SQLite by default).
// Only SHA-256 hashes are stored. The SQL is plain and portable (no AUTOINCREMENT,
// no SQLite-only syntax outside the connection settings), so a shared deployment
// can move the tables to a server database through the same code.
//
// All database work runs on one thread of the store's own (a QSqlDatabase belongs
// to the thread that opened it); every method may be called from any other thread
// and blocks until its statement has run.

#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QObject;
class QThread;

namespace composer {

class KeyStore {
public:
    // Opens (and creates, with its folder) the database at `path`.
    static std::unique_ptr<KeyStore> open(const QString& path, QString* error);
    ~KeyStore();
    KeyStore(const KeyStore&) = delete;
    KeyStore& operator=(const KeyStore&) = delete;

    struct Issued {
        QString id;
        QString key;  // shown once, never stored
    };
    // Mints a key of 256 random bits as URL-safe Base64 text.
    std::optional<Issued> issue(const QString& label);

    enum class Verdict { Valid, Unknown, Revoked, Failed };
    // Whether `key` was issued and not revoked; notes the use (at most once a minute).
    Verdict check(const QString& key);

    struct Row {
        QString id, label;
        qint64 createdAt = 0;
        std::optional<qint64> lastUsedAt;
        bool revoked = false;
    };
    std::vector<Row> list();
    // False when there is no key with that id.
    bool revoke(const QString& id);

    // An invite code that works once, for 24 hours: "ABCD-EFGH-JKMN".
    std::optional<QString> createInvite(qint64 lifetimeSeconds = 24 * 3600);
    // Spends the code: true exactly once, while it has not expired.
    bool useInvite(const QString& code);

    QString path() const { return m_path; }

    static QString hashOf(const QString& text);  // lower-case hex SHA-256
    static QString normalizeInvite(const QString& code);

private:
    KeyStore() = default;
    template <typename F> auto run(F&& f);
    bool init(QString* error);

    QString m_path;
    QString m_connection;
    std::unique_ptr<QThread> m_thread;
    QObject* m_context = nullptr;
};

// $XDG_DATA_HOME/vesmer-composer/keys.sqlite
QString defaultDatabasePath();

}  // namespace composer
