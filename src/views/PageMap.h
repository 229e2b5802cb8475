#pragma once

#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QRectF>

namespace vigix {

// The printed pages are laid out in millimetres from the band's corner, which lies 10 mm right of and
// below the paper's.
constexpr qreal BandOffset = 10.0;

// An A4 portrait page with 10 mm margins, as every printed page of the program is set up.
inline QPageLayout A4Layout()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

// Maps the band's millimetres to the painter's device. The paper's corner is where the device's page
// layout puts it: the painter's origin is the corner of the printable area unless the device prints the
// full page.
class TPageMap
{
public:
    explicit TPageMap(const QPainter &painter)
    {
        const QPaintDevice *device = painter.device();
        m_scaleX = device->logicalDpiX() / 25.4;
        m_scaleY = device->logicalDpiY() / 25.4;
        QPointF paperCorner;
        if (const auto *paged = dynamic_cast<const QPagedPaintDevice *>(device)) {
            const QPageLayout layout = paged->pageLayout();
            if (layout.mode() == QPageLayout::StandardMode)
                paperCorner = -QPointF(layout.paintRectPixels(device->logicalDpiX()).topLeft());
        }
        m_origin = paperCorner + QPointF(BandOffset * m_scaleX, BandOffset * m_scaleY);
    }

    QRectF rect(const QRectF &mm) const
    {
        return QRectF(m_origin.x() + mm.x() * m_scaleX, m_origin.y() + mm.y() * m_scaleY, mm.width() * m_scaleX,
                      mm.height() * m_scaleY);
    }
    qreal dx(qreal mm) const { return mm * m_scaleX; }
    qreal dy(qreal mm) const { return mm * m_scaleY; }

private:
    qreal m_scaleX = 1;
    qreal m_scaleY = 1;
    QPointF m_origin;
};

} // namespace vigix
