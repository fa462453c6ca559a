#include "fields.h"

#include <cstring>

namespace vexport::mime {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The end of the line that starts at `at`, after its LF (or the text's end).
std::size_t LineEnd(std::string_view text, std::size_t at)
{
    std::size_t lf = text.find('\n', at);
    return lf == std::string_view::npos ? text.size() : lf + 1;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsNoCase(a, b);
}

bool StartsNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (Lower(text[i]) != Lower(prefix[i]))
            return false;
    return true;
}

bool FieldReader::Next(Field& field)
{
    if (at_ >= block_.size())
        return false;
    std::size_t start = at_;
    std::size_t end = LineEnd(block_, at_);
    while (end < block_.size() && IsBlank(block_[end]))
        end = LineEnd(block_, end);
    at_ = end;
    field.whole = block_.substr(start, end - start);
    std::size_t colon = field.whole.find(':');
    std::size_t lineEnd = field.whole.find('\n');
    if (colon == std::string_view::npos || colon > lineEnd) {
        field.name = std::string_view();
        field.value = field.whole;
        return true;
    }
    std::size_t nameEnd = colon;
    while (nameEnd > 0 && IsBlank(field.whole[nameEnd - 1]))
        --nameEnd;
    field.name = field.whole.substr(0, nameEnd);
    field.value = field.whole.substr(colon + 1);
    return true;
}

HeaderSplit SplitHeader(std::string_view text)
{
    std::size_t line = 0;
    while (line < text.size()) {
        if (text[line] == '\n')
            return {line, line + 1};
        if (text.compare(line, 2, "\r\n") == 0)
            return {line, line + 2};
        line = LineEnd(text, line);
    }
    return {text.size(), text.size()};
}

std::string_view TrimBlanks(std::string_view text)
{
    auto blank = [](char c) { return IsBlank(c) || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string Unfold(std::string_view value)
{
    value = TrimBlanks(value);
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\n' || (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n'))
            continue;
        out += c;
    }
    return out;
}

void AppendLf(std::string& out, std::string_view text)
{
    std::size_t from = 0;
    for (;;) {
        std::size_t cr = text.find("\r\n", from);
        if (cr == std::string_view::npos)
            break;
        out.append(text.data() + from, cr - from);
        from = cr + 1;
    }
    out.append(text.data() + from, text.size() - from);
}

bool NeedsCharset(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80 || c == 0x1B || c == 0x0E)
            return true;
    return false;
}

FieldWriter::FieldWriter(std::string& out, std::string_view name) : out_(out), lineStart_(out.size())
{
    out_.append(name.data(), name.size());
    out_ += ':';
}

void FieldWriter::Blank(std::string_view blanks) { blank_.append(blanks.data(), blanks.size()); }

std::size_t FieldWriter::Room() const
{
    std::size_t used = out_.size() - lineStart_ + (blank_.empty() ? 1 : blank_.size());
    return used < kColumns ? kColumns - used : 0;
}

void FieldWriter::Fold()
{
    if (blank_.empty() || first_)
        return;
    out_ += '\n';
    lineStart_ = out_.size();
}

void FieldWriter::Word(std::string_view word)
{
    if (!blank_.empty() && !first_ && out_.size() - lineStart_ + blank_.size() + word.size() > kColumns) {
        out_ += '\n';
        lineStart_ = out_.size();
    }
    out_ += blank_;
    blank_.clear();
    out_.append(word.data(), word.size());
    first_ = false;
}

void FieldWriter::End()
{
    out_ += '\n';
}

}  // namespace vexport::mime
