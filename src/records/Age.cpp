#include "Age.h"

#include "Errors.h"

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

bool saneYear(int year)
{
    return year >= 0 && year <= 9999;
}

bool saneMonth(int month)
{
    return month >= 1 && month <= 12;
}

} // namespace

std::optional<TAge> AgeAtTest(const QString &birthYear, const QString &birthMonth, const QString &testDateTime)
{
    bool yearOk = false;
    bool monthOk = false;
    const int birthY = birthYear.toInt(&yearOk);
    const int birthM = birthMonth.toInt(&monthOk);
    // A typed "-1" counts as no year at all, as any other text that is not a number does, and so does a date no
    // calendar has (a year such as -2147483648 would also overflow the subtraction below).
    if (!yearOk || !monthOk || !saneYear(birthY) || !saneMonth(birthM))
        return std::nullopt;

    const qsizetype firstSlash = testDateTime.indexOf(u'/');
    const qsizetype secondSlash = firstSlash < 0 ? -1 : testDateTime.indexOf(u'/', firstSlash + 1);
    bool testYearOk = false;
    bool testMonthOk = false;
    int testYear = firstSlash < 0 ? 0 : testDateTime.left(firstSlash).toInt(&testYearOk);
    const int testMonth =
        secondSlash < 0 ? 0 : testDateTime.mid(firstSlash + 1, secondSlash - firstSlash - 1).toInt(&testMonthOk);
    if (!testYearOk || !testMonthOk || !saneYear(testYear) || !saneMonth(testMonth))
        throw EConvertError(
            u"検査日時 \"%1\" から年と月を読み取れません (年/月/日 の形ではありません)"_s.arg(testDateTime));

    if (testYear < 2000)
        testYear += 2000;
    TAge age{testYear - birthY, testMonth - birthM};
    if (age.Months < 0) {
        age.Years -= 1;
        age.Months += 12;
    }
    return age;
}

} // namespace vigix
