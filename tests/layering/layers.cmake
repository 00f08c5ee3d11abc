# Two layers where the lower one includes the upper: the check must name it.
set(LAYERS low high)
set(FILES_low tests/layering/low.h)
set(BELOW_low)
set(FILES_high tests/layering/high.h)
set(BELOW_high low)
