#include "TestPageRecorder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "WebEngineHarness.h"

QString TestPageRecorder::pagePath()
{
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(QStringLiteral("testpage/index.html"));
}

bool TestPageRecorder::collect(int timeoutMs)
{
    const auto reply = WebEngineHarness::evaluate(m_page, QStringLiteral("__take()"), timeoutMs);
    if (!reply || !reply->value)
        return false;
    for (const QJsonValue& record : QJsonDocument::fromJson(reply->value->toUtf8()).array()) {
        const QJsonObject object = record.toObject();
        all << Call{object.value("fn").toString(), object.value("args").toArray()};
    }
    return true;
}

bool TestPageRecorder::waitFor(const QString& fn, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (calls(fn).size() < count) {
        if (deadline.hasExpired())
            return false;
        collect(int(std::max<qint64>(1, deadline.remainingTime())));
        WebEngineHarness::settle(20);
    }
    return true;
}

QList<TestPageRecorder::Call> TestPageRecorder::calls(const QString& fn) const
{
    QList<Call> out;
    for (const Call& call : all)
        if (call.fn == fn)
            out << call;
    return out;
}
