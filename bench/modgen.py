#!/usr/bin/env python3
# The cases of bench/compare.sh: MUFOM modules, valid and broken, each with
# the arguments to run it with. Case number i draws everything from a random
# generator seeded with (SEED, i), so the same seed gives the same cases,
# however the numbers are split into batches. Standard library only.
#
# Most modules are small. About 10 % have a section near or above the image
# size (ASS 1FF00 .. 48000, so /B and /H stream), 3 % load 124 to 288 KiB
# of data, 9 % carry much console text (MB, DT, CO, long names), case
# 123 + 1000k about 1 MB of it, and case 374 + 750k is a 3 to 6 MB module
# streamed to B, H, I, M1-M3 or P. Line ends are LF, CR LF, none or mixed,
# sometimes with ignored bytes inside commands; 40 % are broken (a bad command
# with the checksums right around it, a wrong checksum, truncated, a byte put
# in, changed or deleted, no ME). Option words: every format, A Z F C H S D
# in any order, lower- and upper-case hex, 9 digits, and malformed words.
# Drawn on top of that: 13 % run under --strict and 13 % under --quiet
# (some under both), 3.5 % read - (the module on standard input, from the
# file or through a pipe), 3.5 % write to -, 3 % get an input that does not
# begin like a module; 10 % of the cases have an existing output, and 40 %
# of the others with a malformed word, a broken module or no module (where
# the output must be left as it was, or with --strict, kept).
#
#   python3 bench/modgen.py gen SEED FIRST COUNT OUTDIR
#       cases FIRST .. FIRST+COUNT-1, as OUTDIR/g<number>; every 40th case
#       also as OUTDIR/g<number>p, fed through a pipe (/dev/stdin)
#   python3 bench/modgen.py golden GOLDENDIR OUTDIR
#       every folder of tests/golden in the same layout, as OUTDIR/golden-<name>
#
# A case is a folder:
#   input.muf   the module
#   args        the arguments, one a line; @IN@, @OUT@, @MISSING@, @NODIR@,
#               @LINK@ and @DIR@ stand for paths in the folder the run is made in
#   existing    (optional) bytes put at @OUT@ before the run
#   pipe        (optional) the module is fed on standard input through a pipe
#               (@IN@ is /dev/stdin, or the input is -); without it, standard
#               input is the file in.muf
#   about       one line: what the case is
#   ref/, new/  the folders the two runs are made in, ready: in.muf, link.muf
#               (a symbolic link to it) and out.bin when there is an existing output
import os
import random
import sys

IGNORED = bytes(range(0, 32)) + bytes(range(128, 256))
NOISE = b"\t\r\n\x00\x01\x1f\x80\x90\xff"

# The formats; those that stream without C; option words that are wrong or name no format.
FORMATS = ["B", "BH", "H", "HH", "I", "IC", "M1", "M2", "M3", "M1C", "M2C", "M3C",
           "P", "PC", "E1", "E2", "E3", "T"]
STREAMING = ["B", "H", "I", "M1", "M2", "M3", "P"]
MALFORMED = ["/M4", "/M0", "/M", "/M9C", "/E1", "/E2S5", "/E4S1", "/E0S1", "/E", "/ES1",
             "/E1s5", "/E2D3S", "/X", "/Q", "/XZff", "/", "", "B", "I", "//B", "/b", "/i",
             "/m1", "/t", "/ B", "/BZFF", "/BAFFFF", "/IZ", "/BA123456789", "/M1x",
             "/E3S-5", "/E3Sabc", "/E3S", "/E2S1D", "/E2S1Dx", "/HXH", "/BC", "/IH",
             "/PH", "/TC", "/TH", "/E1S2C", "/BF", "/BA", "/HZ", "/IA-1", "/M3Z1ff",
             "/BZ0x1f", "/HHC", "/IFFFF", "/BAG", "/M2F", "/E2S2D2S3", "/TZffA10"]


def hexnum(rng, v, digits=None):
    """An address or size as the module writes it: upper-case hex, sometimes
    with leading zeros, sometimes (for 0) no digits at all."""
    v &= 0xFFFFFFFF
    s = "%X" % v
    r = rng.random()
    if digits is not None:
        s = s.rjust(digits, "0")
    elif r < 0.15:
        s = s.rjust(rng.randint(len(s), 8), "0")
    elif v == 0 and r < 0.2:
        s = ""
    return s


