// Fixture of the layering test: the layer above.
#include "tests/layering/low.h"
