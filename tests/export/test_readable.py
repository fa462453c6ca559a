#!/usr/bin/env python3
"""Exports a store of 1997 Japanese mail of every kind (raw header text in
each code, encoded words, unlabelled bodies, repeated escapes, half-width
kana, NEC characters, a multipart with a binary attachment, headers only,
ASCII mail, CR LF and LF) to mbox and Maildir, and reads it back as readers
do: Python's email, Dovecot's doveadm and notmuch, against the text that
Python's own codecs encoded.  --raw output is held against the stored bytes.

    test_readable.py VESTIBAR_EXPORT WORK     the test
    test_readable.py --store OUT              only the store, in OUT/Mail
"""
import email
import email.policy
import json
import mailbox
import os
import re
import shutil
import subprocess
import sys
import tempfile

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tools', 'sample'))
import make_sample_store as sample  # noqa: E402
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_readback as readback  # noqa: E402

DELETED, UNREAD = sample.DELETED, sample.UNREAD
ATTACHMENT = bytes(range(256)) * 3 + b'\r\n\x1b$B\x00\xff'
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append('%s:\n  expected %r\n  actual   %r' % (what, expected, actual))


def jis(text, doubled=False):
    raw = sample.encode_text(text, 'iso-2022-jp')
    # Some encoders wrote each escape twice; the WHATWG decoder shows U+FFFD there.
    return raw.replace(b'\x1b$B', b'\x1b$B\x1b$B').replace(b'\x1b(B', b'\x1b(B\x1b(B') if doubled else raw


def b_word(raw, charset):
    import base64
    return b'=?' + charset + b'?B?' + base64.b64encode(raw) + b'?='


def enc(code):
    return lambda text: jis(text) if code == 'jis' else text.encode(code)


# name, flags, line end, subject (raw bytes, text), sender (raw, display name, address), body text, extra
# header lines (raw), the body as stored, the message's end.
def case(name, flags, eol, subject, sender, body, head=b'', stored=None, headers_only=False):
    return dict(name=name, flags=flags, eol=eol, subject=subject, sender=sender, body=body, head=head,
                stored=stored, headers_only=headers_only)


KANA = 'ｶﾀｶﾅのﾒｰﾙ'
NEC = '①②③㈱ⅠⅡ№'
BOUNDARY = b'=_vestibar_1997'


def cases():
    out = []
    for code, label, cte, flags in (('jis', b'ISO-2022-JP', b'7bit', UNREAD), ('shift_jis', b'Shift_JIS', b'8bit', 0),
                                    ('euc_jp', b'EUC-JP', b'8bit', UNREAD)):
        e = enc(code)
        name, subject = '山田 太郎', '打ち合わせの件 (%s)' % code
        body = 'お世話になっております。\n会議室は三階です。\n'
        out.append(case('raw ' + code, flags, b'\r\n' if code != 'euc_jp' else b'\n',
                        (e(subject), subject), (e(name) + b' <taro@example.jp>', name, 'taro@example.jp'), body,
                        b'MIME-Version: 1.0\nContent-Type: text/plain; charset=' + label +
                        b'\nContent-Transfer-Encoding: ' + cte + b'\n', e(body)))
    subject, name = '資料送付のお知らせ', '岡山 一子'
    out.append(case('encoded words, doubled escapes', 0, b'\r\n',
                    (b'Re: ' + b_word(jis(subject, True), b'ISO-2022-JP'), 'Re: ' + subject),
                    (b_word(jis(name, True), b'iso-2022-jp') + b' <ichiko@example.jp>', name, 'ichiko@example.jp'),
                    '資料をお送りします。\n', b'MIME-Version: 1.0\nContent-Type: text/plain; charset=ISO-2022-JP\n',
                    jis('資料をお送りします。\n', True)))
    subject = '忘年会の件'
    out.append(case('unlabelled Shift_JIS body, sender in a comment', UNREAD, b'\r\n', (jis(subject), subject),
                    (b'ken@example.jp (' + jis('高橋 健') + b')', '', 'ken@example.jp'), '了解しました。参加します。\n',
                    b'', '了解しました。参加します。\n'.encode('shift_jis')))
    out.append(case('half-width kana', UNREAD | DELETED, b'\r\n', (jis(KANA), KANA),
                    (b'"' + KANA.encode('cp932') + b'" <kana@example.jp>', KANA, 'kana@example.jp'), KANA + '\n',
                    b'Content-Type: text/plain; charset=ISO-2022-JP\n', jis(KANA + '\n')))
    out.append(case('NEC characters', DELETED, b'\r\n', (NEC.encode('cp932'), NEC),
                    (NEC.encode('cp932') + b' <nec@example.jp>', NEC, 'nec@example.jp'), NEC + '\n',
                    b'Content-Type: text/plain; charset=Shift_JIS\n', (NEC + '\n').encode('cp932')))
    text = '添付の見積書をご確認ください。\n'
    parts = (b'This is a multi-part message in MIME format.\n--' + BOUNDARY +
             b'\nContent-Type: text/plain; charset=ISO-2022-JP\n\n' + jis(text) + b'\n--' + BOUNDARY +
             b'\nContent-Type: application/octet-stream; name="' + '見積書.bin'.encode('shift_jis') +
             b'"\nContent-Transfer-Encoding: base64\n\n' +
             b'\n'.join(re.findall(b'.{1,76}', __import__('base64').b64encode(ATTACHMENT))) +
             b'\n--' + BOUNDARY + b'--\n')
    out.append(case('multipart with a binary attachment', 0, b'\r\n', (jis('見積書の確認依頼'), '見積書の確認依頼'),
                    (jis('渡辺 大輔') + b' <daisuke@example.jp>', '渡辺 大輔', 'daisuke@example.jp'), text,
                    b'MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary="' + BOUNDARY + b'"\n', parts))
    out.append(case('headers only', UNREAD, b'\r\n', (jis('本文なし'), '本文なし'),
                    (b'none@example.jp', '', 'none@example.jp'), '', headers_only=True))
    out.append(case('ASCII mail', 0, b'\n', (b'Meeting on Friday', 'Meeting on Friday'),
                    (b'John Smith <john@example.com>', 'John Smith', 'john@example.com'), 'See you there.\n',
                    b'', b'See you there.\n'))
    bad = '壊れた文字'
    out.append(case('a byte valid in no code', 0, b'\r\n', (jis('文字化け'), '文字化け'),
                    (b'bad@example.jp', '', 'bad@example.jp'), bad + '\ufffd\n',
                    b'Content-Type: text/plain; charset=Shift_JIS\n', bad.encode('shift_jis') + b'\xff\n'))
    return out


