// Fixture of the layering test: a bottom header that reaches upward.
#include "tests/layering/high.h"
