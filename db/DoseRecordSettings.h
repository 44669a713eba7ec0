#pragma once

// The office-wide dose accounting settings. They live in the database (table
// OfficeSettings), so that every workstation counts the same way.
struct DoseRecordSettings
{
    // Whether the dose sums add what the dosimeters' counter readings (type
    // 200) show to the dose records (type 300).
    bool countReadings = true;
    // Limits of the annual accounting, in the stored unit (mSv).
    double annualLimit = 20;
    double fiveYearLimit = 100;
    double singleYearLimit = 50;

    bool operator==(const DoseRecordSettings &other) const;
    bool operator!=(const DoseRecordSettings &other) const { return !(*this == other); }
};
