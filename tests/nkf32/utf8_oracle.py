#!/usr/bin/env python3
"""The converter core's UTF-8 output against Python's codecs: every cell of
the tables in each code, then cases of escapes, shifts, hints, options and
invalid bytes.  Prints each disagreement (input, hint, options, actual,
expected) and exits 1 if there is any.

    utf8_oracle.py PROBE

Python's codecs are the expected text except where the output follows the
WHATWG Encoding Standard (what mail readers use) or the core's own reading;
those places are listed here, one by one, and held to as well:
"""
import io
import os
import subprocess
import sys

CORE = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'nkf32', 'core')
sys.path.insert(0, CORE)
sys.dont_write_bytecode = True  # nothing written into the source tree
import make_utf8_tables  # noqa: E402

NONE, ISO2022JP, SHIFT_JIS, EUC_JP, UTF8 = range(5)
READ_SJIS, READ_EUC, READ_UTF8 = range(3)
FFFD = '\ufffd'

# JIS X 0208 cells that Python's euc_jp and iso2022_jp read as JIS does and
# WHATWG (index jis0208) as windows-31j does.
WHATWG_0208 = {0x2141: '\uff5e', 0x2142: '\u2225', 0x215D: '\uff0d',
               0x2171: '\uffe0', 0x2172: '\uffe1', 0x224C: '\uffe2'}
# Rows that Python's euc_jp and iso2022_jp leave unassigned and WHATWG
# reads through windows-31j: NEC row 13, NEC-selected IBM rows 89-92.
WHATWG_ROWS = {13, 89, 90, 91, 92}
# JIS X 0212 0x2237: Python's euc_jp U+007E, WHATWG U+FF5E.
WHATWG_0212 = {0x2237: '\uff5e'}
# Shift_JIS single bytes Python's cp932 maps and the output replaces:
# 0x80 (WHATWG U+0080, the core reads no text there), 0xA0 and 0xFD-0xFF
# (WHATWG errors too).  The user-defined area 0xF0-0xF9 (Python and WHATWG
# U+E000-U+E757) is replaced as well: the core takes it for no text.
REPLACED_SJIS_BYTES = [0x80, 0xA0, 0xFD, 0xFE, 0xFF]
# ESC ( J is read as ASCII (Python and WHATWG: 0x5C U+00A5, 0x7E U+203E).


def sjis_pair(j1, j2):
    lead = ((j1 + 1) >> 1) + (0x70 if j1 <= 0x5E else 0xB0)
    trail = j2 + 0x1F + (j2 >= 0x60) if j1 & 1 else j2 + 0x7E
    return bytes([lead, trail])


def decode(data, codec):
    try:
        return data.decode(codec)
    except UnicodeDecodeError:
        return None


def cell_cases():
    """(input, hint, options, expected text or None for 'replaced')."""
    for row in range(1, 95):
        for cell in range(1, 95):
            j1, j2 = 0x20 + row, 0x20 + cell
            code = j1 << 8 | j2
            whatwg = WHATWG_0208.get(code)
            if whatwg is None and row in WHATWG_ROWS:
                whatwg = decode(sjis_pair(j1, j2), 'cp932')
            euc = bytes([j1 | 0x80, j2 | 0x80])
            yield euc, EUC_JP, '', whatwg or decode(euc, 'euc_jp')
            jis = b'\x1b$B' + bytes([j1, j2]) + b'\x1b(B'
            yield jis, NONE, '', whatwg or decode(jis, 'iso2022_jp')
            x0212 = bytes([0x8F, j1 | 0x80, j2 | 0x80])
            yield x0212, EUC_JP, '', WHATWG_0212.get(code) or decode(x0212, 'euc_jp')
            jis0212 = b'\x1b$(D' + bytes([j1, j2]) + b'\x1b(B'
            yield jis0212, NONE, '', WHATWG_0212.get(code) or decode(jis0212, 'iso2022_jp_1')
    leads = list(range(0x81, 0xA0)) + list(range(0xE0, 0xF0)) + list(range(0xFA, 0xFD))
    for lead in leads:
        for trail in range(0x40, 0xFD):
            if trail != 0x7F:
                pair = bytes([lead, trail])
                yield pair, SHIFT_JIS, 'X', decode(pair, 'cp932')
    for b in range(0xA1, 0xE0):
        yield bytes([b]), SHIFT_JIS, 'X', decode(bytes([b]), 'cp932')
        yield bytes([0x8E, b]), EUC_JP, '', decode(bytes([0x8E, b]), 'euc_jp')
        if b < 0xE0:
            jis = b'\x1b(I' + bytes([b & 0x7F]) + b'\x1b(B'
            yield jis, NONE, '', decode(jis, 'iso2022_jp_ext')
    for b in REPLACED_SJIS_BYTES:
        yield bytes([b]), SHIFT_JIS, 'X', None
    for lead in range(0xF0, 0xFA):
        yield bytes([lead, 0x40]), SHIFT_JIS, 'X', None


