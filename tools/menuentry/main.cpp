// Draws the installed menu entry as desktops show it: the entry's icon, taken
// from the hicolor theme it names, beside its name in a menu at the small sizes
// menus use, and under its name in a launcher's grid at the large ones. It reads
// only what the install put below PREFIX, so the picture shows what ships.
//
//   lumaserve-menuentry PREFIX OUT.png

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QTextStream>

#include <cstdio>

namespace {

// The [Desktop Entry] group's keys, localised ones under their full key ("Name[zh_CN]").
QMap<QString, QString> readDesktopEntry(const QString& path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    QTextStream in(&file);
    in.setCodec("UTF-8");
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.contains(QLatin1Char('=')) && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.section(QLatin1Char('='), 0, 0).trimmed(), line.section(QLatin1Char('='), 1).trimmed());
    }
    return keys;
}

struct Entry {
    QString name;
    QString localName;
    QString iconDir;
    QString icon;

    QImage iconAt(int size) const
    {
        return QImage(QStringLiteral("%1/%2x%2/apps/%3.png").arg(iconDir).arg(size).arg(icon));
    }
};

// A menu: one row an icon size, the entry's name beside its icon.
void drawMenu(QPainter& p, const QRect& area, const Entry& entry)
{
    p.setPen(QColor(0xc8, 0xcd, 0xd0));
    p.setBrush(QColor(0xfa, 0xfb, 0xfc));
    p.drawRoundedRect(area.adjusted(0, 0, -1, -1), 6, 6);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    QFont small = font;
    small.setPixelSize(11);
    int y = area.top() + 10;
    for (int size : {16, 22, 24, 32}) {
        const int rowHeight = size + 12;
        const QRect row(area.left() + 6, y, area.width() - 12, rowHeight);
        if (size == 24) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x1e, 0x88, 0xe5, 40));
            p.drawRoundedRect(row, 4, 4);
        }
        p.drawImage(QPoint(row.left() + 8, row.top() + (rowHeight - size) / 2), entry.iconAt(size));
        const QRect text = row.adjusted(16 + size + 10, 0, 0, 0);
        p.setPen(QColor(0x26, 0x32, 0x38));
        p.setFont(font);
        p.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, entry.name);
        p.setPen(QColor(0x78, 0x86, 0x8c));
        p.setFont(small);
        p.drawText(text.adjusted(0, 0, -8, 0), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 px").arg(size));
        y += rowHeight + 4;
    }
}

// A launcher's grid on a darker background: the large icons with the name under
// them. Not as dark as the icon's bezel, which would vanish on it.
void drawGrid(QPainter& p, const QRect& area, const Entry& entry)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x54, 0x6e, 0x7a));
    p.drawRoundedRect(area, 6, 6);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(QColor(0xf5, 0xf7, 0xf8));
    const struct {
        int size;
        QString label;
    } tiles[] = {{48, entry.name}, {64, entry.localName.isEmpty() ? entry.name : entry.localName}, {128, entry.name}};
    int x = area.left() + 16;
    for (const auto& tile : tiles) {
        const int width = qMax(tile.size, QFontMetrics(font).horizontalAdvance(tile.label)) + 8;
        const int top = area.bottom() - 36 - tile.size;
        p.drawImage(QPoint(x + (width - tile.size) / 2, top), entry.iconAt(tile.size));
        p.drawText(QRect(x, top + tile.size + 6, width, 20), Qt::AlignHCenter | Qt::AlignTop, tile.label);
        x += width + 20;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: lumaserve-menuentry PREFIX OUT.png\n", stderr);
        return 2;
    }
    const QDir prefix(QString::fromLocal8Bit(argv[1]));
    const QDir applications(prefix.filePath(QStringLiteral("share/applications")));
    const QStringList files = applications.entryList({QStringLiteral("*.desktop")}, QDir::Files);
    if (files.size() != 1) {
        std::fprintf(stderr, "lumaserve-menuentry: %s holds %d desktop entries, not one\n",
                     qPrintable(applications.path()), int(files.size()));
        return 1;
    }
    const QMap<QString, QString> keys = readDesktopEntry(applications.filePath(files.first()));
    const Entry entry{keys.value(QStringLiteral("Name")), keys.value(QStringLiteral("Name[zh_CN]")),
                      prefix.filePath(QStringLiteral("share/icons/hicolor")), keys.value(QStringLiteral("Icon"))};
    for (int size : {16, 22, 24, 32, 48, 64, 128}) {
        if (entry.iconAt(size).isNull()) {
            std::fprintf(stderr, "lumaserve-menuentry: no %dx%d icon '%s' in %s\n", size, size, qPrintable(entry.icon),
                         qPrintable(entry.iconDir));
            return 1;
        }
    }

    QImage picture(900, 230, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        drawMenu(p, QRect(10, 10, 300, 210), entry);
        drawGrid(p, QRect(326, 10, 564, 210), entry);
    }
    if (!picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "lumaserve-menuentry: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
