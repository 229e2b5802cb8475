#pragma once

#include "ResultViews.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include <array>
#include <functional>

class QPagedPaintDevice;
class QPainter;
class QWidget;

namespace vigix {

class TTestStore;

// The report page: filled from a stored test, painted on an A4 page in millimetres, previewed, printed and
// saved as PDF. The page itself is never shown as a window; it lives for the whole run and keeps the last
// prepared test until the next PrepareReport.
class TfrmPrint : public QObject
{
    Q_OBJECT

public:
    // Reports tests of store's folder.
    explicit TfrmPrint(TTestStore &store, QObject *parent = nullptr);

    // Paints one more page after the report, on the same A4 layout.
    using TPagePainter = std::function<void(QPainter &)>;

    // Fills every value of the page from the stored test (ReadFile then Culc). Raises the records'
    // EVigixError when the file cannot be read, before changing anything. A second page, when given, is
    // printed, previewed and saved after the report until the next PrepareReport.
    void PrepareReport(const QString &number, TPagePainter secondPage = {});
    // 1, or 2 with a second page.
    int PageCount() const { return m_secondPage ? 2 : 1; }

    // The text of a value label by its name, e.g. "qlblKensabangou", "qlblT_E_OMI_P", "qlblOMI_Level";
    // empty for a name the page does not have.
    QString Text(const QString &labelName) const;

    // Paints the prepared page. The painter must be active on an A4 page device (QPrinter or QPdfWriter);
    // the page's own layout says where the paper corner lies, so the band starts 10 mm from the paper's
    // corner whatever margins or full-page mode the device uses.
    void Paint(QPainter &painter) const;

    // The prepared pages as a PDF document.
    QByteArray RenderPdf() const;
    // Writes the prepared pages as a PDF, replacing the file only once it is whole; owner-only.
    // Raises EInOutError when the file cannot be written.
    void WritePdf(const QString &path) const;

    // Opens the print preview of the prepared page, with an extra action "PDF保存" that asks for a file and
    // writes the same page with WritePdf (errors shown in the general error box). Returns when the preview
    // is closed; the preview is not modal, so the other windows stay usable meanwhile. Printing keeps the
    // preview open. Does nothing while a preview is already open.
    void ShowPreview(QWidget *parent);
    // True from the call of ShowPreview until it returns.
    bool Busy() const;

private:
    // Paints every prepared page on a fresh device, starting a new page for each after the first.
    void paintPages(QPagedPaintDevice &device, QPainter &painter) const;

    TTestStore &m_store;
    TPagePainter m_secondPage;
    QHash<QString, QString> m_texts;           // value labels by name
    QList<QPointF> m_trend;                    // hit times of all rounds, (i + 1, time)
    std::array<QList<TBar>, 3> m_distribution; // bins 2..12 of the conditions N, A and V
    bool m_busy = false;
};

} // namespace vigix
