#!/usr/bin/env python3
"""Writes a small, realistic MS-IM store and what Vestibar should make of it.

    make_sample_store.py [--bulk N] OUT WINDOWS_OUT

OUT is a folder on this machine; WINDOWS_OUT names the same folder as the
program under test sees it (for instance Z:\\work\\build\\sample), used in
the WinBiff configuration file.  The output is the same on every run:

    OUT/Store/Mail/*.mbx, *.idx   the MS-IM store ("Store Root" is OUT\\Store)
    OUT/Winbiff/winbiff.ini       [CONFIG] UserDirectory=WINDOWS_OUT\\Winbiff\\User\\
    OUT/Winbiff/User/             WinBiff's user directory (empty)
    OUT/expected/eml-skip/        the .eml files of a store run, deleted mail left out
    OUT/expected/eml-all/         the same with deleted mail included
    OUT/expected/winbiff-skip/    the WinBiff folder files, deleted mail left out
    OUT/expected/winbiff-all/     the same with deleted mail included
    OUT/expected/summary.txt      mailbox and message counts of each run

--bulk N adds a fourth mailbox, "Mailing List", of N messages in ISO-2022-JP
with its index (every third unread, every tenth deleted), for runs that last
long enough to watch their progress window; its outputs join the expected
ones.  Without it the store is the small one the end-to-end tests know.

The expected WinBiff files are computed here with Python's own codecs, which
makes them an oracle independent of the converter under test.  The .eml
numbering follows the mailbox order in summary.txt; a store run takes the
mailboxes in whatever order the directory search returns them, so a test of
a store run compares the set of files, and a drop run drops them in order.
"""
import os
import struct
import sys

DELETED, UNREAD = 1, 2

# Japanese mail of the kind an MS-IM store held, within JIS X 0208 so that
# every code converts to the same Shift_JIS.
MESSAGES = [
    ('山田 太郎', 'taro@example.jp', '来週の打ち合わせについて',
     ['鈴木様', '', 'お世話になっております。山田です。',
      '来週の打ち合わせですが、水曜日の午後二時からでいかがでしょうか。',
      '会議室は三階の第二会議室を予約してあります。', '', 'よろしくお願いいたします。', '山田']),
    ('佐藤 花子', 'hanako@example.jp', '資料送付のお知らせ',
     ['皆様', '', '先日の会議で使用した資料をお送りします。',
      'ご不明な点がございましたら、お気軽にお問い合わせください。', '', '佐藤']),
    ('田中 一郎', 'ichiro@example.jp', 'Re: 忘年会の件',
     ['田中です。', '', '> 今年の忘年会は十二月二十日の予定です。', '',
      '了解しました。参加します。', '幹事の方、お疲れさまです。']),
    ('高橋 健', 'ken@example.jp', '新しいソフトウェアの案内',
     ['お客様各位', '', 'このたび、メール変換ツールの新しい版を公開しました。',
      '半角カナ（ｶﾀｶﾅ）を含むメールも正しく変換できます。', '', '高橋']),
    ('伊藤 美咲', 'misaki@example.jp', '写真ありがとうございました',
     ['伊藤です。', '', '旅行の写真、ありがとうございました。',
      '京都の紅葉がとてもきれいですね。', 'また一緒に出かけましょう。']),
    ('渡辺 大輔', 'daisuke@example.jp', '見積書の確認依頼',
     ['渡辺です。', '', '添付の見積書をご確認ください。', '金額は税込みで十二万円です。',
      '.', '以上、よろしくお願いします。']),
]

# mailbox name, code, message indexes, index entries (flags per message) or None
MAILBOXES = [
    ('Inbox', 'iso-2022-jp', [0, 1, 2, 3], [UNREAD, 0, DELETED, UNREAD | DELETED]),
    ('Sent Items', 'euc-jp', [4, 5], [0, 0]),
    ('Archive', 'shift_jis', [5, 0, 4], None),
]

CHARSET_NAMES = {'iso-2022-jp': 'ISO-2022-JP', 'euc-jp': 'EUC-JP', 'shift_jis': 'Shift_JIS'}


def runs(sequence, predicate):
    """Splits a sequence into maximal runs of items alike under predicate."""
    out = []
    for item in sequence:
        flag = predicate(item)
        if out and out[-1][0] == flag:
            out[-1][1] += item
        else:
            out.append([flag, item])
    return out


def encode_text(text, code):
    if code == 'iso-2022-jp':
        # Half-width kana have no place in ISO-2022-JP proper; Japanese mail
        # programs wrote them after ESC ( I.  Encode run by run.
        out = b''
        for is_kana, run in runs(text, lambda ch: '\uff61' <= ch <= '\uff9f'):
            if is_kana:
                out += b'\x1b(I' + bytes(b - 0x80 for b in run.encode('shift_jis')) + b'\x1b(B'
            else:
                out += run.encode('iso-2022-jp')
        return out
    return text.encode(code)


def message_bytes(number, code):
    name, address, subject, body = MESSAGES[number]
    lines = [
        'Return-Path: <%s>' % address,
        'Date: Mon, %d May 1997 1%d:2%d:00 +0900' % (number + 5, number % 10, number % 6),
        'From: %s <%s>' % (name, address),
        'To: suzuki@example.jp',
        'Subject: %s' % subject,
        'Message-ID: <19970505%02d.sample@example.jp>' % number,
        'MIME-Version: 1.0',
        'Content-Type: text/plain; charset=%s' % CHARSET_NAMES[code],
        'Content-Transfer-Encoding: %s' % ('7bit' if code == 'iso-2022-jp' else '8bit'),
        '',
    ] + body
    return b''.join(encode_text(line, code) + b'\r\n' for line in lines)


