#include "words.h"

namespace vexport::mime {

namespace {

constexpr std::size_t kWordLength = 75;                           // RFC 2047 section 2
constexpr std::size_t kWordFrame = 12;                            // "=?UTF-8?B?" and "?="
constexpr std::size_t kSmallestWord = kWordFrame + 8;             // not worth starting a line's end with less
constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Bytes that stand for themselves in Q in every place a word may be.
bool QSafe(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '!' || c == '*' ||
           c == '+' || c == '-' || c == '/';
}

std::size_t QLength(unsigned char c) { return QSafe(c) || c == ' ' ? 1 : 3; }

void AppendQ(std::string& out, unsigned char c)
{
    static const char kHex[] = "0123456789ABCDEF";
    if (QSafe(c)) {
        out += static_cast<char>(c);
    } else if (c == ' ') {
        out += '_';
    } else {
        out += '=';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
}

void AppendBase64(std::string& out, std::string_view bytes)
{
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += kBase64[v >> 18];
        out += kBase64[v >> 12 & 63];
        out += kBase64[v >> 6 & 63];
        out += kBase64[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kBase64[v >> 18];
        out += kBase64[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kBase64[v >> 6 & 63] : '=';
        out += '=';
    }
}

// The length of the UTF-8 character that starts with `lead`.
std::size_t CharacterLength(std::string_view text, std::size_t at)
{
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end - at;
}

}  // namespace

bool ReadEncodedWord(std::string_view text, EncodedWord& word)
{
    if (text.size() < 8 || text[0] != '=' || text[1] != '?')
        return false;
    std::size_t q1 = text.find('?', 2);
    if (q1 == std::string_view::npos || q1 == 2 || q1 + 3 >= text.size() || text[q1 + 2] != '?')
        return false;
    char encoding = text[q1 + 1];
    std::size_t end = text.find("?=", q1 + 3);
    if (end == std::string_view::npos)
        return false;
    std::string_view charset = text.substr(2, q1 - 2), data = text.substr(q1 + 3, end - q1 - 3);
    for (char c : text.substr(0, end))
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 0x80)
            return false;
    std::string bytes;
    if (encoding == 'B' || encoding == 'b') {
        unsigned v = 0;
        int bits = 0;
        for (char c : data) {
            if (c == '=')
                break;
            int d = Base64Value(c);
            if (d < 0)
                return false;
            v = (v << 6 | static_cast<unsigned>(d)) & 0xFFFFFF;
            bits += 6;
            if (bits >= 8) {
                bits -= 8;
                bytes += static_cast<char>(v >> bits & 0xFF);
            }
        }
    } else if (encoding == 'Q' || encoding == 'q') {
        for (std::size_t i = 0; i < data.size(); ++i) {
            int high = 0, low = 0;
            if (data[i] == '_')
                bytes += ' ';
            else if (data[i] == '=' && i + 2 < data.size() + 0 && (high = HexValue(data[i + 1])) >= 0 &&
                     (low = HexValue(data[i + 2])) >= 0)
                bytes += static_cast<char>(high << 4 | low), i += 2;
            else
                bytes += data[i];
        }
    } else {
        return false;
    }
    word.length = end + 2;
    word.charset = charset;
    word.bytes = std::move(bytes);
    return true;
}

bool WordText::AddWords(std::string_view token)
{
    struct Piece {
        NkfCharsetHint hint;
        std::string bytes;
    };
    Piece pieces[8];
    std::size_t count = 0;
    EncodedWord word;
    while (!token.empty()) {
        if (count == sizeof pieces / sizeof pieces[0] || !ReadEncodedWord(token, word))
            return false;
        Charset charset = ReadCharsetLabel(word.charset);
        if (charset.label == Label::kOther)
            return false;
        pieces[count++] = Piece{charset.hint, std::move(word.bytes)};
        token.remove_prefix(word.length);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (pieces[i].hint != hint_)
            Flush();
        hint_ = pieces[i].hint;
        pending_ += pieces[i].bytes;
    }
    return count > 0;
}

void WordText::AddUtf8(std::string_view text)
{
    Flush();
    text_.append(text.data(), text.size());
}

void WordText::Flush()
{
    if (!pending_.empty())
        converter_.Append(text_, pending_, hint_);
    pending_.clear();
}

std::string WordText::Take()
{
    Flush();
    std::string text = std::move(text_);
    text_.clear();
    return text;
}

bool IsPlainAscii(std::string_view token)
{
    for (unsigned char c : token)
        if (c >= 0x80 || c < 0x20 || c == 0x7F)
            return false;
    return true;
}

void WriteEncodedWords(FieldWriter& writer, std::string_view text)
{
    std::size_t qLength = 0;
    for (unsigned char c : text)
        qLength += QLength(c);
    bool useQ = qLength <= (text.size() + 2) / 3 * 4;
    std::string word;
    for (std::size_t at = 0; at < text.size();) {
        if (at > 0)
            writer.Blank(" ");
        if (writer.Room() < kSmallestWord)
            writer.Fold();
        std::size_t room = writer.Room();
        std::size_t limit = (room >= kSmallestWord && room < kWordLength ? room : kWordLength) - kWordFrame;
        // Whole characters while they fit; at least one.
        std::size_t end = at, length = 0;
        while (end < text.size()) {
            std::size_t n = CharacterLength(text, end);
            std::size_t more = 0;
            for (std::size_t i = end; i < end + n; ++i)
                more += QLength(static_cast<unsigned char>(text[i]));
            std::size_t next = useQ ? length + more : (end + n - at + 2) / 3 * 4;
            if (next > limit && end > at)
                break;
            length = useQ ? next : length;
            end += n;
        }
        word.assign(useQ ? "=?UTF-8?Q?" : "=?UTF-8?B?");
        if (useQ) {
            for (std::size_t i = at; i < end; ++i)
                AppendQ(word, static_cast<unsigned char>(text[i]));
        } else {
            AppendBase64(word, text.substr(at, end - at));
        }
        word += "?=";
        writer.Word(word);
        at = end;
    }
}

bool AreJapaneseWords(std::string_view token)
{
    EncodedWord word;
    if (token.empty())
        return false;
    while (!token.empty()) {
        if (!ReadEncodedWord(token, word) || ReadCharsetLabel(word.charset).label == Label::kOther)
            return false;
        token.remove_prefix(word.length);
    }
    return true;
}

void TextWriter::Token(std::string_view blank, std::string_view token)
{
    Kind kind = AreJapaneseWords(token) ? kDecoded : IsPlainAscii(token) ? kPlain : kRaw;
    // Text beside an encoded word that stays as it is: the blank between
    // them is text, and would be none between two encoded words.
    EncodedWord word;
    bool keptWord = kind == kPlain && ReadEncodedWord(token, word);
    if (kind == kPlain) {
        if (inGroup_ && last_ == kRaw && keptWord)
            group_.AddUtf8(blank);
        End();
        writer_.Blank(blank);
        writer_.Word(token);
    } else {
        if (!inGroup_) {
            writer_.Blank(blank);
            inGroup_ = true;
            if (kind == kRaw && lastKeptWord_)
                group_.AddUtf8(blank);
        } else if (!(kind == kDecoded && last_ == kDecoded)) {
            // Blanks between two encoded words are no text (RFC 2047 6.2).
            group_.AddUtf8(blank);
        }
        if (kind == kDecoded)
            group_.AddWords(token);
        else
            group_.AddUtf8(token);
    }
    last_ = kind;
    lastKeptWord_ = keptWord;
}

void TextWriter::End()
{
    if (inGroup_)
        WriteEncodedWords(writer_, group_.Take());
    inGroup_ = false;
    last_ = kPlain;
    lastKeptWord_ = false;
}

void WriteUnstructured(FieldWriter& writer, std::string_view text, Utf8Converter& converter)
{
    TextWriter words(writer, converter);
    std::size_t at = 0;
    for (;;) {
        std::size_t start = at;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
        if (at == text.size())
            break;
        std::size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t')
            ++end;
        words.Token(text.substr(start, at - start), text.substr(at, end - at));
        at = end;
    }
    words.End();
}

}  // namespace vexport::mime