def lowerhex(rng, bits=32):
    v = rng.getrandbits(bits)
    s = "%x" % v
    r = rng.random()
    if r < 0.1:
        s = s.rjust(8, "0")
    elif r < 0.15:
        s = s.rjust(9, "0")  # only 8 digits are read
    elif r < 0.2:
        s = s.upper()  # upper case is no digit
    elif r < 0.25:
        s = ""
    elif r < 0.28:
        s = s + "g"
    return s


def mask(rng):
    # The size becomes mask + 1: keep it small, or 0 (ffffffff), so that a
    # streamed image stays below a few hundred KiB.
    r = rng.random()
    if r < 0.2:
        return "ffffffff"
    if r < 0.35:
        return "ffff"
    if r < 0.45:
        return rng.choice(["1ffff", "3ffff", "0fff", "fff", "ff", "7fff", "0"])
    if r < 0.5:
        return rng.choice(["FFFF", "", "fffffffff", "1FFFF"])
    return "%x" % rng.randrange(0, 0x48000)


def word(rng, streamed):
    """An option word, and whether it is malformed: a format and its
    modifiers in random order, or a malformed one; with `streamed`, mostly a
    format that streams."""
    r = rng.random()
    if r < 0.1:
        w = rng.choice(MALFORMED)
        if rng.random() < 0.3:
            w += rng.choice(["Zff", "A10", "C", "H", "F1ff", "Z"])
        return w, True
    if r < 0.12:
        return "/" + "".join(rng.choice("BHIMPETCSDAZFx0123456789abcf-")
                             for _ in range(rng.randint(0, 8))), True
    fmt = rng.choice(STREAMING if streamed and rng.random() < 0.6 else FORMATS)
    mods = []
    if fmt.startswith("E"):
        s = rng.choice([0, 1, 16, 100, 256, rng.randint(0, 4096), rng.randint(0, 65535)])
        mods.append("S%d" % s)
        if fmt == "E2":
            mods.append("D%d" % rng.choice([0, 1, 64, 4096, rng.randint(0, 65535)]))
    if rng.random() < 0.3:
        mods.append("A" + lowerhex(rng, rng.choice([8, 16, 20, 32])))
    if rng.random() < 0.35:
        mods.append("Z" + lowerhex(rng, rng.choice([8, 8, 16, 32])))
    if rng.random() < 0.15:
        mods.append("F" + mask(rng))
    if rng.random() < 0.05:
        mods.append(rng.choice(["C", "H", "X"]))
    rng.shuffle(mods)
    head = fmt
    if fmt in ("BH", "HH", "IC", "M1C", "M2C", "M3C", "PC") and mods and rng.random() < 0.4:
        # the C or H among the other modifiers
        head = fmt[:-1]
        mods.insert(rng.randrange(len(mods) + 1), fmt[-1])
    return "/" + head + "".join(mods), False


class Module:
    """A module being written: commands, line ends, ignored bytes and the
    running sum of the significant characters that CS checks."""

    def __init__(self, rng, eol):
        self.rng = rng
        self.eol = eol
        self.chunks = []
        self.sum = 0
        self.noise = 0.0 if rng.random() < 0.85 else rng.choice([0.02, 0.1, 0.5])
        self.cs_every = 0 if rng.random() < 0.3 else rng.choice([1, 2, 5, 20, 100])
        self.since_cs = 0

    def sep(self):
        e = self.eol
        if e == "mixed":
            return self.rng.choice([b"", b"\n", b"\r\n", b"\r", b"\t", b"\n\n", b"\x00", b"\xff\r\n"])
        return e

    def add(self, cmd, checksum=True):
        b = cmd.encode("latin-1") if isinstance(cmd, str) else cmd
        self.sum += sum(b.translate(None, IGNORED))
        if self.noise and self.rng.random() < self.noise and len(b) > 1:
            b = bytearray(b)
            for _ in range(self.rng.randint(1, 3)):
                b.insert(self.rng.randrange(1, len(b)), self.rng.choice(NOISE))
            b = bytes(b)
        self.chunks.append(b)
        self.chunks.append(self.sep())
        self.since_cs += 1
        if checksum and self.cs_every and self.since_cs >= self.cs_every and self.rng.random() < 0.7:
            self.cs()

    def cs(self, how="ok"):
        self.sum += ord("C") + ord("S")
        v = self.sum & 0x7F
        if how == "ok":
            text = "CS%02X." % v
        elif how == "reset":
            text = "CS."
        elif how == "wrong":
            text = "CS%02X." % ((v + self.rng.randint(1, 127)) & 0x7F)
        elif how == "above":
            text = "CS%02X." % (v | 0x80)  # the high bit set
        else:
            text = how
        self.chunks.append(text.encode("latin-1"))
        self.chunks.append(self.sep())
        self.sum = 0
        self.since_cs = 0

    def bytes(self):
        return b"".join(self.chunks)


