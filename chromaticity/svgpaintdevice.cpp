#include "svgpaintdevice.h"

#include "svgpaintengine.h"

#include <QtGlobal>

#include <limits>

SvgPaintDevice::SvgPaintDevice(const QSize& size, double dotsPerInch)
    : m_size(size.expandedTo(QSize(1, 1)))
    , m_dotsPerInch(dotsPerInch > 0.0 ? dotsPerInch : 96.0)
{
    // The page is as many CSS pixels as the drawing is inches at 96 to the inch.
    const double cssPerPixel = 96.0 / m_dotsPerInch;
    m_engine = std::make_unique<SvgPaintEngine>(QSizeF(m_size),
                                                QSizeF(m_size) * cssPerPixel);
}

SvgPaintDevice::~SvgPaintDevice() = default;

QByteArray SvgPaintDevice::svg() const
{
    if (paintingActive())
        return {};
    return m_engine->document();
}

QPaintEngine* SvgPaintDevice::paintEngine() const
{
    return m_engine.get();
}

int SvgPaintDevice::metric(PaintDeviceMetric metric) const
{
    const int dpi = qRound(m_dotsPerInch);
    switch (metric) {
    case PdmWidth:
        return m_size.width();
    case PdmHeight:
        return m_size.height();
    case PdmWidthMM:
        return qRound(m_size.width() * 25.4 / m_dotsPerInch);
    case PdmHeightMM:
        return qRound(m_size.height() * 25.4 / m_dotsPerInch);
    case PdmNumColors:
        return std::numeric_limits<int>::max();
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return dpi;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return int(devicePixelRatioFScale());
    }
    return QPaintDevice::metric(metric);
}
