#pragma once

#include <QLabel>

namespace vigix {

// A one-line label that ends a text too long for it with "…" instead of cutting it through a character, and
// then shows the whole text as its tool tip.
class TElidedLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

    // The whole text (text() is what is shown).
    void SetFullText(const QString &text);
    QString FullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
};

} // namespace vigix