def message_bytes(number, c):
    head = (b'Date: Mon, %d Jun 1997 10:00:00 +0900\nFrom: ' % (number + 1) + c['sender'][0] +
            b'\nTo: suzuki@example.jp\nSubject: ' + c['subject'][0] + b'\nMessage-ID: <%d.readable@example.jp>\n' %
            number + c['head'])
    raw = head if c['headers_only'] else head + b'\n' + (c['stored'] if c['stored'] is not None else b'')
    return raw.replace(b'\n', c['eol'])


def make_store(mail):
    all_cases = cases()
    raws = [message_bytes(n, c) for n, c in enumerate(all_cases)]
    mbx, offsets = sample.build_mailbox(raws)
    sample.write(os.path.join(mail, 'Inbox.mbx'), mbx)
    sample.write(os.path.join(mail, 'Inbox.idx'), sample.build_index([c['flags'] for c in all_cases], offsets))
    return all_cases, raws


def run(args):
    result = subprocess.run(args, capture_output=True)
    check(' '.join(args) + ' (%s)' % result.stderr.decode(errors='replace'), 0, result.returncode)
    return result.stdout.decode()


def messages_of(out, fmt):
    """[(place, flags, bytes)] of an export: place is 'main' or 'deleted'."""
    found = []
    for place, stem in (('main', 'Inbox'), ('deleted', 'Inbox (deleted)')):
        if fmt == 'mbox':
            path = os.path.join(out, stem + '.mbox')
            box = mailbox.mbox(path, create=False) if os.path.exists(path) else {}
            for key, m in box.items():
                found.append((place, m.get_flags(), box.get_bytes(key), m))
            continue
        box = mailbox.Maildir(out if place == 'main' else os.path.join(out, '.' + stem), factory=None, create=False)
        for key, m in box.items():
            found.append((place, m.get_subdir() + ':' + m.get_flags(), box.get_bytes(key), m))
    return found


def check_email(fmt, out, all_cases):
    found = {}
    for place, flags, raw, _ in messages_of(out, fmt):
        m = email.message_from_bytes(raw, policy=email.policy.default)
        found[int(m['Message-ID'].strip('<>').split('.')[0])] = (place, flags, raw, m)
    check(fmt + ' messages', list(range(len(all_cases))), sorted(found))
    for n, c in enumerate(all_cases):
        if n not in found:
            continue
        place, flags, raw, m = found[n]
        what = '%s, %s' % (fmt, c['name'])
        unread, deleted = c['flags'] & UNREAD, c['flags'] & DELETED
        expected_flags = ('' if unread else 'RO') if fmt == 'mbox' else 'new:' if unread else 'cur:S'
        check(what + ': place and marks', ('deleted' if deleted else 'main', expected_flags), (place, flags))
        head = raw[:raw.find(b'\n\n') + 1]
        check(what + ': header bytes beyond ASCII or ESC', [], re.findall(rb'[^\t\n\x20-\x7e]', head))
        check(what + ': CR', -1, raw.find(b'\r'))
        check(what + ': Subject', c['subject'][1], str(m['Subject']))
        sender = m['From'].addresses[0] if m['From'] and m['From'].addresses else None
        check(what + ': sender', (c['sender'][1], c['sender'][2]),
              (sender.display_name, sender.addr_spec) if sender else None)
        if c['headers_only']:
            check(what + ': empty line after the header block', True, b'\n\n' in raw)
            continue
        body = m.get_body(('plain',))
        check(what + ': body', c['body'], body.get_content() if body else None)
        attachments = [(p.get_filename(), p.get_content()) for p in m.iter_attachments()]
        if c['name'].startswith('multipart'):
            check(what + ': attachment', [('見積書.bin', ATTACHMENT)], attachments)


