ASL0,0.
ld01.
ME.
