#include "platform/qt/StderrLog.h"

#include <cstdio>

void StderrLog::write(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
