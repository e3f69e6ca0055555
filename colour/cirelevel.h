#ifndef CIRELEVEL_H
#define CIRELEVEL_H

// Drive levels of the three channels of a test patch, in percent of the range
// above black. With setup the levels given are on the IRE scale whose black sits
// at 7.5 and are converted to that range; levels at or below black become 0.
class CIRELevel
{
public:
    CIRELevel(double level, bool setup, bool flag);
    CIRELevel(double c0, double c1, double c2, bool setup, bool flag);

    double GetRed() const { return m_red; }
    double GetGreen() const { return m_green; }
    double GetBlue() const { return m_blue; }
    // Carried for callers; it does not change the levels.
    bool GetFlag() const { return m_flag; }

private:
    double m_red;
    double m_green;
    double m_blue;
    bool m_flag;
};

// Grey level in percent of entry index in a series of count entries running from
// black to white. With setup the series starts at the 7.5 black setup level and,
// when it is longer than 11 entries, continues from 10 to 100 in equal steps.
double ArrayIndexToGrayLevel(int index, int count, bool setup);

// Proportion 0 ... 1 of the signal range that a grey level in percent stands for.
double GrayLevelToGrayProp(double level, bool setup);

#endif // CIRELEVEL_H
