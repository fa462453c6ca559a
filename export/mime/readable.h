// A stored message as today's readers read it: header text in UTF-8
// encoded words, text bodies in UTF-8 with their label, LF line ends, and
// the empty line after the header block.  What a transfer encoding or a
// signature guards (base64, quoted-printable, non-text parts,
// multipart/signed and multipart/encrypted) keeps its bytes.
#ifndef VESTIBAR_EXPORT_MIME_READABLE_H
#define VESTIBAR_EXPORT_MIME_READABLE_H

#include <cstddef>
#include <string>
#include <string_view>

#include "charsets.h"
#include "fields.h"

namespace vexport::mime {

class Readable {
public:
    // `preferEuc` decides text that reads as both EUC-JP and Shift_JIS.
    explicit Readable(bool preferEuc) : converter_(preferEuc) {}
    // The readable form of `message` into `out` (replacing what it held).
    void Transform(std::string_view message, std::string& out);
    // Bytes of the last message that were valid in no code and show as U+FFFD.
    std::size_t replaced() const { return converter_.replaced(); }

private:
    void Entity(std::string_view text, std::string& out, bool message, bool digest, int depth);
    void WriteField(const Field& field, std::string& out, NkfCharsetHint hint);
    Utf8Converter converter_;
    std::string text_;
};

}  // namespace vexport::mime

#endif
