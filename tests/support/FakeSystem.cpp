#include "FakeSystem.h"

int MemoryLog::countStartingWith(const QString& prefix) const
{
    int n = 0;
    for (const QString& line : lines)
        n += line.startsWith(prefix) ? 1 : 0;
    return n;
}
