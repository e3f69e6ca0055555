#ifndef PAGEFONT_H
#define PAGEFONT_H

#include <QFont>
#include <QPaintDevice>

// A font whose letters are size units of the painter high, whatever the
// device's resolution: the certificate's page is laid out in points and drawn
// the same into a PDF and into an image.
inline QFont pageFont(double size, const QPaintDevice* device, bool bold = false)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(size * 72.0 / device->logicalDpiY());
    font.setBold(bold);
    return font;
}

#endif // PAGEFONT_H
