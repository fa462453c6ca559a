// Charset labels (RFC 2045 "charset=", RFC 2047 words) and the converter
// core behind them: the Japanese labels a store's mail carries become hints
// for the core, whose UTF-8 output every reader takes.
#ifndef VESTIBAR_EXPORT_MIME_CHARSETS_H
#define VESTIBAR_EXPORT_MIME_CHARSETS_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "nkfutf8.h"

namespace vexport::mime {

enum class Label {
    kNone,      // no label, or one that promises only ASCII: the core detects
    kJapanese,  // ISO-2022-JP, Shift_JIS, EUC-JP or UTF-8: a hint for the core
    kOther,     // any other charset: the text is kept as it is labelled
};

struct Charset {
    Label label;
    NkfCharsetHint hint;
};

// What a charset label (any case, RFC 2231's "*language" ignored) says.
Charset ReadCharsetLabel(std::string_view label);

// Converts texts to UTF-8 with one set of converter options and counts the
// bytes that were valid in no code.
class Utf8Converter {
public:
    explicit Utf8Converter(bool preferEuc);
    // Appends `text` in UTF-8 to `out`; `lf`: with every CR LF as LF.
    void Append(std::string& out, std::string_view text, NkfCharsetHint hint, bool lf = false);
    std::size_t replaced() const { return replaced_; }
    void ResetCount() { replaced_ = 0; }

private:
    NkfOptions options_;
    std::size_t replaced_ = 0;
    // The converter's output before it is appended: room for the largest
    // text so far, never cleared.
    std::unique_ptr<char[]> scratch_;
    std::size_t capacity_ = 0;
};

}  // namespace vexport::mime

#endif
