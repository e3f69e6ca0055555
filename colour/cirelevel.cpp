#include "cirelevel.h"

namespace {

constexpr double kSetupBlack = 7.5;

double fromSetup(double level, bool setup)
{
    if (!setup)
        return level;
    return level <= kSetupBlack ? 0.0 : (level - kSetupBlack) / 0.925;
}

} // namespace

CIRELevel::CIRELevel(double level, bool setup, bool flag)
    : CIRELevel(level, level, level, setup, flag)
{
}

CIRELevel::CIRELevel(double c0, double c1, double c2, bool setup, bool flag)
    : m_red(fromSetup(c0, setup)), m_green(fromSetup(c1, setup)), m_blue(fromSetup(c2, setup)),
      m_flag(flag)
{
}

double ArrayIndexToGrayLevel(int index, int count, bool setup)
{
    const double i = index;
    const double n = count;
    if (setup) {
        if (index == 0)
            return kSetupBlack;
        if (count > 11)
            return (i - 1.0) * 90.0 / (n - 2.0) + 10.0;
    }
    return i * 100.0 / (n - 1.0);
}

double GrayLevelToGrayProp(double level, bool setup)
{
    if (setup)
        return level <= kSetupBlack ? 0.0 : (level - kSetupBlack) / 92.5;
    return level / 100.0;
}
