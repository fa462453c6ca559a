#include "addresses.h"

#include <string>
#include <vector>

#include "words.h"

namespace vexport::mime {

namespace {

enum class TokenKind { kAtom, kQuoted, kComment, kAngle, kSpecial };

struct Token {
    TokenKind kind;
    std::string_view blank;  // the blanks before it
    std::string_view text;   // as it stands, quotes, brackets and parentheses included
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of a delimited token that starts at `at` (its opening byte), with
// quoted-pairs and, for comments, nesting; an unclosed one runs to the end.
std::size_t DelimitedEnd(std::string_view text, std::size_t at, char open, char close)
{
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && close != '>') {
            ++i;
        } else if (i > at && c == close) {
            if (--depth == 0)
                return i + 1;
        } else if (c == open && (i == at || open == '(')) {
            ++depth;
        }
    }
    return text.size();
}

std::vector<Token> Tokens(std::string_view text)
{
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t start = at;
        while (at < text.size() && IsBlank(text[at]))
            ++at;
        std::string_view blank = text.substr(start, at - start);
        if (at == text.size())
            break;
        char c = text[at];
        TokenKind kind = TokenKind::kAtom;
        std::size_t end = at + 1;
        if (c == '"') {
            kind = TokenKind::kQuoted;
            end = DelimitedEnd(text, at, '"', '"');
        } else if (c == '(') {
            kind = TokenKind::kComment;
            end = DelimitedEnd(text, at, '(', ')');
        } else if (c == '<') {
            kind = TokenKind::kAngle;
            end = DelimitedEnd(text, at, '<', '>');
        } else if (c == ',' || c == ';' || c == ':' || c == '@' || c == '>') {
            kind = TokenKind::kSpecial;
        } else {
            // An atom, dots included (obsolete phrases have them), or a
            // domain literal.
            while (end < text.size() && !IsBlank(text[end]) && std::string_view("\"(<,;:@>").find(text[end]) ==
                                                                   std::string_view::npos) {
                if (text[end] == '[') {
                    std::size_t close = text.find(']', end);
                    end = close == std::string_view::npos ? text.size() : close;
                }
                ++end;
            }
        }
        tokens.push_back(Token{kind, blank, text.substr(at, end - at)});
        at = end;
    }
    return tokens;
}

// A quoted string's text without its quotes and quoted-pairs.
std::string Unquoted(std::string_view quoted)
{
    std::string text;
    std::size_t end = quoted.size() >= 2 && quoted.back() == '"' ? quoted.size() - 1 : quoted.size();
    for (std::size_t i = 1; i < end; ++i) {
        if (quoted[i] == '\\' && i + 1 < end)
            ++i;
        text += quoted[i];
    }
    return text;
}

bool NeedsWords(const Token& token)
{
    return !IsPlainAscii(token.text) || (token.kind == TokenKind::kAtom && AreJapaneseWords(token.text));
}

// A display name or group name: all of it as encoded words when any of it
// needs them, since a quoted string cannot hold encoded words.
void WritePhrase(FieldWriter& writer, const Token* begin, const Token* end, bool nextHasBlank,
                 Utf8Converter& converter)
{
    bool encode = false;
    for (const Token* t = begin; t != end; ++t)
        encode = encode || NeedsWords(*t);
    if (!encode) {
        for (const Token* t = begin; t != end; ++t) {
            writer.Blank(t->blank);
            writer.Word(t->text);
        }
        return;
    }
    WordText text(converter);
    bool lastWords = false;
    for (const Token* t = begin; t != end; ++t) {
        bool words = t->kind == TokenKind::kAtom && AreJapaneseWords(t->text);
        if (t != begin && !t->blank.empty() && !(words && lastWords))
            text.AddUtf8(" ");
        if (words)
            text.AddWords(t->text);
        else if (t->kind == TokenKind::kQuoted)
            text.AddUtf8(Unquoted(t->text));
        else
            text.AddUtf8(t->text);
        lastWords = words;
    }
    writer.Blank(begin->blank);
    if (!writer.HasBlank())
        writer.Blank(" ");
    WriteEncodedWords(writer, text.Take());
    // An encoded word ends at a blank (RFC 2047 section 5).
    if (!nextHasBlank)
        writer.Blank(" ");
}

