#include "loaders/eldr_base.h"

ClassELoaderBase::~ClassELoaderBase() = default;

int RegisterDisplayLoaders(ClassEDisplay*) { return 0; }
