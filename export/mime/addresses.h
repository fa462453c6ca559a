// Address lists (RFC 5322 section 3.4: From, To, Cc, Reply-To, Sender,
// Resent-*, ...): display names, group names and comments with text beyond
// ASCII become UTF-8 encoded words; the addresses keep their bytes.
#ifndef VESTIBAR_EXPORT_MIME_ADDRESSES_H
#define VESTIBAR_EXPORT_MIME_ADDRESSES_H

#include <string_view>

#include "charsets.h"
#include "fields.h"

namespace vexport::mime {

// True for the fields whose value is an address list.
bool IsAddressField(std::string_view name);

// Writes an address list that is in UTF-8 but for its encoded words.  The
// text is taken apart after its conversion, so that bytes of a raw
// ISO-2022-JP or Shift_JIS name never read as ',', ';', '"' or '('.
void WriteAddressList(FieldWriter& writer, std::string_view text, Utf8Converter& converter);

}  // namespace vexport::mime

#endif
