#!/usr/bin/env python3
"""GBK narrow string literals for compilers that cannot make them.

The core keeps its texts in GBK: GCC compiles the UTF-8 sources with
-fexec-charset=GBK. Clang only knows UTF-8 as its execution character set, so
for clang each such source is compiled from a copy in which every non-ASCII
character of an ordinary (narrow) string or character literal is written as
the octal escapes of its GBK bytes. The bytes come from the C library's iconv,
the converter GCC itself uses, so both compilers put the same bytes into the
program. Comments, u8/u/U/L literals and everything else stay as they are; the
copy keeps the line numbers of the source and names it in a #line directive.

Used two ways:
  gbk_literals.py convert SOURCE OUTPUT
      writes the converted copy of SOURCE;
  gbk_literals.py launch COMPILER ARGS...
      a compiler launcher: when the last -fexec-charset= among ARGS is GBK,
      the source after -c is converted next to the object file and compiled
      instead (with its own directory searched for quoted includes), and the
      character-set options are dropped; otherwise COMPILER runs unchanged.
"""

import ctypes
import ctypes.util
import os
import sys

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                        ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
_libc.iconv_close.argtypes = [ctypes.c_void_p]

_cache = {}


class ConversionError(Exception):
    pass


def gbk_bytes(ch):
    """The GBK bytes of one character, through the C library's iconv."""
    if ch in _cache:
        return _cache[ch]
    cd = _libc.iconv_open(b"GBK", b"UTF-8")
    if cd in (None, ctypes.c_void_p(-1).value):
        raise ConversionError("iconv cannot convert UTF-8 to GBK")
    try:
        src = ch.encode("utf-8")
        inbuf = ctypes.create_string_buffer(src, len(src))
        outbuf = ctypes.create_string_buffer(16)
        inptr = ctypes.c_char_p(ctypes.addressof(inbuf))
        outptr = ctypes.c_char_p(ctypes.addressof(outbuf))
        inleft = ctypes.c_size_t(len(src))
        outleft = ctypes.c_size_t(16)
        res = _libc.iconv(cd, ctypes.byref(inptr), ctypes.byref(inleft), ctypes.byref(outptr), ctypes.byref(outleft))
        if res == ctypes.c_size_t(-1).value or inleft.value != 0:
            raise ConversionError("U+%04X has no GBK code" % ord(ch))
        out = outbuf.raw[:16 - outleft.value]
    finally:
        _libc.iconv_close(cd)
    _cache[ch] = out
    return out


def _octal(data):
    return "".join("\\%03o" % b for b in data)


_IDENT_START = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_")
_IDENT = _IDENT_START | set("0123456789")
_HEX = set("0123456789abcdefABCDEF")


def _narrow_body(body, where):
    """The body of an ordinary literal with its non-ASCII characters (and
    universal character names) as GBK escapes."""
    out = []
    i = 0
    n = len(body)
    while i < n:
        c = body[i]
        if c == "\\" and i + 1 < n:
            e = body[i + 1]
            if e in "uU":
                width = 4 if e == "u" else 8
                digits = body[i + 2:i + 2 + width]
                if len(digits) == width and all(d in _HEX for d in digits):
                    cp = int(digits, 16)
                    if cp < 0x80:
                        out.append(body[i:i + 2 + width])
                    else:
                        out.append(_octal(gbk_bytes(chr(cp))))
                    i += 2 + width
                    continue
            out.append(body[i:i + 2])
            i += 2
            continue
        if ord(c) >= 0x80:
            try:
                out.append(_octal(gbk_bytes(c)))
            except ConversionError as err:
                raise ConversionError("%s: %s" % (where, err))
        else:
            out.append(c)
        i += 1
    return "".join(out)


def _raw_as_ordinary(body, where):
    """A raw literal's body as the pieces of ordinary literals, one piece to a
    source line so that line numbers stay."""
    pieces = []
    cur = []
    for c in body:
        if c == "\n":
            cur.append("\\n")
            pieces.append("".join(cur))
            cur = []
        elif c == "\\":
            cur.append("\\\\")
        elif c == '"':
            cur.append('\\"')
        elif c == "?":
            cur.append("\\?")  # no trigraphs
        elif ord(c) < 0x20 or ord(c) == 0x7F:
            cur.append("\\%03o" % ord(c))
        elif ord(c) >= 0x80:
            try:
                cur.append(_octal(gbk_bytes(c)))
            except ConversionError as err:
                raise ConversionError("%s: %s" % (where, err))
        else:
            cur.append(c)
    pieces.append("".join(cur))
    return '"' + '"\n"'.join(pieces) + '"'


