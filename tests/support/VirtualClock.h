#pragma once
// Test time: stands still until a test (or VirtualQueue::advance) moves it.

#include "platform/Clock.h"

class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double start = 1'800'000'000.0) : m_now(start) {}
    double now() const override { return m_now; }
    void set(double t) { m_now = t; }
    void advance(double seconds) { m_now += seconds; }

private:
    double m_now;
};
