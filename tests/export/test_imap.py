#!/usr/bin/env python3
"""The road into an IMAP account as the README gives it: the store exported
as a Maildir, uploaded by mbsync (isync) with the README's .mbsyncrc into a
Dovecot IMAP server of the test's own (127.0.0.1 only, a free high port, a
static password, its mail in a temporary folder), then read over IMAP with
imaplib: every message in its folder, with its read state, and an
INTERNALDATE that is the mail's Date (or, without one, the mailbox file's
time).  A second mbsync run uploads nothing.

    test_imap.py VESTIBAR_EXPORT WORK
"""
import email
import email.utils
import imaplib
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stores  # noqa: E402

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
PASSWORD = 'vestibar-test'
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append('%s:\n  expected %r\n  actual   %r' % (what, expected, actual))


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def readme_mbsyncrc():
    """The .mbsyncrc of the README, as a reader copies it."""
    text = open(os.path.join(TOP, 'README.md'), encoding='utf-8').read()
    block = re.search(r'\n((?:    .*\n|\n)*?    Channel upload\n(?:    .*\n)*)', text)
    if not block:
        sys.exit("README.md has no .mbsyncrc block with 'Channel upload'")
    return '\n'.join(line[4:] for line in block.group(1).splitlines()) + '\n'


def start_dovecot(work, port):
    me = os.getuid()
    # Dovecot gives root no mail of its own: as root, the mail is nobody's.
    mail_uid, mail_gid = (65534, 65534) if me == 0 else (me, os.getgid())
    user = 'root' if me == 0 else os.environ.get('USER') or subprocess.run(
        ['id', '-un'], capture_output=True, text=True).stdout.strip()
    # Logins run as dovenull where Dovecot's package made it, as root would.
    login = 'dovenull' if me == 0 else user
    conf = os.path.join(work, 'dovecot.conf')
    with open(conf, 'w') as f:
        f.write('''base_dir = {w}/run
state_dir = {w}/state
listen = 127.0.0.1
protocols = imap
ssl = no
disable_plaintext_auth = no
auth_mechanisms = plain login
log_path = {w}/dovecot.log
mail_location = maildir:{w}/imap
first_valid_uid = 0
first_valid_gid = 0
default_login_user = {login}
default_internal_user = {user}
passdb {{
  driver = static
  args = password={password}
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={w}/home
}}
service imap-login {{
  chroot =
  inet_listener imap {{
    address = 127.0.0.1
    port = {port}
  }}
  inet_listener imaps {{
    port = 0
  }}
}}
service anvil {{
  chroot =
}}
service stats {{
  unix_listener stats-writer {{
    mode = 0666
  }}
}}
'''.format(w=work, user=user, login=login, password=PASSWORD, uid=mail_uid, gid=mail_gid, port=port))
    for d in ('run', 'state', 'home', 'imap'):
        os.makedirs(os.path.join(work, d), exist_ok=True)
        if d in ('home', 'imap'):
            os.chown(os.path.join(work, d), mail_uid, mail_gid)
    # The daemon keeps what it was given as output open: a file, not a pipe.
    with open(os.path.join(work, 'start.log'), 'w') as log:
        status = subprocess.run(['/usr/sbin/dovecot', '-c', conf], stdout=log, stderr=log).returncode
    if status != 0:
        sys.exit('dovecot did not start: %s' % open(os.path.join(work, 'start.log')).read())
    for _ in range(100):
        try:
            socket.create_connection(('127.0.0.1', port), timeout=1).close()
            return conf
        except OSError:
            time.sleep(0.1)
    sys.exit('dovecot does not answer on 127.0.0.1:%d' % port)


def mbsync(work, rc):
    result = subprocess.run(['mbsync', '-c', rc, '-a'], capture_output=True, text=True,
                            env=dict(os.environ, HOME=work))
    check('mbsync exit status (%s)' % (result.stdout + result.stderr), 0, result.returncode)
    return result.stdout + result.stderr


