MB8086,09DOS_HELLO.
CO0,4EPrints Hello from DOS through INT 21h AH=09h and exits with status 42 (AH=4Ch).
CO0,52Located at 0; the start address is 5. Offset 0 is a decoy that exits with status 7.
CO0,52Code refers to CS only, so it runs wherever DOS loads it (E1 puts the stack first).
AD8,2,L.
ASL0,0.
ASS0,24.
ASG,5.
SB0.
ASP0,0.
CS24.
CO1,220000 decoy: mov ax,4C07h / int 21h.
LDB8074C.
LDCD21.
CO1,470005 start: push cs / pop ds (DS = CS: the text is in the code segment).
LD0E.
LD1F.
CO1,260007 mov dx,msg / mov ah,09h / int 21h.
LDBA1300.
LDB409.
LDCD21.
CO1,1B000E mov ax,4C2Ah / int 21h.
LDB82A4C.
LDCD21.
CO1,220013 msg: Hello from DOS, CR LF, $.
LD48656C6C6F2066726F6D20444F530D0A24.
CS08.
ME.
