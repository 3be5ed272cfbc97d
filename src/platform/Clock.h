#pragma once
// Wall-clock time for the app's bookkeeping, in seconds since the Unix epoch.
// Main thread only. Tests use VirtualClock.

class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;

    // Earlier than any real time (1 January of year 1), so that the time elapsed
    // since it exceeds every threshold of the app, yet stays a finite number.
    static constexpr double distantPast() { return -62135596800.0; }
};
