#ifndef SVGPAINTDEVICE_H
#define SVGPAINTDEVICE_H

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

class SvgPaintEngine;

// A canvas of size pixels that records what a QPainter draws on it as an SVG
// 1.1 document, without Qt's SVG module. Fonts given in points are sized for
// dotsPerInch, and the document states its size in CSS pixels (96 to the
// inch), so it keeps the physical size the painting was laid out for.
//
// Painting twice (a second QPainter after the first has ended) adds to what
// the first drew, as on an image.
class SvgPaintDevice : public QPaintDevice
{
public:
    explicit SvgPaintDevice(const QSize& size, double dotsPerInch = 96);
    ~SvgPaintDevice() override;

    SvgPaintDevice(const SvgPaintDevice&) = delete;
    SvgPaintDevice& operator=(const SvgPaintDevice&) = delete;

    QSize size() const { return m_size; }
    double dotsPerInch() const { return m_dotsPerInch; }

    // The whole document, UTF-8. Empty while a painter is still active on the
    // device: the drawing is complete only once the painter has ended. A
    // device never painted on gives an empty picture of its size.
    QByteArray svg() const;

    QPaintEngine* paintEngine() const override;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    double m_dotsPerInch;
    std::unique_ptr<SvgPaintEngine> m_engine;
};

#endif // SVGPAINTDEVICE_H
