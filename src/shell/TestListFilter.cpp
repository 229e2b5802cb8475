#include "TestListFilter.h"

namespace vigix {

QString TTestListFilter::SearchKey(const QString &text)
{
    // Compatibility forms fold full-width letters and digits and half-width kana into one form.
    QString key = text.normalized(QString::NormalizationForm_KC).toCaseFolded();
    key.removeIf([](QChar c) { return c.isSpace(); });
    return key;
}

void TTestListFilter::SetSearchText(const QString &text)
{
    const QString needle = SearchKey(text);
    if (needle == m_needle)
        return;
    m_needle = needle;
    invalidateRowsFilter();
}

bool TTestListFilter::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    if (m_needle.isEmpty())
        return true;
    const QModelIndex first = sourceModel()->index(sourceRow, 0, sourceParent);
    return first.data(SearchKeyRole).toString().contains(m_needle);
}

} // namespace vigix
