#pragma once
// A player bridge run by the test: which players run, and the queries asked, each
// answered when the test says so.

#include <QList>
#include <QSet>
#include <QString>
#include <functional>

#include "platform/PlayerBridge.h"

class ScriptedPlayers final : public PlayerBridge {
public:
    bool isRunning(const QString& player) const override { return running.contains(player); }
    void query(const QString& player, std::function<void(const PlayerReply&)> done) override
    {
        queries.append({player, std::move(done)});
    }

    // Answers the oldest open query; false when none is open.
    bool answer(const PlayerReply& reply)
    {
        if (queries.isEmpty())
            return false;
        const auto [player, done] = queries.takeFirst();
        done(reply);
        return true;
    }
    bool answerText(const QString& text) { return answer(PlayerReply{false, std::nullopt, text, busName}); }

    struct Query {
        QString player;
        std::function<void(const PlayerReply&)> done;
    };
    QSet<QString> running;
    QList<Query> queries;
    QString busName = QStringLiteral("org.mpris.MediaPlayer2.test");
};