def check_raw(fmt, out, raws):
    stored = sorted(r for r in raws)
    actual = []
    for _, _, raw, m in messages_of(out, fmt):
        if fmt == 'mbox':
            raw = b''.join(line for line in raw.splitlines(keepends=True)
                           if not re.match(rb'(Status|X-Mozilla-Status): ', line))
        actual.append(raw)
    check(fmt + ' --raw: the stored bytes', stored, sorted(actual))


def check_dovecot(location, tree, all_cases, work):
    """What an IMAP client sees."""
    doveadm = readback.dovecot(tree, location, work, check)
    senders = doveadm('fetch', 'hdr.message-id hdr.from', 'mailbox', '*', 'all')
    check(location + ': doveadm senders', sorted(c['sender'][2] for c in all_cases),
          sorted(re.sub(r'.*<|>.*| \(.*', '', row[1]) for row in senders if 'MISSING_' not in row[1]))
    for n, c in enumerate(all_cases):
        word = re.sub(r'[ -~]', '', c['subject'][1])[:3] or c['subject'][1].split()[0]
        ids = [row[0] for row in doveadm('fetch', 'hdr.message-id', 'mailbox', '*', 'subject', word)]
        check('%s: doveadm search subject %s (%s)' % (location, word, c['name']), True,
              '<%d.readable@example.jp>' % n in ids)


def check_notmuch(maildir, all_cases, work):
    config = os.path.join(work, 'notmuch-config')
    with open(config, 'w') as f:
        f.write('[database]\npath=%s\n[user]\nname=Test\nprimary_email=test@example.jp\n[new]\ntags=\n' % maildir)
    env = dict(os.environ, NOTMUCH_CONFIG=config, HOME=work)
    subprocess.run(['notmuch', 'new', '--quiet'], env=env, check=True, capture_output=True)
    result = subprocess.run(['notmuch', 'show', '--format=json', '--entire-thread=false', '*'], env=env,
                            capture_output=True)
    shown = {}

    def walk(node):
        if isinstance(node, dict) and 'headers' in node:
            shown[node['id']] = (node['headers'].get('Subject'), node['headers'].get('From'))
        elif isinstance(node, list):
            for item in node:
                walk(item)
    walk(json.loads(result.stdout.decode(errors='replace') or '[]'))
    for n, c in enumerate(all_cases):
        name, address = c['sender'][1], c['sender'][2]
        # notmuch shows a comment's name as the name, as GMime decodes it
        check('notmuch: %s' % c['name'], (c['subject'][1], address),
              (shown.get('%d.readable@example.jp' % n, (None, ''))[0],
               re.sub(r'.*<|>.*| \(.*', '', shown.get('%d.readable@example.jp' % n, (None, ''))[1])))
        if name:
            check('notmuch: %s: sender name' % c['name'], True,
                  name in shown.get('%d.readable@example.jp' % n, (None, ''))[1])


def main():
    if len(sys.argv) == 3 and sys.argv[1] == '--store':
        make_store(os.path.join(sys.argv[2], 'Mail'))
        return
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    mail = os.path.join(work, 'Mail')
    all_cases, raws = make_store(mail)
    for fmt in ('mbox', 'maildir'):
        out = os.path.join(work, fmt)
        said = run([program, '-f', fmt, '-o', out, '--include-deleted', mail])
        check(fmt + ': the summary counts the message with U+FFFD', True,
              '1 message with text bytes valid in no code' in said)
        check_email(fmt, out, all_cases)
        run([program, '-f', fmt, '-o', out + '-raw', '--raw', '--include-deleted', mail])
        check_raw(fmt, out + '-raw', raws)
    for tool, location, tree in (('doveadm', 'maildir', 'maildir'), ('doveadm', 'mbox', 'mbox'),
                                 ('notmuch', None, 'maildir')):
        if not shutil.which(tool):
            failures.append('%s is missing: tools/install-deps.sh installs it' % tool)
            continue
        with tempfile.TemporaryDirectory(prefix='vestibar-readers-') as reader:
            os.chmod(reader, 0o755)
            if tool == 'doveadm':
                check_dovecot(location, os.path.join(work, tree), all_cases, reader)
            else:
                check_notmuch(os.path.join(work, tree), all_cases, reader)
    print('\n'.join(failures) or 'every reader reads the mail as it was written')
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
