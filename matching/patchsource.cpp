#include "patchsource.h"

PatchSource::~PatchSource() = default;
