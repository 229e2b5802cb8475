#pragma once

#include "OneBasedArray.h"

#include <QString>

#include <optional>

namespace vigix {

// Subject record of one test: 46 text fields, in the order of the first line of the test file.
// No field is ever parsed as a number: IQ values, checklist answers and birth date parts stay text.
struct TTestInfo
{
    static constexpr int FieldCount = 46;

    QString Kensabangou;  // test number, also the file name stem
    QString Kensanichiji; // date and time of the test, "yyyy/MM/dd HH:mm:ss"
    QString Shimei1;
    QString Shimei2;
    QString Seinengappi1; // birth year
    QString Seinengappi2; // birth month
    QString Seinengappi3; // birth day
    QString Seibetsu;
    QString Shindanmei;
    QString Touyaku;
    QString Ritarin;
    QString Kenzya;
    QString Memo;
    QString PIQ;
    QString VIQ;
    QString FIQ;
    OneBasedArray<QString, 18> ADHD;
    OneBasedArray<QString, 12> PDD;

    // Field i (1..46) in file order.
    QString &Field(int i);
    const QString &Field(int i) const;

    // Program name of field i, e.g. "Shimei1" or "ADHD[3]".
    static QString FieldName(int i);
    // Label of field i as the card shows it, e.g. "氏名" or "ADHD 3." or "PDD 1-a".
    static QString FieldLabel(int i);

    // The name as every window shows it, "山田 太郎", and the birth date as "1993/12/5".
    QString FullName() const { return Shimei1 + u' ' + Shimei2; }
    QString BirthDate() const { return Seinengappi1 + u'/' + Seinengappi2 + u'/' + Seinengappi3; }

    // Name of PDD criterion k (1..12): "1-a" .. "3-d".
    static QString PddCriterion(int k);

    // The first field (1..46) holding a character a test file cannot keep, with that character.
    struct TUnstorable
    {
        int field;
        QString character;
    };
    std::optional<TUnstorable> FirstUnstorableField() const;

    bool operator==(const TTestInfo &other) const = default;
};

} // namespace vigix
