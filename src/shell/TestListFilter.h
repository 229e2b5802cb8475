#pragma once

#include <QSortFilterProxyModel>

namespace vigix {

// The main list in the order of its captions, narrowed to the tests whose number, date or name contain what
// the examiner typed. Spaces, letter case and full- or half-width forms do not matter ("ﾔﾏﾀﾞ" finds "ヤマダ",
// "yamada" finds "Yamada", "山田太郎" finds "山田 太郎").
class TTestListFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    // The role of the first column that holds a row's search key (SearchKey of its number, date and name).
    static constexpr int SearchKeyRole = Qt::UserRole + 1;

    using QSortFilterProxyModel::QSortFilterProxyModel;

    static QString SearchKey(const QString &text);
    // Empty: every test.
    void SetSearchText(const QString &text);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    QString m_needle;
};

} // namespace vigix
