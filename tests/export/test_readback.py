#!/usr/bin/env python3
"""Exports the sample store, with a mailbox named 受信トレイ in code page 932
added, to mbox and Maildir, and reads the output back independently: with
Python's mailbox module (bytes, flags, "From " lines, file dates) and with
Dovecot's doveadm as a mail client sees it (folders, flags, dates).  The
export keeps the stored bytes (--raw); test_readable.py reads the default.

    test_readback.py VESTIBAR_EXPORT WORK
"""
import base64
import calendar
import email.utils
import mailbox
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tools', 'sample'))
import make_sample_store as sample  # noqa: E402

JAPANESE = '受信トレイ'
# Quoted "From " lines, an obsolete date and no line end at the end.
ODD = (b'From: <odd@example.jp>\r\nDate: Tue, 6 May 97 09:00 JST\r\nMessage-ID: <odd@example.jp>\r\n'
       b'Subject: quoting\r\n\r\nFrom here\r\n>From there\r\n>>From far\r\nno line end')
failures = []


def check(what, expected, actual):
    """Records a difference, narrowed down to the first item and field that differ."""
    while expected != actual and isinstance(expected, (list, tuple)) and isinstance(actual, (list, tuple)) \
            and len(expected) == len(actual):
        at = next(i for i, (e, a) in enumerate(zip(expected, actual)) if e != a)
        what, expected, actual = '%s [%d]' % (what, at), expected[at], actual[at]
    if isinstance(expected, bytes) and isinstance(actual, bytes) and expected != actual:
        at = next((i for i, (e, a) in enumerate(zip(expected, actual)) if e != a), min(len(expected), len(actual)))
        what += ' (from byte %d of %d and %d)' % (at, len(expected), len(actual))
        expected, actual = expected[max(0, at - 20):at + 40], actual[max(0, at - 20):at + 40]
    if expected != actual:
        failures.append('%s:\n  expected %r\n  actual   %r' % (what, expected, actual))


def make_store(work):
    """The sample store plus 受信トレイ.mbx; [(name, [(bytes, unread, deleted,
    sender, date)])]."""
    subprocess.run([sys.executable, os.path.join(TOP, 'tools/sample/make_sample_store.py'),
                    os.path.join(work, 'sample'), 'C:\\sample'], check=True)
    mail = os.path.join(work, 'sample', 'Store', 'Mail')
    extra = [sample.message_bytes(1, 'shift_jis'), ODD]
    mbx, offsets = sample.build_mailbox(extra)
    stem = os.path.join(mail.encode(), JAPANESE.encode('cp932'))
    sample.write(stem + b'.mbx', mbx)
    # The index in capitals, as a copy from Windows may name it: it is found all the same.
    sample.write(stem + b'.IDX', sample.build_index([0, sample.UNREAD], offsets, mbx))
    # JST is +0900; Python's email.utils does not know the name.
    boxes = [(JAPANESE, [(extra[0], False, False, sample.MESSAGES[1][1], date_of(extra[0])),
                         (ODD, True, False, 'odd@example.jp', calendar.timegm((1997, 5, 6, 0, 0, 0)))])]
    for name, code, indexes, flags in sample.MAILBOXES:
        flags = flags or [sample.UNREAD] * len(indexes)
        boxes.append((name, [(sample.message_bytes(i, code), bool(f & sample.UNREAD), bool(f & sample.DELETED),
                              sample.MESSAGES[i][1], date_of(sample.message_bytes(i, code)))
                             for i, f in zip(indexes, flags)]))
    return mail, boxes


def export(program, fmt, out, mail, deleted):
    # The stored bytes: test_readable.py reads the readable default.
    args = [program, '--format', fmt, '-o', out, '--quiet', '--raw'] + (['--include-deleted'] if deleted else []) + [mail]
    result = subprocess.run(args, capture_output=True)
    check('%s exit code (%s)' % (' '.join(args), result.stderr.decode(errors='replace')), 0, result.returncode)


def date_of(raw):
    return email.utils.mktime_tz(email.utils.parsedate_tz(email.message_from_bytes(raw)['Date']))


def without_added_lines(raw):
    """An mbox message as it was stored: the status lines out of its header,
    one '>' less before quoted "From " lines."""
    end = re.search(rb'\n\r?\n', raw)
    head, body = (raw[:end.start() + 1], raw[end.start() + 1:]) if end else (raw, b'')
    head = b''.join(line for line in head.splitlines(keepends=True)
                    if not re.match(rb'(?i)(Status|X-Status|X-Mozilla-Status): ', line))
    return head + re.sub(rb'(?m)^>(>*From )', rb'\1', body)


def places(boxes, deleted):
    """Each mailbox and, with deleted mail, its "(deleted)" place beside it."""
    for name, messages in boxes:
        yield name, [m for m in messages if not m[2]]
        if deleted and any(m[2] for m in messages):
            yield name + ' (deleted)', [m for m in messages if m[2]]


def check_mbox(out, boxes, deleted):
    check('mbox files', sorted(name + '.mbox' for name, _ in places(boxes, deleted)), sorted(os.listdir(out)))
    for name, messages in places(boxes, deleted):
        box = mailbox.mbox(os.path.join(out, name + '.mbox'), create=False)
        actual = [(without_added_lines(box.get_bytes(k)), ''.join(sorted(m.get_flags())), m['X-Mozilla-Status'],
                   ' '.join(m.get_from().split())) for k, m in box.iteritems()]
        expected = []
        for raw, unread, gone, sender, date in messages:
            stamp = ' '.join(time.asctime(time.gmtime(date)).split())
            # Unread mail has no Status line, which mutt shows as new.
            flags = '' if unread else 'OR'
            # A missing line end is added in the message's own style.
            ending = b'' if raw.endswith(b'\n') else b'\r\n' if b'\r\n' in raw else b'\n'
            expected.append((raw + ending, flags, '0000' if unread else '0001',
                             sender + ' ' + stamp))
        check('mbox %s (deleted %s)' % (name, deleted), expected, actual)


