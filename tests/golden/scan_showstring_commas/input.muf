SBabc,def.
STx,y.
SA2,1.
DTabc,def.
ME.