def printable(rng, n, extra=""):
    alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 _-+*/()[]<>!?:;=#$%&'\"~^|@" + extra
    return "".join(rng.choice(alphabet) for _ in range(n))


def header(m, rng, heavy=0):
    """MB, AD, DT, CO and section texts; `heavy` of them for much console text."""
    if rng.random() < 0.8:
        name = printable(rng, rng.choice([0, 1, 4, 8, 30, 255]), ",.")
        proc = rng.choice(["68000", "Z80", "8086", "PDP11", "6502", "", "68K" * rng.randint(1, 30)])
        if rng.random() < 0.05:
            m.add("MB%s." % proc)
        else:
            m.add("MB%s,%02X%s." % (proc, len(name), name))
    if rng.random() < 0.6:
        m.add(rng.choice(["AD8,4,M."] * 6 + ["AD8,2,L.", "AD8.", "AD16,2,M.", "AD32,1,M.", "AD8,4.",
                                                 "AD0008,4,M."]) if rng.random() < 0.97 else "AD,4,M.")
    if rng.random() < 0.5:
        m.add("DT%s." % "".join(rng.choice("0123456789") for _ in range(rng.choice([0, 6, 14, 40]))))
    for _ in range(rng.randint(0, 2)):
        text = printable(rng, rng.randint(0, 60), ",.")
        m.add("CO%X,%02X%s." % (rng.randint(0, 255), len(text), text))
    for k in range(heavy):
        r = rng.random()
        if r < 0.5:
            text = printable(rng, rng.choice([255, 255, rng.randint(0, 255)]), ",.")
            m.add("CO%X,%02X%s." % (k & 0xFF, len(text), text))
        elif r < 0.7:
            name = printable(rng, rng.choice([255, rng.randint(0, 255)]), ",.")
            m.add("MB%s,%02X%s." % (printable(rng, rng.randint(0, 200)).replace(",", "").replace(".", "")
                                   .replace(" ", ""), len(name), name))
        elif r < 0.85:
            m.add("DT%s." % "".join(rng.choice("0123456789") for _ in range(rng.randint(0, 250))))
        else:
            m.add("%s%X." % (rng.choice(["SB", "SA", "ST"]), rng.randint(0, 0xFFFF)))


def data_hex(rng, n):
    if rng.random() < 0.2:
        return (bytes([rng.randrange(256)]) * n).hex().upper()
    return rng.randbytes(n).hex().upper()


def loads(m, rng, n, maxrec):
    """n bytes as LD records of 0 .. maxrec bytes."""
    while n > 0:
        k = min(n, rng.choice([1, 2, 3, 16, 32, 33, 64, rng.randint(0, maxrec)]))
        if k == 0 and rng.random() < 0.7:
            continue
        m.add("LD" + data_hex(rng, k) + ".")
        n -= k


