"""Stores for the exporter's Python tests, from the sample generator's
builders: the sample's small mailboxes and a bulk one of `count` messages,
each with its own Message-ID, read, unread and deleted, one without a Date.
"""
import os
import sys

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..')
sys.path.insert(0, os.path.join(TOP, 'tools', 'sample'))
import make_sample_store as sample  # noqa: E402

# The modification time given to every mailbox file: the time of a message
# without a readable Date.
FILE_TIME = 883612800  # 1998-01-01 00:00:00 UTC


def bulk_message(k):
    raw = sample.message_bytes(k % len(sample.MESSAGES), 'iso-2022-jp')
    raw = raw.replace(b'.sample@example.jp>', b'.%05d@example.jp>' % k, 1)
    if k == 7:
        # No Date at all.
        raw = b'\r\n'.join(line for line in raw.split(b'\r\n') if not line.startswith(b'Date:'))
    # Bodies of varied lengths, so that messages cross the writers' pieces.
    return raw + b'padding line\r\n' * (k % 40)


def write_store(folder, count):
    """Writes the store into `folder`; returns [(mailbox, [(raw, unread, deleted)])]."""
    boxes = []
    for name, code, numbers, flags in sample.MAILBOXES + [('Bulk', 'iso-2022-jp', list(range(count)), None)]:
        if name == 'Bulk':
            messages = [bulk_message(k) for k in numbers]
            flags = [(sample.UNREAD if k % 3 == 0 else 0) | (sample.DELETED if k % 10 == 9 else 0) for k in numbers]
        else:
            messages = [sample.message_bytes(i, code) for i in numbers]
        mbx, offsets = sample.build_mailbox(messages)
        path = os.path.join(folder, name)
        sample.write(path + '.mbx', mbx)
        if flags:
            sample.write(path + '.idx', sample.build_index(flags, offsets))
        flags = flags or [sample.UNREAD] * len(messages)
        boxes.append((name, [(raw, bool(f & sample.UNREAD), bool(f & sample.DELETED))
                             for raw, f in zip(messages, flags)]))
        os.utime(path + '.mbx', (FILE_TIME, FILE_TIME))
    return boxes


def tree(path):
    """Every file under `path`: relative name, bytes and, for a Maildir's
    messages, the modification time (the message's date)."""
    return {os.path.relpath(os.path.join(d, f), path):
            (open(os.path.join(d, f), 'rb').read(),
             int(os.stat(os.path.join(d, f)).st_mtime) if d.endswith(('/cur', '/new')) else None)
            for d, _, files in os.walk(path) for f in files}
