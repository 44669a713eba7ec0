#include "db/DoseCounter.h"

#include <cmath>

bool DoseCounter::isCounterValue(double reading)
{
    return std::isfinite(reading) && reading >= 0;
}

DoseCounter::Step DoseCounter::add(double reading)
{
    if (!isCounterValue(reading))
        return {Kind::Skipped, 0};
    if (!m_started) {
        m_started = true;
        m_highest = reading;
        return {Kind::Baseline, 0};
    }
    if (reading >= m_highest) {
        const double increment = reading - m_highest;
        m_highest = reading;
        return {Kind::Increase, increment};
    }
    if (reading < m_highest * ResetFraction) {
        m_highest = reading;
        return {Kind::Reset, reading};
    }
    return {Kind::Drop, 0};
}

void DoseCounter::resume(bool started, double highest)
{
    m_started = started && isCounterValue(highest);
    m_highest = m_started ? highest : 0;
}
