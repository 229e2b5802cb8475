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
// Empty when the birth year or month is not an integer, or not a year 0..9999 and a month 1..12 (a child born
// after the test gets a negative age). Raises EConvertError when the test date-time does not begin with a
// year 0..9999, "/", a month 1..12, "/".
std::optional<TAge> AgeAtTest(const QString &birthYear, const QString &birthMonth, const QString &testDateTime);

} // namespace vigix
