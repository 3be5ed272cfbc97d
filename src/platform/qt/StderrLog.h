#pragma once
// The system log on standard error, where journald picks it up.

#include "platform/SystemLog.h"

class StderrLog final : public SystemLog {
public:
    void write(const QString& line) override;
};
