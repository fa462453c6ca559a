// RFC 2047 encoded words: reading the ones a field holds and writing UTF-8
// text as words of at most 75 characters that never split a character.
#ifndef VESTIBAR_EXPORT_MIME_WORDS_H
#define VESTIBAR_EXPORT_MIME_WORDS_H

#include <string>
#include <string_view>

#include "charsets.h"
#include "fields.h"

namespace vexport::mime {

// One encoded word "=?charset?B|Q?text?=" at the start of `text`.
struct EncodedWord {
    std::size_t length = 0;  // of the word in `text`
    std::string_view charset;
    std::string bytes;       // the decoded text, in its charset
};
bool ReadEncodedWord(std::string_view text, EncodedWord& word);

// The text of a run of words (and other text) in UTF-8.  Decoded words of
// one charset are converted together: some encoders split a character, or
// an ISO-2022-JP shift, between two words.
class WordText {
public:
    explicit WordText(Utf8Converter& converter) : converter_(converter) {}
    // A run of encoded words without blanks between them, the whole of
    // `token`, in a Japanese or ASCII charset.  False (and nothing added)
    // for anything else: such a token keeps its bytes.
    bool AddWords(std::string_view token);
    void AddUtf8(std::string_view text);
    // The text so far; empty afterwards.
    std::string Take();

private:
    void Flush();
    Utf8Converter& converter_;
    std::string text_;
    std::string pending_;
    NkfCharsetHint hint_ = NKF_HINT_NONE;
};

// Writes UTF-8 `text` as encoded words, B or Q whichever is shorter (Q in
// the few bytes a phrase allows, so that the words stand anywhere),
// separated by single blanks and filling the line they start on.
void WriteEncodedWords(FieldWriter& writer, std::string_view text);

// True for a run of encoded words without blanks between them, the whole
// of `token`, each in a Japanese or ASCII charset.
bool AreJapaneseWords(std::string_view token);

// Writes a text token by token: a run of tokens with bytes beyond ASCII
// or of Japanese encoded words becomes one run of UTF-8 encoded words, the
// blanks inside it kept as text but those between two encoded words
// (RFC 2047 6.2); every other token keeps its bytes.
class TextWriter {
public:
    TextWriter(FieldWriter& writer, Utf8Converter& converter) : writer_(writer), group_(converter) {}
    void Token(std::string_view blank, std::string_view token);
    // Ends a run of encoded words; the next token starts anew.
    void End();

private:
    enum Kind { kPlain, kDecoded, kRaw };
    FieldWriter& writer_;
    WordText group_;
    bool inGroup_ = false;
    Kind last_ = kPlain;
    bool lastKeptWord_ = false;
};

// A word a reader must see decoded, in the field's UTF-8 text: it has bytes
// beyond ASCII.
bool IsPlainAscii(std::string_view token);

// The text of an unstructured field (Subject, Comments, ...) already in
// UTF-8 but for its encoded words: non-ASCII words and Japanese encoded
// words become UTF-8 encoded words, the rest keeps its bytes.
void WriteUnstructured(FieldWriter& writer, std::string_view text, Utf8Converter& converter);

}  // namespace vexport::mime

#endif
