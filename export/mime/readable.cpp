#include "readable.h"

#include "addresses.h"
#include "content.h"
#include "words.h"

namespace vexport::mime {

namespace {

// Deeper nesting than this is copied as it stands: no mail needs it, and
// the stack stays bounded whatever a message holds.
constexpr int kDeepest = 32;

// Words in a charset that the converter reads better than the word's
// writer did: ISO-2022-JP words with doubled escapes become UTF-8 ones.
bool HasJapaneseWords(std::string_view value)
{
    for (std::size_t at = value.find("=?"); at != std::string_view::npos; at = value.find("=?", at + 2)) {
        std::size_t q = value.find('?', at + 2);
        if (q == std::string_view::npos)
            return false;
        Charset charset = ReadCharsetLabel(value.substr(at + 2, q - at - 2));
        if (charset.label == Label::kJapanese && charset.hint != NKF_HINT_UTF8)
            return true;
    }
    return false;
}

// The field's text with LF line ends, ending in one.
void CopyField(std::string_view whole, std::string& out)
{
    AppendLf(out, whole);
    if (out.empty() || out.back() != '\n')
        out += '\n';
}

bool IsIdentityEncoding(std::string_view cte) { return cte.empty() || cte == "7bit" || cte == "8bit" || cte == "binary"; }

}  // namespace

void Readable::Transform(std::string_view message, std::string& out)
{
    out.clear();
    // Japanese text grows from two bytes a character to three.
    out.reserve(message.size() * 3 / 2 + 256);
    converter_.ResetCount();
    Entity(message, out, true, false, 0);
}

void Readable::WriteField(const Field& field, std::string& out, NkfCharsetHint hint)
{
    bool raw = NeedsCharset(field.value);
    if (field.name.empty() || (!raw && !HasJapaneseWords(field.value))) {
        CopyField(field.whole, out);
        return;
    }
    std::string value = Unfold(field.value);
    std::string_view text = value;
    if (raw) {
        text_.clear();
        converter_.Append(text_, value, hint);
        text = text_;
    }
    FieldWriter writer(out, field.name);
    writer.Blank(" ");
    if (IsAddressField(field.name)) {
        WriteAddressList(writer, text, converter_);
    } else if (EqualsNoCase(field.name, "Content-Type") || EqualsNoCase(field.name, "Content-Disposition")) {
        std::string copy(text);
        WriteParameterValue(writer, ReadParameterValue(copy), std::string_view());
    } else {
        std::string copy(text);
        WriteUnstructured(writer, copy, converter_);
    }
    writer.End();
}

void Readable::Entity(std::string_view text, std::string& out, bool message, bool digest, int depth)
{
    HeaderSplit split = SplitHeader(text);
    std::string_view header = text.substr(0, split.headerEnd), body = text.substr(split.bodyStart);

    std::string_view typeValue, encodingValue;
    bool hasType = false, hasEncoding = false, hasVersion = false;
    FieldReader fields(header);
    for (Field field; fields.Next(field);) {
        if (!hasType && EqualsNoCase(field.name, "Content-Type"))
            typeValue = field.value, hasType = true;
        else if (!hasEncoding && EqualsNoCase(field.name, "Content-Transfer-Encoding"))
            encodingValue = field.value, hasEncoding = true;
        else if (EqualsNoCase(field.name, "MIME-Version"))
            hasVersion = true;
    }
    std::string typeText = hasType ? Unfold(typeValue) : std::string();
    ParameterValue type = ReadParameterValue(typeText);
    if (type.head.find('/') == std::string::npos) {
        // No type, or one that cannot be read: the default of RFC 2045 5.2.
        type.head = digest ? "message/rfc822" : "text/plain";
    }
    std::string encoding = ReadTransferEncoding(Unfold(encodingValue));
    const Parameter* charsetParameter = type.Find("charset");
    Charset charset = ReadCharsetLabel(charsetParameter != nullptr ? std::string_view(charsetParameter->value)
                                                                   : std::string_view());
    NkfCharsetHint hint = charset.label == Label::kJapanese ? charset.hint : NKF_HINT_NONE;

    bool deep = depth >= kDeepest;
    bool multipart = !deep && type.head.compare(0, 10, "multipart/") == 0;
    bool guarded = type.head == "multipart/signed" || type.head == "multipart/encrypted";
    bool text8 = !deep && type.head.compare(0, 5, "text/") == 0 && IsIdentityEncoding(encoding) &&
                 charset.label != Label::kOther && NeedsCharset(body);
    bool embedded = !deep && type.head == "message/rfc822" && IsIdentityEncoding(encoding);

    FieldReader again(header);
    for (Field field; again.Next(field);) {
        if (text8 && EqualsNoCase(field.name, "Content-Type")) {
            FieldWriter writer(out, field.name);
            writer.Blank(" ");
            std::string value = Unfold(field.value);
            text_.clear();
            if (NeedsCharset(value))
                converter_.Append(text_, value, hint);
            else
                text_ = value;
            std::string copy = text_;
            WriteParameterValue(writer, ReadParameterValue(copy), "UTF-8");
            writer.End();
        } else if (text8 && EqualsNoCase(field.name, "Content-Transfer-Encoding")) {
            out.append(field.name.data(), field.name.size());
            out += encoding == "binary" ? ": binary\n" : ": 8bit\n";
        } else {
            WriteField(field, out, hint);
        }
    }
    if (text8) {
        if (message && !hasVersion)
            out += "MIME-Version: 1.0\n";
        if (!hasType)
            out += "Content-Type: text/plain; charset=UTF-8\n";
        if (!hasEncoding)
            out += "Content-Transfer-Encoding: 8bit\n";
    }
    out += '\n';

    if (text8) {
        converter_.Append(out, body, hint, true);
    } else if (embedded) {
        Entity(body, out, true, false, depth + 1);
    } else if (multipart && !guarded) {
        const Parameter* boundary = type.Find("boundary");
        Multipart parts = SplitMultipart(body, boundary != nullptr ? std::string_view(boundary->value) : std::string_view());
        if (parts.parts.empty()) {
            AppendLf(out, body);
            return;
        }
        AppendLf(out, parts.preamble);
        for (const BodyPart& part : parts.parts) {
            AppendLf(out, part.delimiter);
            Entity(part.content, out, false, type.head == "multipart/digest", depth + 1);
        }
        AppendLf(out, parts.close);
        AppendLf(out, parts.epilogue);
    } else if (encoding == "binary" && type.head.compare(0, 5, "text/") != 0) {
        out.append(body.data(), body.size());
    } else {
        AppendLf(out, body);
    }
}

}  // namespace vexport::mime
