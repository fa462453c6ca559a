#!/bin/bash
# demo-export.sh PROGRAM WORKDIR: vestibar-export, the native command-line
# exporter, on a fresh sample store in WORKDIR: the listing of its
# mailboxes, an export into mbox files read back with Python's mailbox
# module, and the same mail as a Maildir.  tools/demo.sh comes here.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -ne 2 ]; then
    echo "usage: demo-export.sh PROGRAM WORKDIR" >&2
    exit 2
fi
program=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
python3 "$top/tools/sample/make_sample_store.py" "$work/sample" 'C:\sample'
store=$work/sample/Store/Mail

show() { echo "\$ vestibar-export $*"; "$program" "$@"; echo; }
show --list "$store"
show --format mbox -o "$work/mbox" "$store"

echo "The mbox files read back by Python's mailbox module (flags R read, O not"
echo "new, D deleted; subjects decoded from each message's charset):"
python3 - "$work/mbox" <<'PY'
import mailbox
import os
import re
import sys

folder = sys.argv[1]
for name in sorted(os.listdir(folder)):
    box = mailbox.mbox(os.path.join(folder, name), create=False)
    print('  %s: %d messages' % (name, len(box)))
    for key, message in box.iteritems():
        raw = re.search(rb'(?im)^Subject: ([^\r\n]*)', box.get_bytes(key))
        subject = raw.group(1).decode(message.get_content_charset() or 'ascii', 'replace') if raw else ''
        print('    %-3s From %s | %s' % (message.get_flags(), message.get_from(), subject))
PY
echo
show --format maildir --include-deleted -o "$work/Maildir" "$store"
echo "The Maildir (open it with: mutt -f $work/Maildir):"
(cd "$work/Maildir" && find . -type f ! -name maildirfolder | sort | sed 's/^/  /')