void WriteComment(FieldWriter& writer, const Token& comment, Utf8Converter& converter)
{
    writer.Blank(comment.blank);
    std::string_view text = comment.text;
    bool closed = text.size() >= 2 && text.back() == ')';
    std::string_view inner = text.substr(1, text.size() - (closed ? 2 : 1));
    bool encode = !IsPlainAscii(inner);
    if (!encode) {
        for (std::size_t at = 0; at < inner.size() && !encode;) {
            std::size_t start = inner.find("=?", at);
            if (start == std::string_view::npos)
                break;
            std::size_t end = start;
            while (end < inner.size() && !IsBlank(inner[end]) && inner[end] != '(' && inner[end] != ')')
                ++end;
            encode = AreJapaneseWords(inner.substr(start, end - start));
            at = end;
        }
    }
    if (!encode) {
        writer.Word(text);
        return;
    }
    writer.Word("(");
    TextWriter words(writer, converter);
    std::size_t at = 0;
    for (;;) {
        std::size_t start = at;
        while (at < inner.size() && IsBlank(inner[at]))
            ++at;
        if (at == inner.size())
            break;
        std::size_t end = at;
        while (end < inner.size() && !IsBlank(inner[end]))
            ++end;
        words.Token(inner.substr(start, at - start), inner.substr(at, end - at));
        at = end;
    }
    words.End();
    writer.Word(")");
}

}  // namespace

bool IsAddressField(std::string_view name)
{
    static const char* const kNames[] = {
        "from",     "sender",   "reply-to",        "to",  "cc",  "bcc",        "resent-from",
        "resent-sender", "resent-to", "resent-cc", "resent-bcc", "resent-reply-to", "return-receipt-to",
        "disposition-notification-to", "errors-to", "mail-followup-to", "mail-reply-to", "apparently-to",
    };
    for (const char* known : kNames)
        if (EqualsNoCase(name, known))
            return true;
    return false;
}

void WriteAddressList(FieldWriter& writer, std::string_view text, Utf8Converter& converter)
{
    std::vector<Token> tokens = Tokens(text);
    char lastSpecial = 0;
    std::size_t phrase = 0;  // where the words since the last other token start
    for (std::size_t i = 0; i <= tokens.size(); ++i) {
        bool word = i < tokens.size() && (tokens[i].kind == TokenKind::kAtom || tokens[i].kind == TokenKind::kQuoted);
        if (word)
            continue;
        if (phrase < i) {
            bool nextAt = i < tokens.size() && tokens[i].kind == TokenKind::kSpecial && tokens[i].text == "@";
            bool nextBlank = i == tokens.size() || !tokens[i].blank.empty();
            if (nextAt || lastSpecial == '@') {
                // A local part or a domain.
                for (std::size_t k = phrase; k < i; ++k) {
                    writer.Blank(tokens[k].blank);
                    writer.Word(tokens[k].text);
                }
            } else {
                WritePhrase(writer, &tokens[phrase], &tokens[0] + i, nextBlank, converter);
            }
        }
        phrase = i + 1;
        if (i == tokens.size())
            break;
        const Token& token = tokens[i];
        if (token.kind == TokenKind::kComment) {
            WriteComment(writer, token, converter);
            continue;
        }
        writer.Blank(token.blank);
        writer.Word(token.text);
        lastSpecial = token.kind == TokenKind::kSpecial ? token.text[0] : token.kind == TokenKind::kAngle ? '>' : 0;
    }
}

}  // namespace vexport::mime
