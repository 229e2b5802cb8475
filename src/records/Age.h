#pragma once

#include <QString>

#include <optional>

namespace vigix {

// A child's age at the test, in whole years and months.
struct TAge
{
    int Years = 0;
    int Months = 0;
    bool operator==(const TAge &) const = default;
};

// The age from the birth year and month and the test date-time ("yyyy/MM/..."). Only years and months count:
// a child born in the test month has the full year already. A two-digit test year is taken as 20xx.
// Empty when the birth year or month is not an integer; there is no range check.
// Raises EConvertError when the test date-time does not begin with a year, "/", a month, "/".
std::optional<TAge> AgeAtTest(const QString &birthYear, const QString &birthMonth, const QString &testDateTime);

} // namespace vigix
