#!/usr/bin/env python3
"""Damaged stores through vestibar-export, with and without --recover, in
every format: with it, every message the files still hold whole comes out
exactly once (the recovered ones byte for byte, apart from the others), and
what the plain run writes is written as it was.

    test_recover.py VESTIBAR_EXPORT WORK
"""
import os
import shutil
import struct
import subprocess
import sys

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tools', 'sample'))
import make_sample_store as sample  # noqa: E402

COUNT = 10
FALSE_HEAD = 3  # the message that holds a record head of its own
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append('%s:\n  expected %r\n  actual   %r' % (what, expected, actual))


def message(k):
    raw = sample.message_bytes(k % len(sample.MESSAGES), 'iso-2022-jp')
    return raw.replace(b'.sample@', b'.record%02d@' % k)


def message_id(k):
    return b'.record%02d@' % k


def store():
    """Ten messages, a mailbox as real ones are, and its index (2 and 7 deleted)."""
    messages = [message(k) for k in range(COUNT)]
    mbx, offsets = sample.build_mailbox(messages)
    # A whole-looking head inside a message's body (WinBiff ends a message at
    # its first zero byte), on a 4-byte boundary, that leads to the next record.
    at = offsets[FALSE_HEAD] + 16 + (len(messages[FALSE_HEAD]) - 40) // 4 * 4
    length = offsets[FALSE_HEAD + 1] - at
    head = sample.RECORD_MARKER + struct.pack('<III', 99, length, length - 20)
    mbx = mbx[:at] + head + mbx[at + len(head):]
    messages[FALSE_HEAD] = mbx[offsets[FALSE_HEAD] + 16:offsets[FALSE_HEAD] + 16 + len(messages[FALSE_HEAD])]
    flags = [sample.DELETED if k in (2, 7) else sample.UNREAD for k in range(COUNT)]
    return messages, bytearray(mbx), offsets, bytearray(sample.build_index(flags, offsets, mbx))


def forget(index, gone):
    """The index without the entries of `gone`, its count brought down."""
    kept = [k for k in range(COUNT) if k not in gone]
    entries = b''.join(index[80 + 48 * k:80 + 48 * (k + 1)] for k in kept)
    return bytearray(index[:8] + struct.pack('<I', len(kept)) + index[12:80] + entries)


def overwrite(data, at, value):
    data[at:at + len(value)] = value
    return data


# what, damage(mbx, offsets, index) -> (mbx, index or None), messages lost, deleted mail included,
# the summary line after "Inbox.mbx: "
CASES = [
    ('the index forgets records, one with a false head inside',
     lambda m, o, i: (m, forget(i, {1, FALSE_HEAD, 8})), set(), True,
     '7 index entries, 10 records found, 7 messages written, 0 deleted left out, 3 recovered, '
     'no byte outside a record'),
    ("a record's lengths overwritten mid-chain",
     lambda m, o, i: (overwrite(m, o[4] + 8, b'\xf0\xff\xff\x7f\xf0\xff\xff\xff'), None), {4}, True,
     'no index, 9 records found, 4 messages written, 0 deleted left out, 5 recovered, '
     '1 byte range in no message: 2140 (492 bytes)'),
    ('the index cut inside an entry', lambda m, o, i: (m, i[:80 + 48 * 5 + 10]), set(), True,
     '10 index entries, 10 records found, 5 messages written, 0 deleted left out, 5 recovered, '
     'no byte outside a record'),
    # Its head of zeros gives a length of 0: read once, not again for every count that remains.
    ('a run of zeros over one record', lambda m, o, i: (overwrite(m, o[5], bytes(o[6] - o[5])), None), {5}, True,
     'no index, 10 records found, 6 messages written, 0 deleted left out, 4 recovered, '
     '1 byte range in no message: 2648 (464 bytes)'),
    ('a header counting fewer records than follow',
     lambda m, o, i: (overwrite(m, 8, struct.pack('<I', 6)), None), set(), True,
     'no index, 10 records found, 6 messages written, 0 deleted left out, 4 recovered, no byte outside a record'),
    ('deleted mail left out stays out, also where the index forgets a record',
     lambda m, o, i: (m, forget(i, {4})), {2, 7}, False,
     '9 index entries, 10 records found, 7 messages written, 2 deleted left out, 1 recovered, '
     'no byte outside a record'),
    ('an index that counts no entry', lambda m, o, i: (m, i[:8] + struct.pack('<I', 0) + i[12:]), set(), True,
     '0 index entries, 10 records found, 0 messages written, 0 deleted left out, 10 recovered, '
     'no byte outside a record'),
]