def convert_text(text, where="source"):
    """The source text with its narrow literals' non-ASCII characters as GBK
    escapes. Raises ConversionError for a character GBK does not hold."""
    out = []
    i = 0
    n = len(text)
    line_start = True  # only blanks since the last newline
    while i < n:
        c = text[i]
        # Preprocessor directives that name files keep their text.
        if line_start and c == "#":
            j = i + 1
            while j < n and text[j] in " \t":
                j += 1
            k = j
            while k < n and text[k] in _IDENT:
                k += 1
            if text[j:k] in ("include", "include_next", "import", "line", "error", "warning", "pragma"):
                e = text.find("\n", i)
                e = n if e < 0 else e
                out.append(text[i:e])
                i = e
                continue
        if c == "\n":
            line_start = True
            out.append(c)
            i += 1
            continue
        if c not in " \t\r\f\v":
            line_start = False
        # Comments.
        if text.startswith("//", i):
            e = text.find("\n", i)
            e = n if e < 0 else e
            # A line comment ending in a backslash goes on; rare enough to take
            # the plain line.
            out.append(text[i:e])
            i = e
            continue
        if text.startswith("/*", i):
            e = text.find("*/", i + 2)
            e = n if e < 0 else e + 2
            out.append(text[i:e])
            i = e
            continue
        # Numbers, with digit separators.
        if c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
            j = i + 1
            while j < n:
                d = text[j]
                if d in "eEpP" and j + 1 < n and text[j + 1] in "+-":
                    j += 2
                elif d in _IDENT or d == ".":
                    j += 1
                elif d == "'" and j + 1 < n and text[j + 1] in _IDENT:
                    j += 2
                else:
                    break
            out.append(text[i:j])
            i = j
            continue
        # Identifiers, and literal prefixes.
        if c in _IDENT_START:
            j = i
            while j < n and text[j] in _IDENT:
                j += 1
            word = text[i:j]
            if j < n and text[j] in "\"'":
                if word in ("u8", "u", "U", "L"):
                    end = _literal_end(text, j)
                    out.append(text[i:end])
                    i = end
                    continue
                if word in ("u8R", "uR", "UR", "LR") and text[j] == '"':
                    end = _raw_end(text, j, where)
                    out.append(text[i:end])
                    i = end
                    continue
                if word == "R" and text[j] == '"':
                    end = _raw_end(text, j, where)
                    raw = text[j:end]
                    open_paren = raw.index("(")
                    delim = raw[1:open_paren]
                    body = raw[open_paren + 1:len(raw) - len(delim) - 2]
                    if any(ord(ch) >= 0x80 for ch in body):
                        out.append(_raw_as_ordinary(body, where))
                    else:
                        out.append(text[i:end])
                    i = end
                    continue
            out.append(word)
            i = j
            continue
        if c in "\"'":
            end = _literal_end(text, i)
            body = text[i + 1:end - 1]
            line = text.count("\n", 0, i) + 1
            out.append(c + _narrow_body(body, "%s:%d" % (where, line)) + c)
            i = end
            continue
        out.append(c)
        i += 1
    return "".join(out)


def _literal_end(text, start):
    """The index after the closing quote of the literal opening at start."""
    q = text[start]
    i = start + 1
    n = len(text)
    while i < n:
        c = text[i]
        if c == "\\":
            i += 2
            continue
        if c == q:
            return i + 1
        if c == "\n":
            break
        i += 1
    raise ConversionError("unterminated literal at offset %d" % start)


def _raw_end(text, quote, where):
    open_paren = text.find("(", quote)
    if open_paren < 0:
        raise ConversionError("%s: raw literal without '('" % where)
    delim = text[quote + 1:open_paren]
    close = text.find(")" + delim + '"', open_paren + 1)
    if close < 0:
        raise ConversionError("%s: unterminated raw literal" % where)
    return close + len(delim) + 2


def _write(path, text):
    tmp = path + ".tmp%d" % os.getpid()
    with open(tmp, "w", encoding="utf-8", newline="") as f:
        f.write(text)
    os.replace(tmp, path)


def convert_to(source, output):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    converted = convert_text(text, source)
    name = os.path.abspath(source).replace("\\", "\\\\").replace('"', '\\"')
    _write(output, '#line 1 "%s"\n%s' % (name, converted))


def launch(argv):
    compiler = argv[0]
    args = argv[1:]
    charset = None
    for a in args:
        if a.startswith("-fexec-charset="):
            charset = a.split("=", 1)[1]
    if charset is None or charset.upper() != "GBK":
        os.execvp(compiler, [compiler] + args)
    source = None
    obj = None
    for k, a in enumerate(args):
        if a == "-c" and k + 1 < len(args):
            source = args[k + 1]
        if a == "-o" and k + 1 < len(args):
            obj = args[k + 1]
    if source is None or obj is None:
        sys.stderr.write("gbk_literals: no '-c SOURCE' and '-o OBJECT' in the command\n")
        return 2
    copy = obj + ".gbk.cpp"
    os.makedirs(os.path.dirname(os.path.abspath(copy)), exist_ok=True)
    try:
        convert_to(source, copy)
    except (ConversionError, UnicodeDecodeError) as err:
        sys.stderr.write("%s: error: cannot make GBK literals: %s\n" % (source, err))
        return 1
    new_args = []
    k = 0
    while k < len(args):
        a = args[k]
        if a.startswith("-fexec-charset=") or a.startswith("-finput-charset="):
            k += 1
            continue
        if a == "-c":
            new_args += ["-iquote", os.path.dirname(os.path.abspath(source)), "-c", copy]
            k += 2
            continue
        new_args.append(a)
        k += 1
    os.execvp(compiler, [compiler] + new_args)


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == "convert":
        try:
            convert_to(sys.argv[2], sys.argv[3])
        except (ConversionError, UnicodeDecodeError) as err:
            sys.stderr.write("%s: error: %s\n" % (sys.argv[2], err))
            return 1
        return 0
    if len(sys.argv) >= 3 and sys.argv[1] == "launch":
        return launch(sys.argv[2:])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main())
