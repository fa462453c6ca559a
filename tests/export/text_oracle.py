#!/usr/bin/env python3
"""Generated dates and code page 932 names, each answered by Python's own
email.utils and cp932 codec and by the exporter's helpers (through
text_probe); prints the disagreements.

    text_oracle.py PROBE
"""
import email.utils
import random
import subprocess
import sys

ZONES = ['+0900', '-0500', '+0000', '-0000', '+1345', '-1200', 'UT', 'GMT', 'Z',
         'EST', 'EDT', 'CST', 'CDT', 'MST', 'MDT', 'PST', 'PDT']
MONTHS = 'Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec'.split()
DAYS = 'Mon Tue Wed Thu Fri Sat Sun'.split()
MONTH_DAYS = [31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]


def random_date(rng):
    year = rng.randint(1900, 2099)
    month = rng.randrange(12)
    last = MONTH_DAYS[month] if month != 1 or (year % 4 == 0 and (year % 100 or year % 400 == 0)) else 28
    day = rng.randint(1, last)
    # Python reads two-digit years 69-99 as 19xx and the rest as 20xx; keep
    # to the years where that agrees with 00-49 and 50-99.
    short = 1969 <= year <= 2049 and rng.random() < 0.3
    text_year = '%02d' % (year % 100) if short else str(year)
    clock = '%02d:%02d' % (rng.randrange(24), rng.randrange(60))
    if rng.random() < 0.7:
        clock += ':%02d' % rng.randrange(60)
    weekday = rng.choice(DAYS) + ', ' if rng.random() < 0.6 else ''
    return '%s%d %s %s %s %s' % (weekday, day, MONTHS[month], text_year, clock, rng.choice(ZONES))


def random_cp932(rng):
    out = b''
    while len(out) < rng.randint(1, 16):
        ch = chr(rng.randint(0x20, 0xffff))
        try:
            code = ch.encode('cp932')
        except UnicodeEncodeError:
            continue
        # Python maps the lone bytes 0x80, 0xA0 and 0xFD-0xFF that Windows
        # leaves undefined; the helper escapes them.
        if len(code) == 2 or code[0] < 0x80 or 0xa1 <= code[0] <= 0xdf:
            out += code
    try:
        out.decode('utf-8')  # UTF-8 would be kept as it is: make it none
        return out + b'\x82\xa0'
    except UnicodeDecodeError:
        return out


def main():
    rng = random.Random(1997)
    rows = []
    for _ in range(3000):
        text = random_date(rng)
        rows.append(('date', text.encode(), str(email.utils.mktime_tz(email.utils.parsedate_tz(text)))))
    for _ in range(1000):
        raw = random_cp932(rng)
        # The helper escapes '%' in a converted name; Python's codec does not.
        rows.append(('cp932', raw, raw.decode('cp932').replace('%', '%25').encode().hex()))
    request = ''.join('%s\t%s\n' % (kind, data.hex()) for kind, data, _ in rows)
    answer = subprocess.run([sys.argv[1]], input=request, capture_output=True, text=True, check=True)
    actual = answer.stdout.splitlines()
    failures = 0
    for (kind, data, expected), got in zip(rows, actual + [''] * (len(rows) - len(actual))):
        if got != expected:
            failures += 1
            if failures <= 20:
                print('%s %r: expected %s, actual %s' % (kind, data, expected, got))
    print('%d of %d cases disagree' % (failures, len(rows)))
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