def long_texts(cells):
    """Every assigned cell of a code in one text, lines of 40 characters
    with ASCII between them, so that whole blocks are read at once."""
    def joined(items, wrap):
        data, text = b'', ''
        for k, (d, t) in enumerate(items):
            data += d
            text += t
            if k % 40 == 39:
                data += wrap(b' ok\r\n')
                text += ' ok\r\n'
        return data, text
    euc = [(d, t) for d, h, _, t in cells if h == EUC_JP and len(d) == 2 and d[0] != 0x8E and t]
    sjis = [(d, t) for d, h, _, t in cells if h == SHIFT_JIS and t]
    jis = [(d[3:5], t) for d, h, _, t in cells if h == NONE and d.startswith(b'\x1b$B') and t]
    yield joined(euc, lambda a: a) + (EUC_JP,)
    yield joined(sjis, lambda a: a) + (SHIFT_JIS,)
    data, text = joined(jis, lambda a: b'\x1b(B' + a + b'\x1b$B')
    yield b'\x1b$B' + data + b'\x1b(B', text, NONE


SJIS_EXTENDED = '①Ⅹ№㈱∵髙﨑ﾃｽﾄⅰ'.encode('cp932')
EUC_0212 = '丂鷗ｱ漢字'.encode('euc_jp')
JIS_TEXT = '日本語のテキスト'.encode('iso2022_jp')
UTF8_TEXT = 'こんにちは、世界'.encode('utf-8')
# Bytes that both readings accept: EUC-JP 0xB1B2 (one kanji) or Shift_JIS
# (two half-width kana).
AMBIGUOUS = b'\xb1\xb2'
# UTF-8 bytes that are Shift_JIS pairs too: E3 81 | 82 E3 | 81 84.
UTF8_AND_SJIS = 'あい'.encode('utf-8')