FORMATS = ['mbox', 'maildir', 'eml', 'winbiff']


def files_below(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            with open(path, 'rb') as f:
                out[os.path.relpath(path, folder)] = f.read()
    return out


def run(program, fmt, mail, out, recover, deleted):
    target = os.path.join(out, 'm') if fmt == 'eml' else out
    args = [program, '--format', fmt, '-o', target, '--keep-going'] + (['--recover'] if recover else []) + \
        (['--include-deleted'] if deleted else []) + [mail]
    result = subprocess.run(args, capture_output=True)
    # 3 where the damage stopped a walk: it is listed as skipped.
    check('%s: exit code (%s)' % (' '.join(args), result.stderr.decode(errors='replace')), True,
          result.returncode in (0, 3))
    return files_below(out), result.stdout.decode()


def main():
    program, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    for what, damage, lost, deleted, line in CASES:
        messages, mbx, offsets, index = store()
        mbx, index = damage(mbx, offsets, index)
        mail = os.path.join(work, what.replace(' ', '-').replace("'", ''))
        sample.write(os.path.join(mail, 'Inbox.mbx'), bytes(mbx))
        if index is not None:
            sample.write(os.path.join(mail, 'Inbox.idx'), bytes(index))
        held = [k for k in range(COUNT) if k not in lost]
        for fmt in FORMATS:
            context = '%s, %s' % (what, fmt)
            plain, _ = run(program, fmt, mail, os.path.join(mail + '.out', fmt + '-plain'), False, deleted)
            recovered, summary = run(program, fmt, mail, os.path.join(mail + '.out', fmt + '-recover'), True,
                                     deleted)
            apart = {name: data for name, data in recovered.items() if name not in plain}
            check(context + ': what the plain run writes', plain,
                  {name: data for name, data in recovered.items() if name in plain})
            if fmt != 'eml':
                names = {name.split(os.sep)[0] for name in apart}
                check(context + ': the folder of the recovered mail', {
                    'mbox': {'Inbox (recovered).mbox'}, 'maildir': {'.Inbox (recovered)'},
                    'winbiff': {'Inbox (recovered)'}}[fmt], names)
            everything = b''.join(recovered.values())
            check(context + ': times each message comes out', [1] * len(held),
                  [everything.count(message_id(k)) for k in held])
            check(context + ': messages the files no longer hold', [0] * len(lost),
                  [everything.count(message_id(k)) for k in sorted(lost)])
            if fmt == 'eml':
                # Numbered after the plain run's files, byte for byte.
                last = max(plain) if plain else 'm00000.eml'
                check(context + ': recovered files after the others', True, all(n > last for n in apart))
                check(context + ': recovered bytes', sorted(m for k, m in enumerate(messages)
                                                             if k in held and message_id(k) not in b''.join(
                                                                 plain.values())),
                      sorted(apart.values()))
            check(context + ': summary line', 1, summary.count('Inbox.mbx: '))
            check(context + ': what the summary line says', line, summary.splitlines()[0].split('Inbox.mbx: ')[-1])
        listed = subprocess.run([program, '--list', '--recover'] + (['--include-deleted'] if deleted else []) + [mail],
                                capture_output=True).stdout.decode()
        check(what + ': --list --recover says what the run said', summary.splitlines()[0], listed.splitlines()[0])
        check(what + ': --list --recover writes nothing', [mail + '.out'],
              [os.path.join(work, n) for n in os.listdir(work) if n.startswith(os.path.basename(mail) + '.')])
    for failure in failures:
        print(failure)
    print('%d checks failed' % len(failures) if failures else 'all recovery checks passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
