#pragma once

// Turns the running dose counter of one dosimeter into the dose received
// between its readings. Readings are fed in time order (ties by the order in
// which they were stored); each one yields what it adds to the dose of record.
//
// - The first valid reading is the baseline: it adds nothing.
// - A reading at or above the highest reading so far adds the difference.
// - A reading below half of the highest reading so far means the counter was
//   reset (a dose reset or a repair): it adds the reading itself.
// - Any other reading below the highest so far adds nothing and leaves the
//   highest in place. This covers tiny backward jumps of the counter and
//   readings whose time stamps are out of order (a clock set back), so that
//   no dose is counted twice.
// - A reading that is not a number, infinite or negative is no counter value:
//   it is skipped and changes nothing.
class DoseCounter
{
public:
    enum class Kind { Skipped, Baseline, Increase, Reset, Drop };

    struct Step
    {
        Kind kind = Kind::Skipped;
        double increment = 0; // never negative
    };

    // The share of the highest reading below which a drop counts as a reset.
    static constexpr double ResetFraction = 0.5;

    static bool isCounterValue(double reading);

    Step add(double reading);

    bool started() const { return m_started; }
    // The highest reading since the baseline or the last reset.
    double highest() const { return m_highest; }
    // Continues a timeline whose earlier readings were fed elsewhere.
    void resume(bool started, double highest);

private:
    bool m_started = false;
    double m_highest = 0;
};
