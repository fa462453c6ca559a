#!/usr/bin/env python3
"""Interrupted runs and --resume, driving the real program: for each format,
a run stopped by SIGTERM or SIGINT in the middle of a mailbox of a few
thousand messages leaves whole messages only and ends by the signal;
--resume then gives the same files, byte for byte, as one uninterrupted
run, and a second --resume changes nothing.  Then what --resume does with a
torn tail, a real difference and a file of its own in the output.

    test_resume.py VESTIBAR_EXPORT WORK
"""
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import stores  # noqa: E402

COUNT = 3000
# Where each format writes the bulk mailbox's messages, and how a whole
# output file of it ends.
BULK = {'mbox': 'Bulk.mbox', 'winbiff': 'Bulk', 'maildir': '.Bulk/cur', 'eml': 'exp00010.eml'}
failures = []


def check(what, expected, actual):
    if expected != actual:
        failures.append('%s:\n  expected %r\n  actual   %r' % (what, expected, actual))


def differences(expected, actual):
    """The first few names whose files differ, for a readable failure."""
    names = sorted(set(expected) | set(actual))
    return [(n, 'missing' if n not in actual else 'extra' if n not in expected else
             '%d bytes, expected %d' % (len(actual[n][0]), len(expected[n][0])))
            for n in names if expected.get(n) != actual.get(n)][:5]


def run(program, fmt, out, mail, *more, quiet=True):
    os.makedirs(out, exist_ok=True)  # for eml: an existing folder takes the files with the prefix exp
    args = [program, '-f', fmt, '-o', out, '--include-deleted'] + (['--quiet'] if quiet else []) + list(more) + [mail]
    # Without stdin, as from cron: the files opened take descriptor 0 too.
    return subprocess.run(args, capture_output=True, preexec_fn=lambda: os.close(0))


def interrupted(program, fmt, out, mail, sig):
    """A run stopped by `sig` once the bulk mailbox's output has begun: the
    process is held (SIGSTOP) as soon as that output appears, so that the
    signal reaches it in the middle of the mailbox whatever the machine's
    speed."""
    os.makedirs(out, exist_ok=True)
    process = subprocess.Popen([program, '-f', fmt, '-o', out, '--include-deleted', mail],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    target = os.path.join(out, BULK[fmt])
    deadline = time.monotonic() + 30
    while not os.path.exists(target) and process.poll() is None and time.monotonic() < deadline:
        pass
    if process.poll() is None:
        process.send_signal(signal.SIGSTOP)
        process.send_signal(sig)
        process.send_signal(signal.SIGCONT)
    stdout, stderr = process.communicate()
    return process.returncode, stderr.decode(errors='replace')


def whole(fmt, name, data, reference):
    """An interrupted output file: the reference's own or a cut of it at a
    message's end."""
    full = reference.get(name, (None,))[0]
    if full is None:
        return False
    if fmt in ('mbox', 'winbiff') and data != full:
        end = b'\n\n' if fmt == 'mbox' else b'\r\n.\r\n'
        return full.startswith(data) and (data == b'' or data.endswith(end)) and \
            (fmt == 'winbiff' or full[len(data):].startswith(b'From '))
    return data == full


def main():
    program, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    shutil.rmtree(work, ignore_errors=True)
    mail = os.path.join(work, 'Mail')
    os.makedirs(mail)
    stores.write_store(mail, COUNT)
    for fmt in ('mbox', 'maildir', 'eml', 'winbiff'):
        reference_out = os.path.join(work, fmt, 'reference')
        result = run(program, fmt, reference_out, mail)
        check('%s: uninterrupted run (%s)' % (fmt, result.stderr.decode(errors='replace')), 0, result.returncode)
        reference = stores.tree(reference_out)
        for sig in (signal.SIGTERM, signal.SIGINT):
            what = '%s, %s' % (fmt, sig.name)
            out = os.path.join(work, fmt, sig.name)
            status, stderr = interrupted(program, fmt, out, mail, sig)
            check('%s: exit status (stderr %s)' % (what, stderr), -sig, status)
            check('%s: the report names the signal' % what, True, 'stopped by %s' % sig.name in stderr)
            cut = stores.tree(out)
            check('%s: the run stopped before the end' % what, True, cut != reference)
            torn = sorted(name for name, (data, _) in cut.items() if not whole(fmt, name, data, reference))
            check('%s: files that are not whole messages of the store' % what, [], torn)
            for attempt in ('first', 'second'):
                # The second names the output as tab completion does, with a '/' at its end.
                result = run(program, fmt, out + '/' * (attempt == 'second'), mail, '--resume',
                             quiet=attempt == 'first')
                check('%s: %s --resume exit status (%s)' % (what, attempt, result.stderr.decode(errors='replace')),
                      0, result.returncode)
                if attempt == 'second':
                    check('%s: the second --resume writes nothing (%s)' % (what, result.stdout.decode()), True,
                          b', 0 written now' in result.stdout)
                after = stores.tree(out)
                check('%s: after the %s --resume, files that differ from one run' % (what, attempt),
                      [], differences(reference, after))
    resume_cases(program, work, mail)
    print('\n'.join(failures) or 'interrupted runs resumed to the same files as one run')
    sys.exit(1 if failures else 0)


def resume_cases(program, work, mail):
    """--resume over outputs changed after the run: (case, format, change,
    exit status, the file afterwards: 'reference' or 'changed')."""
    def tear(path):
        data = open(path, 'rb').read()
        open(path, 'wb').write(data[:len(data) * 2 // 3])

    def alter(path):
        data = bytearray(open(path, 'rb').read())
        data[len(data) // 2] ^= 0x20
        open(path, 'wb').write(bytes(data))

    def add(path):
        open(os.path.join(os.path.dirname(path), 'notes.txt'), 'w').write('mine\n')

    cases = [
        ('torn tail', 'mbox', 'Bulk.mbox', tear, 0, 'reference'),
        ('torn tail', 'winbiff', 'Bulk', tear, 0, 'reference'),
        ('torn message file', 'eml', 'exp00100.eml', tear, 0, 'reference'),
        ('a byte changed', 'mbox', 'Bulk.mbox', alter, 1, 'changed'),
        ('a byte changed', 'maildir', None, alter, 1, 'changed'),
        ('a file of its own', 'maildir', None, add, 1, 'reference'),
        ('a file of its own', 'eml', 'exp00001.eml', add, 0, 'reference'),  # not named exp...: not the run's
    ]
    for name, fmt, target, change, status, afterwards in cases:
        what = '--resume, %s (%s)' % (name, fmt)
        out = os.path.join(work, 'cases', fmt + '-' + name.replace(' ', '-'))
        shutil.copytree(os.path.join(work, fmt, 'reference'), out)
        if target is None:
            folder = os.path.join(out, '.Bulk', 'cur')
            target = os.path.join('.Bulk', 'cur', sorted(os.listdir(folder))[50])
        path = os.path.join(out, target)
        change(path)
        changed = open(path, 'rb').read()
        result = run(program, fmt, out, mail, '--resume')
        stderr = result.stderr.decode(errors='replace')
        check('%s: exit status (%s)' % (what, stderr), status, result.returncode)
        expected = stores.tree(os.path.join(work, fmt, 'reference'))[target][0] if afterwards == 'reference' else changed
        check('%s: %s afterwards is the %s one' % (what, target, afterwards), True, open(path, 'rb').read() == expected)
        if status == 1:
            check('%s: the report names the file' % what, True, target.split('/')[-1] in stderr or 'notes.txt' in stderr)


if __name__ == '__main__':
    main()
