#ifndef ICONRESOURCES_H
#define ICONRESOURCES_H

// Makes the compiled-in icons (":/icons/resource/...") available. They live in
// a static library, whose resources are only registered when asked for; safe to
// call more than once and before the application object exists.
void initIconResources();

#endif // ICONRESOURCES_H
