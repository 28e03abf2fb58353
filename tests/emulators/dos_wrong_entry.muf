MB8086,0BDOS_WRONGIP.
CO0,4DThe program of examples/dos_hello.muf started at 0 instead of 5, at its decoy.
CO0,31Run, it must print nothing and exit with status 7.
CO0,52Code refers to CS only, so it runs wherever DOS loads it (E1 puts the stack first).
AD8,2,L.
ASL0,0.
ASS0,24.
ASG,0.
SB0.
ASP0,0.
CS7E.
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
