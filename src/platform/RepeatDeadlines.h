#pragma once
// The run times of a repeating task: start + n × interval, n = 1, 2, … Each run
// is scheduled from these deadlines, never from the previous run, so rounding and
// late runs do not add up; deadlines already past when a late run ends are
// skipped rather than made up in a burst.

#include <cmath>
#include <cstdint>

class RepeatDeadlines {
public:
    RepeatDeadlines(double start, double interval) : m_start(start), m_interval(interval) {}

    // The deadline of the run that is due next.
    double due() const { return m_start + double(m_n) * m_interval; }
    // Moves on after a run, at time `now`: to the next deadline, or to the first
    // one after `now` if the run was late.
    double next(double now)
    {
        ++m_n;
        const auto passed = std::int64_t(std::floor((now - m_start) / m_interval));
        if (passed >= m_n)
            m_n = passed + 1;
        return due();
    }

private:
    double m_start;
    double m_interval;
    std::int64_t m_n = 1;
};