def section(m, rng, sec, base, size, budget, streaming):
    """ASL, ASS and the loads of one section; `budget` bytes of data at most."""
    order = rng.random()
    asl = "ASL%X,%s." % (sec, hexnum(rng, base))
    ass = "ASS%X,%s." % (sec, hexnum(rng, size))
    if order < 0.8:
        m.add(asl)
        m.add(ass)
    elif order < 0.9:
        m.add(ass)
        m.add(asl)
    elif order < 0.95:
        m.add(asl)
    else:
        m.add(ass)
    if rng.random() < 0.3:
        m.add("ASG,%s." % hexnum(rng, rng.choice([base, base + rng.randrange(max(size, 1)), 0, rng.getrandbits(32)])))
    if rng.random() < 0.4:
        m.add("SB%X." % sec)
    cur = base
    end = base + size
    maxrec = rng.choice([16, 32, 64, 100, 255, 600])
    wild = not streaming and rng.random() < 0.1  # load positions anywhere
    while budget > 0:
        r = rng.random()
        if r < 0.25:
            pass  # on from where the last LD stopped
        elif r < 0.55:
            cur += rng.choice([1, 2, 15, 16, 100, 0x100, 0x1000, rng.randint(0, 0x800)])
        elif r < 0.65:
            # backwards, maybe below the lowest address
            cur -= rng.choice([1, 2, 16, 0x100, rng.randint(0, 0x1000)])
            if streaming and cur < base - 0x100:
                cur = base - rng.randint(0, 0x100)
            if cur < 0 and not wild:
                cur = 0
        elif r < 0.8:
            cur = base + rng.randrange(max(size, 1))
        elif r < 0.9:
            cur = end - rng.randint(0, 64)  # near the end of the section, or past it
        elif r < 0.95 and wild:
            cur = rng.choice([0, 0xFFFF, 0x10000, 0x1FFFF, 0x20000, base + 0x20000, rng.getrandbits(32)])
        if streaming and cur > end + 0x1000:
            cur = end
        if r >= 0.25:
            m.add("ASP%X,%s." % (sec, hexnum(rng, cur)))
        n = min(budget, rng.choice([0, 1, 2, 4, 16, 64, 100, 256, 1024, rng.randint(0, 4096)]))
        loads(m, rng, n, maxrec)
        cur += n
        budget -= max(n, 1)


