// Mailbox names as today's systems want them: UTF-8, IMAP folder names and
// file names that are safe to create.  Deterministic: the same name gives
// the same result on every run and machine.
#pragma once

#include <string>
#include <string_view>

// True for well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF).
bool IsValidUtf8(std::string_view text);

// A mailbox file name as UTF-8.  Valid UTF-8 is kept as it is; anything else
// is read as code page 932, in which Japanese Windows wrote its file names.
// A byte that does not convert becomes "%XX" (two upper-case hex digits),
// and a '%' of such a name becomes "%25", so that two names that differ
// still differ afterwards.
std::string MailboxNameToUtf8(std::string_view raw);

// A folder name in IMAP's modified UTF-7 (RFC 3501 5.1.3): printable ASCII
// stands for itself, '&' becomes "&-", and everything else goes as UTF-16 in
// modified BASE64 (',' for '/') between '&' and '-'.  Bytes that are not
// UTF-8 are taken as U+FFFD.
std::string ImapModifiedUtf7(std::string_view utf8);

enum class NameUse {
    kFile,           // a file or folder of its own, such as Inbox.mbox
    kMaildirFolder,  // the part after the '.' of a Maildir++ folder
};

// A name that can be created as one file name: '/', '\', control characters
// (C0, DEL, C1), bytes that are not UTF-8 and a leading '.' become "%XX" of
// their bytes, so nothing escapes the output folder or hides; an empty name
// becomes "%00".  For kMaildirFolder every '.' is escaped, since Maildir++
// reads it as the separator of a folder hierarchy.
std::string SafeFileName(std::string_view utf8, NameUse use = NameUse::kFile);