def to_shift_jis(raw, code):
    """What the converter should make of a message: Shift_JIS, lines kept."""
    if code == 'iso-2022-jp':
        # Python has no codec for ESC ( I; its runs become Shift_JIS kana
        # (0xA1 to 0xDF) directly, the rest goes through the codec.
        out = b''
        for number, piece in enumerate(raw.split(b'\x1b(I')):
            if number > 0:
                kana, _, piece = piece.partition(b'\x1b(B')
                out += bytes(b + 0x80 for b in kana)
            out += piece.decode('iso-2022-jp').encode('cp932')
        return out
    text = raw.decode(code)
    return text.encode('cp932')


def winbiff_entry(converted, unread):
    # The flag line closes the header block, before the first empty line.
    end = converted.find(b'\r\n\r\n')
    head, rest = converted[:end + 2], converted[end + 2:]
    flag = b'X-winbiff-flags: ' + (b'Unseen' if unread else b'Seen') + b'\r\n'
    return head + flag + rest + b'\r\n.\r\n'


# What real stores hold beyond what the program reads: every record starts
# with the marker 00 7F 00 7F and its message number, records and entries
# start on 4-byte boundaries; the mailbox header has the last message number
# (bytes 12-15) and the file's size (16-19), the index header its own size
# (12-15); an entry has its number (8-11), its own offset (12-15) and the
# size of the record it names (24-27).  The program ignores all of them.
RECORD_MARKER = b'\x00\x7f\x00\x7f'
MAILBOX_HEADER, INDEX_HEADER, ENTRY_LENGTH = 84, 80, 48


def align4(n):
    return (n + 3) // 4 * 4


def build_mailbox(messages):
    """The mailbox's bytes and its records' offsets."""
    records, offsets = b'', []
    for number, raw in enumerate(messages, 1):
        offsets.append(MAILBOX_HEADER + len(records))
        # MS-IM leaves room after a message.
        record_length = align4(16 + len(raw) + 4)
        record = RECORD_MARKER + struct.pack('<III', number, record_length, len(raw)) + raw
        records += record + b'\0' * (record_length - len(record))
    size = MAILBOX_HEADER + len(records)
    header = b'JMF6' + struct.pack('<IIII', 0x00010003, len(messages), len(messages), size)
    return header + b'\0' * (MAILBOX_HEADER - len(header)) + records, offsets


def record_length_at(mbx, offset):
    return struct.unpack_from('<I', mbx, offset + 8)[0]


def build_index(flags, offsets, mbx=None):
    """The index of entries with `flags` naming the records at `offsets` of
    the mailbox `mbx` (for the record sizes; 0 without it)."""
    entries = b''
    for number, (f, offset) in enumerate(zip(flags, offsets), 1):
        own = INDEX_HEADER + len(entries)
        size = record_length_at(mbx, offset) if mbx is not None else 0
        entry = bytes([f]) + b'\0' * 7 + struct.pack('<IIIII', number, own, ENTRY_LENGTH, offset, size)
        entries += entry + b'\0' * (ENTRY_LENGTH - len(entry))
    header = b'JMF9' + struct.pack('<III', 0x00010003, len(flags), INDEX_HEADER + len(entries))
    return header + b'\0' * (INDEX_HEADER - len(header)) + entries


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def bulk_mailbox(count):
    flags = [(UNREAD if k % 3 == 0 else 0) | (DELETED if k % 10 == 9 else 0) for k in range(count)]
    return ('Mailing List', 'iso-2022-jp', [k % len(MESSAGES) for k in range(count)], flags)


def main():
    args = sys.argv[1:]
    mailboxes = list(MAILBOXES)
    if len(args) == 4 and args[0] == '--bulk' and args[1].isdigit() and int(args[1]) > 0:
        mailboxes.append(bulk_mailbox(int(args[1])))
        args = args[2:]
    if len(args) != 2:
        sys.exit(__doc__)
    out, windows_out = args[0], args[1].rstrip('\\')
    mail = os.path.join(out, 'Store', 'Mail')
    summary = []
    for mode in ('skip', 'all'):
        number = 0
        deleted_count = 0
        for name, code, indexes, flags in mailboxes:
            entries = flags if flags is not None else [UNREAD] * len(indexes)
            folder = b''
            for i, f in zip(indexes, entries):
                if f & DELETED and mode == 'skip':
                    continue
                number += 1
                deleted_count += 1 if f & DELETED else 0
                raw = message_bytes(i, code)
                write(os.path.join(out, 'expected', 'eml-' + mode, 'exp%05d.eml' % number), raw)
                folder += winbiff_entry(to_shift_jis(raw, code), f & UNREAD)
            write(os.path.join(out, 'expected', 'winbiff-' + mode, name), folder)
        summary.append('%s mailboxes=%d messages=%d deleted=%d' % (mode, len(mailboxes), number, deleted_count))
    for name, code, indexes, flags in mailboxes:
        mbx, offsets = build_mailbox([message_bytes(i, code) for i in indexes])
        write(os.path.join(mail, name + '.mbx'), mbx)
        if flags is not None:
            write(os.path.join(mail, name + '.idx'), build_index(flags, offsets, mbx))
    write(os.path.join(out, 'expected', 'summary.txt'),
          ('order=' + ','.join(m[0] + '.mbx' for m in mailboxes) + '\n' + '\n'.join(summary) + '\n').encode())
    ini = '[CONFIG]\r\nUserDirectory=%s\\Winbiff\\User\\\r\n' % windows_out
    write(os.path.join(out, 'Winbiff', 'winbiff.ini'), ini.encode('cp932'))
    os.makedirs(os.path.join(out, 'Winbiff', 'User'), exist_ok=True)


if __name__ == '__main__':
    main()
