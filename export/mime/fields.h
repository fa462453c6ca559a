// Header fields (RFC 5322 section 2.2): finding them in a header block,
// unfolding their values and writing them folded with LF line ends.
#ifndef VESTIBAR_EXPORT_MIME_FIELDS_H
#define VESTIBAR_EXPORT_MIME_FIELDS_H

#include <cstddef>
#include <string>
#include <string_view>

namespace vexport::mime {

bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsNoCase(std::string_view text, std::string_view prefix);

// One field of a header block: `whole` holds it with its continuation
// lines and its last line end; `value` is what follows the colon, still
// folded.  A line without a colon (broken mail) is a field without a name.
struct Field {
    std::string_view whole;
    std::string_view name;
    std::string_view value;
};

// The fields of a header block one by one.  The block ends before its
// first empty line (CR LF or LF) or at the end of the text.
class FieldReader {
public:
    explicit FieldReader(std::string_view block) : block_(block) {}
    bool Next(Field& field);

private:
    std::string_view block_;
    std::size_t at_ = 0;
};

// Where a text's header block ends and where its body starts: the body
// starts after the empty line, or is empty when there is none.
struct HeaderSplit {
    std::size_t headerEnd;
    std::size_t bodyStart;
};
HeaderSplit SplitHeader(std::string_view text);

// The value with the line ends of its folding removed and without the
// blanks around it (RFC 5322 3.2.2 unfolding).
std::string Unfold(std::string_view value);
std::string_view TrimBlanks(std::string_view text);

// Appends `text` with every CR LF as LF.
void AppendLf(std::string& out, std::string_view text);

// True for text with bytes that need a charset: ESC (ISO-2022-JP's
// escapes, SO/SI shifts) or bytes 0x80-0xFF.
bool NeedsCharset(std::string_view text);

// Writes one field into `out` as words with the blanks between them,
// folded at the first blank before a word that would pass column 76.
// A word longer than a line stays whole.
class FieldWriter {
public:
    static constexpr std::size_t kColumns = 76;
    FieldWriter(std::string& out, std::string_view name);
    // Blanks before the next word: where a line is folded, they start the
    // next line.
    void Blank(std::string_view blanks);
    // A word that is not broken: it follows the pending blanks, or the
    // previous word directly when there are none.
    void Word(std::string_view word);
    // Room for a word on the current line after the pending blanks (or one
    // space when there are none).
    std::size_t Room() const;
    // Folds now when the pending blanks are there to fold at.
    void Fold();
    bool HasBlank() const { return !blank_.empty(); }
    void End();

private:
    std::string& out_;
    std::size_t lineStart_;
    std::string blank_;
    bool first_ = true;
};

}  // namespace vexport::mime

#endif
