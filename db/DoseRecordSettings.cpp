#include "db/DoseRecordSettings.h"

bool DoseRecordSettings::operator==(const DoseRecordSettings &other) const
{
    return countReadings == other.countReadings && annualLimit == other.annualLimit
        && fiveYearLimit == other.fiveYearLimit && singleYearLimit == other.singleYearLimit;
}
