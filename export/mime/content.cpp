#include "content.h"

namespace vexport::mime {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Skips blanks and comments.
std::size_t SkipSpace(std::string_view text, std::size_t at)
{
    while (at < text.size()) {
        if (IsBlank(text[at]) || text[at] == '\r' || text[at] == '\n') {
            ++at;
        } else if (text[at] == '(') {
            int depth = 0;
            for (; at < text.size(); ++at) {
                if (text[at] == '\\')
                    ++at;
                else if (text[at] == '(')
                    ++depth;
                else if (text[at] == ')' && --depth == 0)
                    break;
            }
            ++at;
        } else {
            break;
        }
    }
    return at < text.size() ? at : text.size();
}

bool IsTokenByte(char c)
{
    return static_cast<unsigned char>(c) > ' ' && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

// A delimiter line at `at` (the start of a line): "--boundary", then "--"
// for the close one, then blanks only.
bool IsDelimiter(std::string_view body, std::size_t at, std::string_view boundary, bool& close)
{
    if (body.compare(at, 2, "--") != 0 || body.compare(at + 2, boundary.size(), boundary) != 0)
        return false;
    std::size_t i = at + 2 + boundary.size();
    close = body.compare(i, 2, "--") == 0;
    if (close)
        i += 2;
    while (i < body.size() && IsBlank(body[i]))
        ++i;
    return i == body.size() || body[i] == '\n' || body.compare(i, 2, "\r\n") == 0;
}

std::size_t LineEnd(std::string_view text, std::size_t at)
{
    std::size_t lf = text.find('\n', at);
    return lf == std::string_view::npos ? text.size() : lf + 1;
}

}  // namespace

const Parameter* ParameterValue::Find(std::string_view name) const
{
    for (const Parameter& p : parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

ParameterValue ReadParameterValue(std::string_view value)
{
    ParameterValue result;
    std::size_t at = SkipSpace(value, 0);
    std::size_t start = at;
    while (at < value.size() && value[at] != ';' && !IsBlank(value[at]) && value[at] != '(')
        ++at;
    result.headText = value.substr(start, at - start);
    result.head = Lower(result.headText);
    for (;;) {
        at = value.find(';', at);
        if (at == std::string_view::npos)
            break;
        at = SkipSpace(value, at + 1);
        std::size_t nameStart = at;
        while (at < value.size() && IsTokenByte(value[at]))
            ++at;
        Parameter p;
        p.name = Lower(value.substr(nameStart, at - nameStart));
        at = SkipSpace(value, at);
        if (p.name.empty() || at >= value.size() || value[at] != '=')
            continue;
        at = SkipSpace(value, at + 1);
        if (at < value.size() && value[at] == '"') {
            for (++at; at < value.size() && value[at] != '"'; ++at) {
                if (value[at] == '\\' && at + 1 < value.size())
                    ++at;
                p.value += value[at];
            }
            at = at < value.size() ? at + 1 : at;
        } else {
            std::size_t valueStart = at;
            while (at < value.size() && value[at] != ';' && !IsBlank(value[at]) && value[at] != '(')
                ++at;
            p.value = std::string(value.substr(valueStart, at - valueStart));
        }
        p.text = value.substr(nameStart, at - nameStart);
        result.parameters.push_back(std::move(p));
    }
    return result;
}

void WriteParameterValue(FieldWriter& writer, const ParameterValue& value, std::string_view charset)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string word(value.headText);
    bool charsetDone = charset.empty();
    bool first = true;
    // Each word after the caller's blank; a blank between words, where
    // the field may fold.
    auto put = [&](std::string_view text) {
        if (!first)
            writer.Blank(" ");
        writer.Word(text);
        first = false;
    };
    for (const Parameter& p : value.parameters) {
        word += ';';
        put(word);
        if (p.name == "charset" && !charset.empty()) {
            word = "charset=" + std::string(charset);
            charsetDone = true;
        } else if (!NeedsCharset(p.text)) {
            word.assign(p.text.data(), p.text.size());
        } else {
            word = p.name + "*=UTF-8''";
            for (unsigned char c : p.value) {
                if (c > ' ' && c < 0x7F && std::string_view("*'%()<>@,;:\\\"/[]?=").find(static_cast<char>(c)) ==
                                               std::string_view::npos) {
                    word += static_cast<char>(c);
                } else {
                    word += '%';
                    word += kHex[c >> 4];
                    word += kHex[c & 15];
                }
            }
        }
    }
    if (!charsetDone) {
        word += ';';
        put(word);
        word = "charset=" + std::string(charset);
    }
    put(word);
}

std::string ReadTransferEncoding(std::string_view value)
{
    std::size_t at = SkipSpace(value, 0), start = at;
    while (at < value.size() && IsTokenByte(value[at]))
        ++at;
    return Lower(value.substr(start, at - start));
}

Multipart SplitMultipart(std::string_view body, std::string_view boundary)
{
    Multipart result;
    if (boundary.empty())
        return result;
    std::string needle = "--" + std::string(boundary);
    std::size_t from = 0;
    std::size_t partStart = std::string_view::npos;
    for (;;) {
        std::size_t at = body.find(needle, from);
        if (at == std::string_view::npos)
            break;
        from = at + 1;
        bool close = false;
        if ((at > 0 && body[at - 1] != '\n') || !IsDelimiter(body, at, boundary, close))
            continue;
        std::size_t lineEnd = LineEnd(body, at);
        // The line end before a delimiter belongs to it (RFC 2046 5.1.1).
        std::size_t before = at;
        if (before > 0 && body[before - 1] == '\n')
            --before;
        if (before > 0 && body[before - 1] == '\r' && before < at)
            --before;
        if (partStart != std::string_view::npos && before < partStart)
            before = partStart;
        if (partStart == std::string_view::npos) {
            result.preamble = body.substr(0, before);
        } else {
            result.parts.back().content = body.substr(partStart, before - partStart);
        }
        if (close) {
            result.close = body.substr(before, lineEnd - before);
            result.epilogue = body.substr(lineEnd);
            return result;
        }
        result.parts.push_back(BodyPart{body.substr(before, lineEnd - before), std::string_view()});
        partStart = lineEnd;
        from = lineEnd;
    }
    if (partStart != std::string_view::npos)
        result.parts.back().content = body.substr(partStart);
    return result;
}

}  // namespace vexport::mime
