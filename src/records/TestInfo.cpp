#include "TestInfo.h"

#include "ShiftJis.h"

#include <array>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace vigix {

namespace {

constexpr int NamedFields = 16;
constexpr int FirstAdhd = 17;
constexpr int FirstPdd = 35;

struct NamedField
{
    QString TTestInfo::*member;
    const char16_t *name;
    const char16_t *label;
};

const std::array<NamedField, NamedFields> &namedFields()
{
    static const std::array<NamedField, NamedFields> fields{{
        {&TTestInfo::Kensabangou, u"Kensabangou", u"検査番号"},
        {&TTestInfo::Kensanichiji, u"Kensanichiji", u"検査日時"},
        {&TTestInfo::Shimei1, u"Shimei1", u"氏名"},
        {&TTestInfo::Shimei2, u"Shimei2", u"氏名"},
        {&TTestInfo::Seinengappi1, u"Seinengappi1", u"生年月日（年）"},
        {&TTestInfo::Seinengappi2, u"Seinengappi2", u"生年月日（月）"},
        {&TTestInfo::Seinengappi3, u"Seinengappi3", u"生年月日（日）"},
        {&TTestInfo::Seibetsu, u"Seibetsu", u"性別"},
        {&TTestInfo::Shindanmei, u"Shindanmei", u"診断名"},
        {&TTestInfo::Touyaku, u"Touyaku", u"投薬"},
        {&TTestInfo::Ritarin, u"Ritarin", u"リタリン"},
        {&TTestInfo::Kenzya, u"Kenzya", u"検者"},
        {&TTestInfo::Memo, u"Memo", u"メモ"},
        {&TTestInfo::PIQ, u"PIQ", u"PIQ"},
        {&TTestInfo::VIQ, u"VIQ", u"VIQ"},
        {&TTestInfo::FIQ, u"FIQ", u"FIQ"},
    }};
    return fields;
}

// Criteria of the PDD checklist in field order.
void checkIndex(int i)
{
    if (i < 1 || i > TTestInfo::FieldCount)
        throw std::out_of_range("subject field " + std::to_string(i) + " outside 1..46");
}

} // namespace

QString &TTestInfo::Field(int i)
{
    return const_cast<QString &>(std::as_const(*this).Field(i));
}

const QString &TTestInfo::Field(int i) const
{
    checkIndex(i);
    if (i < FirstAdhd)
        return this->*namedFields()[static_cast<std::size_t>(i - 1)].member;
    if (i < FirstPdd)
        return ADHD[i - FirstAdhd + 1];
    return PDD[i - FirstPdd + 1];
}

QString TTestInfo::FieldName(int i)
{
    checkIndex(i);
    if (i < FirstAdhd)
        return QString::fromUtf16(namedFields()[static_cast<std::size_t>(i - 1)].name);
    if (i < FirstPdd)
        return u"ADHD[%1]"_s.arg(i - FirstAdhd + 1);
    return u"PDD[%1]"_s.arg(i - FirstPdd + 1);
}

QString TTestInfo::FieldLabel(int i)
{
    checkIndex(i);
    if (i < FirstAdhd)
        return QString::fromUtf16(namedFields()[static_cast<std::size_t>(i - 1)].label);
    if (i < FirstPdd)
        return u"ADHD %1."_s.arg(i - FirstAdhd + 1);
    return u"PDD "_s + PddCriterion(i - FirstPdd + 1);
}

QString TTestInfo::PddCriterion(int k)
{
    return QString::number((k - 1) / 4 + 1) + u'-' + QChar(u'a' + (k - 1) % 4);
}

std::optional<TTestInfo::TUnstorable> TTestInfo::FirstUnstorableField() const
{
    for (int i = 1; i <= FieldCount; ++i) {
        if (std::optional<QString> bad = FirstUnstorableCharacter(Field(i)))
            return TUnstorable{i, *bad};
    }
    return std::nullopt;
}

} // namespace vigix