def valid(rng, cls, eol, base_zero):
    m = Module(rng, eol)
    heavy = 0
    if cls == "console":
        heavy = rng.choice([20, 50, 100, 200, 1000])
    header(m, rng, heavy)
    nsec = 1 if rng.random() < (0.85 if base_zero else 0.6) else rng.randint(2, 4)
    for sec in range(nsec):
        if base_zero and sec == 0:
            base = 0
        else:
            base = rng.choice([0, 0, 0x100, 0x400, 0x1000, 0x8000, 0xFFF0, 0x10000, 0x12340,
                               rng.randrange(0, 0x100000), rng.randrange(0, 0x10000),
                               0xFFFFF000, rng.getrandbits(32)])
        streaming = False
        if cls in ("tiny", "console"):
            size = rng.choice([0, 1, 2, 8, 16, 0x40, 0x100, rng.randint(0, 0x400)])
            budget = rng.randint(0, 0x200)
        elif cls == "small":
            size = rng.choice([0x800, 0x1000, 0x4000, 0x8000, 0x10000, rng.randint(0, 0x10000)])
            budget = rng.randint(0, min(size + 0x100, 0x3000))
        elif cls == "boundary":
            # sections near the image size: 0x20000 and above stream /B and /H
            size = rng.choice([0x1FFFF, 0x20000, 0x20001, 0x1FFF0, 0x20010, 0x1FF00,
                               0x20000 + rng.randint(-0x100, 0x100),
                               rng.randint(0x20000, 0x48000)])
            budget = rng.randint(0, 0x1000)
            streaming = True
        else:  # large: data past 128 KiB and 256 KiB of output
            size = rng.choice([0x20000, 0x30000, 0x40000, 0x48000, rng.randint(0x1F000, 0x48000)])
            budget = rng.randint(0x1F000, 0x28000) if rng.random() < 0.8 else rng.randint(0x28000, 0x48000)
            streaming = True
        if streaming:
            base &= 0xFFFFFF
        section(m, rng, sec, base, size, budget // nsec if streaming else budget, streaming)
    if rng.random() < 0.3:
        m.add("ASG,%s." % hexnum(rng, rng.choice([0, 0x1000, rng.getrandbits(32)])))
    if m.cs_every or rng.random() < 0.3:
        m.cs()
    m.add("ME.", checksum=False)
    if rng.random() < 0.05:
        m.chunks.append(rng.choice([b"garbage\x00 after the end", b"ME.", b"LDZZ.", b"\n"]))
    return m


COMMAND_BREAKS = [
    "LD4E7.", "LD4e71.", "LD4E 71.", "LD4E7 1.", "LD.", "ASL0,4ff.", "ASP0,123456789.",
    "ASS0,1FFFFFFFF.", "NN1,MAIN.", "AT1.", "LR(1,2).", "XX.", "ld00.", "asl0,0.", " LD00.",
    "MB68000,10SHORT.", "MB68000,0GNAME.", "CO0,FFtoo short.", "AD12.", "AD0.", "AD7,4,M.",
    "AD8,4,M,X.", "CSZZ.", "CS80.", "CSFF.", "CS12", "CS1.", "ASG.", "ASP0.", "ASL0.",
    "ASP0,12", "LD00", "ASX0,0.", "MX.", "DT", "SB0", "ME", "CO,05ABCDE.", "LD0G.",
    "ASL0,-1.", "ASP,10.", "ASS0,.", "LD" + "00" * 300 + "0.", "\x7f", "LDAB\x7fCD.",
    "CS.", "CS00.", "ASL0,0.ASS0,20000.", "ASS0,FFFFFFFF.", "ASL0,FFFFFFFF.",
]


def broken(rng, m):
    """Breaks a module: a bad command put in while writing (the checksums
    then hold around it) or a change to the finished text."""
    text = m.bytes()
    r = rng.random()
    what = ""
    if r < 0.3:
        # a bad command in the middle, checksums correct around it
        cut = rng.randrange(len(m.chunks) // 2 + 1) * 2
        bad = rng.choice(COMMAND_BREAKS)
        chunks = m.chunks[:cut]
        rest = m.chunks[cut:]
        m.chunks = chunks
        m.add(bad)
        m.chunks += rest
        text = m.bytes()
        what = "bad command " + repr(bad)
    elif r < 0.45:
        # a wrong checksum at some point
        cut = rng.randrange(len(m.chunks) // 2 + 1) * 2
        rest = m.chunks[cut:]
        m.chunks = m.chunks[:cut]
        m.sum = sum(b"".join(m.chunks).translate(None, IGNORED))  # not the sum since the last CS: wrong
        how = rng.choice(["wrong", "above", "wrong", "reset", "CS%s." % rng.choice(["G0", "1", "", "123", "0a"])])
        m.cs(how)
        m.chunks += rest
        text = m.bytes()
        what = "checksum " + how
    elif r < 0.6:
        n = rng.randrange(len(text) + 1)
        text = text[:n]
        what = "truncated at %d" % n
    elif r < 0.75:
        n = rng.randrange(len(text) + 1)
        c = rng.choice([rng.randrange(256), ord(" "), ord("g"), ord("G"), ord("#"), 0x7F, ord(","), ord(".")])
        text = text[:n] + bytes([c]) + text[n:]
        what = "byte %02X put in at %d" % (c, n)
    elif r < 0.85:
        n = rng.randrange(len(text)) if text else 0
        c = rng.choice(b"0123456789ABCDEFGabcdefz.,; ")
        text = text[:n] + bytes([c]) + text[n + 1:]
        what = "byte at %d changed to %02X" % (n, c)
    elif r < 0.93:
        n = rng.randrange(len(text)) if text else 0
        text = text[:n] + text[n + 1:]
        what = "byte at %d deleted" % n
    else:
        text = text.replace(b"ME.", b"", 1) if rng.random() < 0.7 else text.replace(b"ME.", b"ME", 1)
        what = "no ME."
    return text, what


def huge(rng, idx):
    """A multi-MB module: long contiguous data streamed to a streaming format."""
    eol = rng.choice([b"\r\n", b"\n"])
    m = Module(rng, eol)
    m.noise = 0.0
    m.cs_every = 0
    size = rng.choice([0x180000, 0x200000, 0x280000])
    m.add("MB68000,04HUGE.")
    m.add("ASL0,0.")
    m.add("ASS0,%X." % size)
    m.add("ASG,0.")
    m.cs()
    hexdata = rng.randbytes(size).hex().upper()
    per = rng.choice([32, 64])
    lines = ["LD" + hexdata[k:k + 2 * per] + "." for k in range(0, len(hexdata), 2 * per)]
    ljoin = eol.join(x.encode() for x in lines) + eol
    m.chunks.append(ljoin)
    m.sum += sum(ljoin.translate(None, IGNORED))
    bad = (idx // 750) % 2 == 1
    m.cs("wrong" if bad else "ok")
    m.add("ME.")
    w = "/" + rng.choice(STREAMING)
    return m.bytes(), w, "huge module, %d bytes%s" % (size, ", wrong last checksum" if bad else "")


NOT_MODULES = [b"", b"\n", b"\x00\x01\x02", b"M", b"M\r\n", b"hello\n", b"#!/bin/sh\n",
               b":041000004E714E756A\r\n:00100001EF\r\n", b"S00B00005472656C6F6E2D4310\nS9031000EC\n"]


def not_a_module(rng, text):
    """An input that does not begin like a module, or only just does."""
    r = rng.random()
    if r < 0.3:
        return rng.randbytes(rng.randint(1, 3000)), "random bytes"
    if r < 0.5:
        return text.lower(), "the module in lower case"
    if r < 0.6:
        return text[text.find(b".") + 1:], "the module without its first command"
    return rng.choice(NOT_MODULES), "not a module"


def case(seed, i):
    rng = random.Random("%s-%d" % (seed, i))
    if i % 750 == 374:
        text, w, about = huge(rng, i)
        return on_top(rng, text, [w, "@IN@", "@OUT@"], None, about, (i // 750) % 2 == 1, huge=True)
    r = rng.random()
    if i % 1000 == 123:
        cls = "console-1mb"
    elif r < 0.58:
        cls = "tiny"
    elif r < 0.78:
        cls = "small"
    elif r < 0.88:
        cls = "boundary"
    elif r < 0.91:
        cls = "large"
    else:
        cls = "console"
    ends = rng.choice(["LF", "LF", "CR LF", "CR LF", "none", "mixed"])
    eol = {"LF": b"\n", "CR LF": b"\r\n", "none": b"", "mixed": "mixed"}[ends]
    w, malformed = word(rng, cls in ("boundary", "large"))
    # executables and TOS files want a module at address 0
    base_zero = rng.random() < (0.85 if w[1:2] in ("E", "T") else 0.3)
    if w[1:2] in ("E", "T") and cls in ("boundary", "large") and rng.random() < 0.7:
        cls = "small"  # mostly something that fits their image
    bad = malformed
    if cls == "console-1mb":
        m = Module(rng, eol)
        header(m, rng, 4200)
        m.add("ASL0,0.")
        m.add("ASS0,10.")
        m.add("LD0102.")
        m.add("ME.")
        text, about = m.bytes(), "about 1 MB of console text"
    else:
        m = valid(rng, cls, eol, base_zero)
        about = "%s module, line ends %s" % (cls, ends)
        if rng.random() < 0.4:
            text, what = broken(rng, m)
            about += ", broken: " + what
            bad = True
        else:
            text = m.bytes()
    args = [w, "@IN@", "@OUT@"]
    r = rng.random()
    if r < 0.01:
        args[2] = "/dev/full"
    elif r < 0.015:
        args[2] = "/dev/null"
    elif r < 0.02:
        args[2] = "@LINK@"
    elif r < 0.025:
        args = args + ["extra"]
    existing = None
    if rng.random() < 0.1:
        existing = rng.choice([b"precious\n", rng.randbytes(rng.randint(0, 3000))])
    return on_top(rng, text, args, existing, about, bad)


def on_top(rng, text, args, existing, about, bad, huge=False):
    """The options, - as a file name, inputs that are no module and more
    existing outputs: drawn after the rest, so that a case number keeps the
    module and arguments it had before these were added. `bad`: a malformed
    word or a broken module, where an existing output matters most."""
    strict, quiet, std_in, std_out, no_module, more = (rng.random() for _ in range(6))
    module = text
    if no_module < 0.03 and not huge:
        text, what = not_a_module(rng, text)
        about += ", replaced by " + what
        bad = True
    if existing is None and bad and more < 0.4:
        existing = rng.choice([b"precious\n", b"", module, rng.randbytes(rng.randint(0, 3000)),
                               rng.randbytes(rng.randint(0x20000, 0x30000))])
    pipe = False
    if std_in < 0.035 and args[1] == "@IN@":
        args[1] = "-"
        pipe = rng.random() < 0.5
        about += ", on standard input" + (" through a pipe" if pipe else "")
    if std_out < 0.035 and args[2] == "@OUT@":
        args[2] = "-"
    options = (["--strict"] if strict < 0.13 else []) + (["--quiet"] if quiet < 0.13 else [])
    rng.shuffle(options)
    return text, options + args, existing, about, pipe


def write_case(d, text, args, existing, about, pipe=False):
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "input.muf"), "wb") as f:
        f.write(text)
    with open(os.path.join(d, "args"), "w", encoding="latin-1") as f:
        f.write("".join(a + "\n" for a in args))
    if existing is not None:
        with open(os.path.join(d, "existing"), "wb") as f:
            f.write(existing)
    if pipe:
        open(os.path.join(d, "pipe"), "w").close()
    with open(os.path.join(d, "about"), "w") as f:
        f.write(about + "\n")
    for side in ("ref", "new"):
        run = os.path.join(d, side)
        os.makedirs(run, exist_ok=True)
        with open(os.path.join(run, "in.muf"), "wb") as f:
            f.write(text)
        os.symlink("in.muf", os.path.join(run, "link.muf"))
        if existing is not None:
            with open(os.path.join(run, "out.bin"), "wb") as f:
                f.write(existing)


def gen(seed, first, count, out):
    for i in range(first, first + count):
        text, args, existing, about, pipe = case(seed, i)
        write_case(os.path.join(out, "g%05d" % i), text, args, existing, about, pipe)
        if i % 40 == 17 and "@IN@" in args:
            pargs = ["/dev/stdin" if a == "@IN@" else a for a in args]
            write_case(os.path.join(out, "g%05dp" % i), text, pargs, existing, about + ", through a pipe", pipe=True)


def expand(lines):
    """A golden description: "bytes HH ..." and "repeat COUNT" ... "end"."""
    out = bytearray()
    while lines:
        line = lines.pop(0)
        if line.startswith("end"):
            break
        words = line.split()
        if not words:
            continue
        if words[0] == "bytes":
            out += bytes(int(b, 16) for b in words[1:])
        elif words[0] == "repeat" and len(words) > 1:
            body = expand(lines)
            n = words[1]
            out += body * (int(n, 16) if n.lower().startswith("0x") else int(n, 10))
    return bytes(out)


def golden(src, out):
    for name in sorted(os.listdir(src)):
        d = os.path.join(src, name)
        if not os.path.isdir(d):
            continue
        text = b""
        for gen_name in ("input.gen", "input.muf.gen"):
            if os.path.exists(os.path.join(d, gen_name)):
                with open(os.path.join(d, gen_name)) as f:
                    text = expand(f.read().split("\n"))
                break
        else:
            if os.path.exists(os.path.join(d, "input.muf")):
                with open(os.path.join(d, "input.muf"), "rb") as f:
                    text = f.read()
        if os.path.exists(os.path.join(d, "word")):
            with open(os.path.join(d, "word"), "rb") as f:
                w = f.read().decode("latin-1").split("\n")[0]
            args = [w, "@IN@", "@OUT@"]
        elif os.path.exists(os.path.join(d, "argv")):
            with open(os.path.join(d, "argv"), "rb") as f:
                args = f.read().decode("latin-1").split("\n")
            if args and args[-1] == "":
                args.pop()
        else:
            args = []  # as the golden test reads it: no arguments
        existing = None
        if os.path.exists(os.path.join(d, "existing")):
            with open(os.path.join(d, "existing"), "rb") as f:
                existing = f.read()
        write_case(os.path.join(out, "golden-" + name), text, args, existing, "golden case " + name)


def main(argv):
    if len(argv) == 6 and argv[1] == "gen":
        gen(argv[2], int(argv[3]), int(argv[4]), argv[5])
    elif len(argv) == 4 and argv[1] == "golden":
        golden(argv[2], argv[3])
    else:
        sys.stderr.write("usage: modgen.py gen SEED FIRST COUNT OUTDIR | golden GOLDENDIR OUTDIR\n")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
