#pragma once
// A player bridge run by the test: which players run, and the queries asked, each
// answered (oldest first) when the test says so.

#include <QList>
#include <QSet>
#include <QString>

#include "platform/PlayerBridge.h"

class ScriptedPlayers final : public PlayerBridge {
public:
    bool isRunning(const QString& player) const override { return running.contains(player); }
    void query(const QString& player, std::function<void(const PlayerReply&)> done) override
    {
        queries.append({player, std::move(done)});
    }
    // False when no query is open.
    bool answer(const PlayerReply& reply)
    {
        if (queries.isEmpty())
            return false;
        queries.takeFirst().done(reply);
        return true;
    }
    bool answerText(const QString& text) { return answer({false, std::nullopt, text, "org.mpris.MediaPlayer2.test"}); }

    struct Query {
        QString player;
        std::function<void(const PlayerReply&)> done;
    };
    QSet<QString> running;
    QList<Query> queries;
};
