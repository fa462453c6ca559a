// Reading the few header facts an export needs: a message's date, a header
// field's value and the sender's address.  Pure functions over bytes; they
// never throw for any input and never read outside the views they get.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An RFC 5322 date-time, with the obsolete forms old mail carries (two- and
// three-digit years, named and military zones, comments, no weekday, no
// seconds), as seconds since 1970-01-01 00:00:00 UTC.  Nothing for text that
// is not a date or names an impossible one (30 February, hour 25).  A zone
// whose meaning is unknown counts as UTC, as RFC 5322 asks; so does a
// missing zone.
std::optional<std::int64_t> ParseMailDate(std::string_view text);

// The value of the first field called `name` (case-insensitive) in the
// message's header block, unfolded (the line breaks before continuation
// lines removed) and without the blanks around it.  The header block ends
// at the first empty line, whether lines end in CR LF or LF.
std::optional<std::string> FindHeader(std::string_view message, std::string_view name);

// The addr-spec of the first mailbox of a From value ("a@b" out of
// "Name (comment) <a@b>", "a@b (Name)" or a group), without comments or
// blanks.  Empty where there is none or it would not be printable ASCII,
// so that it can stand in an mbox "From " line.  Display names in raw
// ISO-2022-JP, Shift_JIS or EUC-JP are stepped over whole: their bytes may
// look like '(' or '<' or '\'.
std::string FromAddress(std::string_view fromValue);
