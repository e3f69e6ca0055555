#ifndef PLOTPOINTSFILE_H
#define PLOTPOINTSFILE_H

#include <QByteArray>
#include <QString>

#include <vector>

// The points `plot` draws: a CSV file of lines "name,x,y", x and y a CIE 1931
// chromaticity written with a decimal point whatever the locale. The first
// line may be a header; blank lines are skipped; a name holding a comma is
// written in double quotes. Anything that is not a chromaticity is refused
// with the line it stands on, so that a column of Y or of u'v' put in by
// mistake is not drawn as if it were x, y.
class PlotPointsFile
{
public:
    struct Point {
        QString name;
        double x = 0.0;
        double y = 0.0;
    };

    // A list of points a person or a script writes stays far below these; a
    // file beyond them is something else.
    static constexpr qint64 kMaxBytes = 8 * 1024 * 1024;
    static constexpr int kMaxLines = 1000000;

    // The points of fileName; false, with *error naming the file and the line
    // at fault, when it cannot be read or holds no points.
    bool read(const QString& fileName, QString* error);
    // The same for text already read; the error names the line.
    bool parse(const QByteArray& text, QString* error);

    const std::vector<Point>& points() const { return m_points; }

private:
    std::vector<Point> m_points;
};

#endif // PLOTPOINTSFILE_H