# name, input, hint, options, expected text, replaced, reading
CASES = [
    ('ISO-2022-JP', JIS_TEXT, NONE, '', JIS_TEXT.decode('iso2022_jp'), 0, READ_EUC),
    ('escapes repeated', b'\x1b$B\x1b$B$3$s\x1b(B\x1b(Bok\x1b$@$K\x1b(B', NONE, '', 'こんokに', 0, READ_EUC),
    ('ISO-2022-JP label, ESC $ @', b'\x1b$@$3\x1b(B', ISO2022JP, 'X', 'こ', 0, READ_SJIS),
    ('ESC ( J as ASCII', b'\x1b$B$3\x1b(J\\~/', NONE, '', 'こ\\~/', 0, READ_EUC),
    ('kana by ESC ( I', b'\x1b(I\x31\x5f\x1b(Ba', NONE, '', b'\x1b(I\x31\x5f\x1b(Ba'.decode('iso2022_jp_ext'), 0, READ_EUC),
    ('kana by SO SI', b'a\x0e\x31\x32\x0fb', NONE, '', 'a' + b'\xb1\xb2'.decode('cp932') + 'b', 0, READ_EUC),
    ('line end closes the shifts', b'\x1b$B$3\r\n$3\x0e1\n1', NONE, '', 'こ\r\n$3ｱ\n1', 0, READ_EUC),
    ('kanji over line ends', b'\x1b$B$3\x1b(B\r\n\x1b$B$s\x1b(J\n\x1b$@$K\x1b(B\r\r\n\x1b$B$O\x1b(B\r\n\x1b$B\x1b(Bx'
     b'\x1b(B\r\n\x1b$Ba\x1b(B\n\x1b(B', NONE, '', 'こ\r\nん\nに\r\r\nは\r\nx\r\n' + FFFD + '\n', 1, READ_EUC),
    ('Shift_JIS over line ends', b'\x82\xa0\r\n\x82\xa2\r\r\n\x82\xa4\n\r\n\r', SHIFT_JIS, '', 'あ\r\nい\r\r\nう\n\r\n\r', 0,
     READ_SJIS),
    ('JIS X 0212 by ESC $ ( D', b'\x1b$(D\x30\x21\x1b(B', NONE, '', '丂', 0, READ_EUC),
    ('half a pair', b'\x1b$B$3$\x1b(B', NONE, '', 'こ' + FFFD, 1, READ_EUC),
    ('kana shift outside JIS X 0201', b'\x0e\x60\x0f', NONE, '', FFFD, 1, READ_EUC),
    ('unknown escape', b'\x1b$Aab\x1b', NONE, '', FFFD + '$Aab' + FFFD, 2, READ_EUC),
    ('NUL kept', b'a\x00b', NONE, '', 'a\x00b', 0, READ_EUC),
    ('empty', b'', NONE, 'X', '', 0, READ_SJIS),
    ('Shift_JIS NEC and IBM', SJIS_EXTENDED, NONE, '', SJIS_EXTENDED.decode('cp932'), 0, READ_SJIS),
    ('EUC-JP JIS X 0212 and SS2', EUC_0212, NONE, 'X', EUC_0212.decode('euc_jp'), 0, READ_EUC),
    ('EUC-JP amid ISO-2022-JP', JIS_TEXT + b' ' + EUC_0212, NONE, 'X',
     JIS_TEXT.decode('iso2022_jp') + ' ' + EUC_0212.decode('euc_jp'), 0, READ_EUC),
    ('UTF-8 passes', UTF8_TEXT + b'\r\n', NONE, '', UTF8_TEXT.decode('utf-8') + '\r\n', 0, READ_UTF8),
    ('UTF-8 label on UTF-8', UTF8_TEXT, UTF8, 'X', UTF8_TEXT.decode('utf-8'), 0, READ_UTF8),
    ('invalid byte, preferred EUC-JP', b'\xa4\xb3\xff', NONE, '', 'こ' + FFFD, 1, READ_EUC),
    ('invalid byte, preferred Shift_JIS', b'\xa4\xb3\xff', NONE, 'X', '､ｳ' + FFFD, 1, READ_SJIS),
    ('unassigned Shift_JIS pair, ASCII trail again', b'\x85\x40\x82\xa0', NONE, '', FFFD + '@あ', 1, READ_SJIS),
    ('unassigned EUC-JP cell', b'\xa9\xa1\xa4\xa2', NONE, '', FFFD + 'あ', 1, READ_EUC),
    ('lone SS2', b'\xa4\xa2\x8e', NONE, '', 'あ' + FFFD, 1, READ_EUC),
    ('ambiguous, EUC-JP preferred', AMBIGUOUS, NONE, '', AMBIGUOUS.decode('euc_jp'), 0, READ_EUC),
    ('ambiguous, Shift_JIS preferred (X)', AMBIGUOUS, NONE, 'X', AMBIGUOUS.decode('cp932'), 0, READ_SJIS),
    ('Shift_JIS label wins', AMBIGUOUS, SHIFT_JIS, '', AMBIGUOUS.decode('cp932'), 0, READ_SJIS),
    ('EUC-JP label wins', AMBIGUOUS, EUC_JP, 'X', AMBIGUOUS.decode('euc_jp'), 0, READ_EUC),
    ('ISO-2022-JP label leaves it to X', AMBIGUOUS, ISO2022JP, 'X', AMBIGUOUS.decode('cp932'), 0, READ_SJIS),
    ('Shift_JIS label wins over UTF-8', UTF8_AND_SJIS, SHIFT_JIS, '', UTF8_AND_SJIS.decode('cp932'), 0, READ_SJIS),
    ('EUC-JP label loses to Shift_JIS', SJIS_EXTENDED, EUC_JP, '', SJIS_EXTENDED.decode('cp932'), 0, READ_SJIS),
    ('UTF-8 label loses to EUC-JP', EUC_0212, UTF8, 'X', EUC_0212.decode('euc_jp'), 0, READ_EUC),
    # E3 81 is a pair, 82 a lead without its trail.
    ('Shift_JIS label loses to UTF-8', 'あ'.encode('utf-8'), SHIFT_JIS, 'X', 'あ', 0, READ_UTF8),
    ('Shift_JIS label loses at an unassigned pair', b'\x85\x40', SHIFT_JIS, '', FFFD + '@', 1, READ_SJIS),
]


