#include "iconresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerIcons()
{
    Q_INIT_RESOURCE(icons);
}

void initIconResources()
{
    static const bool registered = (registerIcons(), true);
    Q_UNUSED(registered)
}