def decode_folder(name):
    """Modified UTF-7 back to text, with Python's own codecs."""
    return re.sub(r'&([^-]*)-', lambda m: base64.b64decode(m.group(1).replace(',', '/') + '===')
                  .decode('utf-16-be') if m.group(1) else '&', name)


def expected_maildir(messages):
    """Per message: bytes, subfolder, flags, date."""
    return sorted((raw, 'new' if unread else 'cur', '' if unread else 'S', date)
                  for raw, unread, gone, _, date in messages)


def check_maildir(out, boxes, deleted):
    root = mailbox.Maildir(out, factory=None, create=False)
    folders = {decode_folder(f): root.get_folder(f) for f in root.list_folders()}
    folders['Inbox'] = root
    check('Maildir folders', sorted(name for name, _ in places(boxes, deleted)), sorted(folders))
    for name, messages in places(boxes, deleted):
        box = folders.get(name, {})
        actual = sorted((box.get_bytes(k), m.get_subdir(), m.get_flags(), int(m.get_date()))
                        for k, m in box.items())
        check('Maildir %s (deleted %s)' % (name, deleted), expected_maildir(messages), actual)


def tree(path):
    """Every file under path: name, bytes and, for messages, the modification time."""
    return sorted((os.path.relpath(os.path.join(d, f), path), open(os.path.join(d, f), 'rb').read(),
                   os.stat(os.path.join(d, f)).st_mtime if d.endswith(('/cur', '/new')) else None)
                  for d, _, files in os.walk(path) for f in files)


def dovecot(tree, location, work, check):
    """doveadm over a copy of `tree` (Dovecot adds files), read as `location`
    (maildir, or mbox with its Inbox.mbox as INBOX) by the current user with
    a configuration of its own; differences go to `check`."""
    copy = os.path.join(work, 'mail')
    shutil.copytree(tree, copy)
    uid = gid = 65534 if os.getuid() == 0 else None  # Dovecot gives root no mail access: nobody reads it
    if uid:
        for d, dirs, files in os.walk(copy):
            for f in [d] + [os.path.join(d, x) for x in dirs + files]:
                os.chown(f, uid, gid)
        os.chmod(work, 0o755)
    conf = os.path.join(work, 'dovecot.conf')
    where = copy if location == 'maildir' else copy + ':INBOX=' + copy + '/Inbox.mbox'
    with open(conf, 'w') as f:
        f.write('base_dir = %s/run\nmail_location = %s:%s:INDEX=MEMORY\nmail_uid = %d\nmail_gid = %d\n'
                'first_valid_uid = 0\nfirst_valid_gid = 0\nssl = no\nlog_path = /dev/stderr\n'
                % (work, location, where, uid or os.getuid(), gid or os.getgid()))

    def doveadm(*args):
        result = subprocess.run(['doveadm', '-f', 'tab', '-c', conf] + list(args), capture_output=True,
                                env=dict(os.environ, USER='vestibar', HOME=work, TZ='UTC'))
        check('doveadm %s: %s' % (' '.join(args), result.stderr.decode(errors='replace')), 0, result.returncode)
        return [line.split('\t') for line in result.stdout.decode(errors='replace').splitlines()[1:]]
    return doveadm


def check_doveadm(maildir, boxes, work):
    """What an IMAP client of Dovecot sees."""
    doveadm = dovecot(maildir, 'maildir', work, check)
    names = {'Inbox': 'INBOX'}
    boxes = list(places(boxes, True))
    check('doveadm mailbox list', sorted(names.get(n, n) for n, _ in boxes),
          sorted(row[0] for row in doveadm('mailbox', 'list')))
    expected = sorted([names.get(name, name), email.message_from_bytes(raw)['Message-ID'],
                       '\\Seen' if not unread else '',
                       time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(date))]
                      for name, messages in boxes for raw, unread, gone, _, date in messages)
    check('doveadm fetch', expected, sorted([m, i, ' '.join(sorted(w for w in f.split() if w != '\\Recent')), d]
                                            for m, i, f, d in doveadm('fetch', 'mailbox hdr.message-id flags '
                                                                      'date.received', 'all')))


def main():
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    mail, boxes = make_store(work)
    for deleted in (False, True):
        for fmt, check_output in (('mbox', check_mbox), ('maildir', check_maildir)):
            out = os.path.join(work, '%s-%d' % (fmt, deleted))
            export(program, fmt, out, mail, deleted)
            check_output(out, boxes, deleted)
    export(program, 'maildir', os.path.join(work, 'again'), mail, True)
    check('a second export, file by file', tree(os.path.join(work, 'maildir-1')), tree(os.path.join(work, 'again')))
    if shutil.which('doveadm'):
        # In /tmp, which the user nobody can reach whoever runs the test.
        with tempfile.TemporaryDirectory(prefix='vestibar-dovecot-') as dovecot:
            check_doveadm(os.path.join(work, 'maildir-1'), boxes, dovecot)
    else:
        failures.append("doveadm is missing: Dovecot's dovecot-core package (tools/install-deps.sh) installs it")
    print('\n'.join(failures) or 'mbox and Maildir read back as exported')
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
