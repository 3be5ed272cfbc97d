#pragma once
// The system log: diagnostic lines that begin with "[vesmer] ". Main thread only.
// The app writes them to standard error (journald keeps them); tests keep them in memory.

#include <QString>

class SystemLog {
public:
    virtual ~SystemLog() = default;
    // `line` is the whole line, prefix included, without a trailing newline.
    virtual void write(const QString& line) = 0;
};