def main():
    probe = sys.argv[1]
    cells = list(cell_cases())
    cells += [(data, hint, 'X' if hint == SHIFT_JIS else '', text) for data, text, hint in long_texts(cells)]
    lines = ['%d %s %s' % (hint, options or '-', data.hex() or '-') for data, hint, options, _ in cells]
    lines += ['%d %s %s' % (hint, options or '-', data.hex() or '-') for _, data, hint, options, _, _, _ in CASES]
    run = subprocess.run([probe], input='\n'.join(lines) + '\n', capture_output=True, text=True)
    if run.returncode != 0:
        print('probe failed (%d): %s' % (run.returncode, run.stderr))
        return 1
    answers = run.stdout.splitlines()
    if len(answers) != len(lines):
        print('probe answered %d of %d inputs' % (len(answers), len(lines)))
        return 1
    failures = []
    made = io.StringIO()
    make_utf8_tables.main(made)
    with open(os.path.join(CORE, 'nkfutf8_tables.inc')) as f:
        kept = f.read()
    # The first line names the Python that made them.
    if made.getvalue().split('\n', 1)[1] != kept.split('\n', 1)[1]:
        failures.append('nkfutf8_tables.inc differs from what make_utf8_tables.py makes now')
    for (data, hint, options, expected), answer in zip(cells, answers):
        text_hex, replaced, _ = answer.split()
        actual = bytes.fromhex('' if text_hex == '-' else text_hex).decode('utf-8', 'backslashreplace')
        if expected is None:
            ok = int(replaced) > 0 and all(c == FFFD or c < '\x80' for c in actual)
            expected = '(replaced)'
        else:
            ok = actual == expected and replaced == '0'
        if not ok:
            failures.append('cell %s hint %d options %r: actual %r (%s replaced), expected %r'
                            % (data.hex(), hint, options, actual, replaced, expected))
    for (name, data, hint, options, text, count, reading), answer in zip(CASES, answers[len(cells):]):
        text_hex, replaced, read = answer.split()
        actual = bytes.fromhex('' if text_hex == '-' else text_hex).decode('utf-8', 'backslashreplace')
        if (actual, int(replaced), int(read)) != (text, count, reading):
            failures.append('%s: input %s hint %d options %r: actual %r, %s replaced, reading %s; '
                            'expected %r, %d replaced, reading %d'
                            % (name, data.hex(), hint, options, actual, replaced, read, text, count, reading))
    for line in failures[:60]:
        print(line)
    print('%d inputs, %d disagreements' % (len(lines), len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