def server_view(port):
    """{folder: sorted [(Message-ID, seen, internaldate seconds)]} over IMAP."""
    imap = imaplib.IMAP4('127.0.0.1', port)
    imap.login('vestibar', PASSWORD)
    view = {}
    for line in imap.list()[1]:
        name = re.match(r'\(.*?\) (?:"."|NIL) (.*)$', line.decode()).group(1).strip('"')
        count = int(imap.select('"%s"' % name, readonly=True)[1][0])
        rows = []
        status, data = ('NO', []) if count == 0 else imap.fetch('1:*', '(FLAGS INTERNALDATE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID)])')
        for item in data if status == 'OK' else []:
            if not isinstance(item, tuple):
                continue
            meta = item[0].decode()
            seen = '\\Seen' in meta
            stamp = imaplib.Internaldate2tuple(item[0])
            header = email.message_from_bytes(item[1])
            rows.append((header['Message-ID'], seen, int(time.mktime(stamp) - (time.timezone if stamp.tm_isdst <= 0
                                                                                 else time.altzone))))
        view[name] = sorted(rows)
    imap.logout()
    return view


def uid_next(port):
    imap = imaplib.IMAP4('127.0.0.1', port)
    imap.login('vestibar', PASSWORD)
    names = [re.match(r'\(.*?\) (?:"."|NIL) (.*)$', line.decode()).group(1) for line in imap.list()[1]]
    found = {name: imap.status(name, '(UIDNEXT)')[1][0].decode() for name in names}
    imap.logout()
    return found


def expected_view(boxes):
    view = {}
    for name, messages in boxes:
        rows = []
        for raw, unread, deleted in messages:
            if deleted:
                continue
            parsed = email.message_from_bytes(raw)
            date = email.utils.parsedate_tz(parsed['Date']) if parsed['Date'] else None
            when = email.utils.mktime_tz(date) if date else stores.FILE_TIME
            rows.append((parsed['Message-ID'], not unread, when))
        view['INBOX' if name == 'Inbox' else name] = sorted(rows)
    return view


def main():
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    for tool in ('mbsync', '/usr/sbin/dovecot'):
        if not shutil.which(tool):
            sys.exit('%s is missing: isync and dovecot-imapd (tools/install-deps.sh) install it' % tool)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    mail = os.path.join(work, 'Mail')
    boxes = stores.write_store(mail, 60)
    maildir = os.path.join(work, 'Maildir')
    result = subprocess.run([program, '--format', 'maildir', '-o', maildir, '--quiet', mail], capture_output=True)
    check('export (%s)' % result.stderr.decode(errors='replace'), 0, result.returncode)

    # Dovecot refuses sockets in long paths and needs its folder reachable.
    server = tempfile.mkdtemp(prefix='vestibar-imap-')
    os.chmod(server, 0o755)
    port = free_port()
    conf = start_dovecot(server, port)
    try:
        rc = os.path.join(work, '.mbsyncrc')
        text = readme_mbsyncrc().replace('~/Maildir', maildir).replace('imap.example.com', '127.0.0.1')
        text = re.sub(r'(?m)^User .*$', 'User vestibar\nPort %d' % port, text)
        text = re.sub(r'(?m)^PassCmd .*$', 'Pass %s' % PASSWORD, text)
        text = re.sub(r'(?m)^SSLType .*$', 'SSLType None\nAuthMechs PLAIN', text)
        text = text.replace('~/', work + '/')
        open(rc, 'w').write(text)
        os.makedirs(os.path.join(work, '.local', 'state', 'mbsync'), exist_ok=True)
        mbsync(work, rc)
        expected = expected_view(boxes)
        actual = server_view(port)
        for name in sorted(set(expected) | set(actual)):
            check('IMAP folder %s: (Message-ID, read, INTERNALDATE) of every message' % name,
                  expected.get(name), actual.get(name))
        before = uid_next(port)
        second = mbsync(work, rc)
        # A message uploaded again would take a new UID, even where the
        # server kept one copy.
        check('a second mbsync run uploads nothing: UIDNEXT of each folder (%s)' % second.strip(), before,
              uid_next(port))
        check('a second mbsync run: the server afterwards', actual, server_view(port))
        total = sum(len(rows) for rows in actual.values())
        read = sum(seen for rows in actual.values() for _, seen, _ in rows)
        dated = sum(1 for name in actual for row in actual[name] if row in (expected.get(name) or []))
        print('IMAP: %d messages in %d folders, %d read and %d unread, %d with the expected INTERNALDATE'
              % (total, len(actual), read, total - read, dated))
    finally:
        subprocess.run(['doveadm', '-c', conf, 'stop'], capture_output=True)
        if not failures:
            shutil.rmtree(server, ignore_errors=True)
    print('\n'.join(failures) or 'every message arrived over IMAP in its folder, read state and date')
    sys.exit(1 if failures else 0)


if __name__ == '__main__':
    main()
