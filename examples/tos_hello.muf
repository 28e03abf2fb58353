MB68000,09TOS_HELLO.
CO0,6CWrites Hello from TOS with GEMDOS Cconws (trap #1, function 9) and ends with Pterm (function 4Ch), status 42.
CO0,4DLocated at 0 and started at 0, as a TOS program must be; position independent.
AD8,4,M.
ASL0,0.
ASS0,27.
ASG,0.
SB0.
ASP0,0.
CS2B.
CO1,3B0000 pea msg(pc) / move.w #9,-(sp) / trap #1 / addq.l #6,sp.
LD487A0014.
LD3F3C0009.
LD4E41.
LD5C8F.
CO1,33000C move.w #42,-(sp) / move.w #4Ch,-(sp) / trap #1.
LD3F3C002A.
LD3F3C004C.
LD4E41.
CO1,470016 msg: Hello from TOS, CR LF, 0 (39 bytes: the file gets a pad byte).
LD48656C6C6F2066726F6D20544F530D0A00.
CS66.
ME.
