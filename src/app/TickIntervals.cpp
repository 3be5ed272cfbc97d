#include "app/TickIntervals.h"

#include <QFile>
#include <cmath>

void TickIntervals::record(double seconds)
{
    const double ms = std::floor(seconds * 1000.0);
    // A clock stepped backwards gives a negative interval: it counts as 0 ms.
    const int bucket = ms >= kLastBucket ? kLastBucket : ms > 0.0 ? int(ms) : 0;
    ++m_counts[std::size_t(bucket)];
}

QString TickIntervals::text() const
{
    QString out;
    for (int ms = 0; ms <= kLastBucket; ++ms)
        if (const std::int64_t count = m_counts[std::size_t(ms)])
            out += QStringLiteral("%1 %2\n").arg(ms).arg(count);
    return out;
}

bool TickIntervals::writeTo(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text().toUtf8();
    return file.write(bytes) == bytes.size();
}
