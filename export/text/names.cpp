#include "names.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>

#include <iconv.h>

namespace {

// The code point of the UTF-8 sequence at s[i], advancing i past it; nothing
// (and i past one byte) for a malformed one.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& i)
{
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    std::size_t n = 0;
    unsigned char low = 0x80, high = 0xBF;
    char32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 2, cp = c & 0x0F;
        low = c == 0xE0 ? 0xA0 : 0x80;   // overlong
        high = c == 0xED ? 0x9F : 0xBF;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 3, cp = c & 0x07;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;  // past U+10FFFF
    } else {
        ++i;
        return std::nullopt;
    }
    if (s.size() - i - 1 < n) {
        ++i;
        return std::nullopt;
    }
    for (std::size_t j = 1; j <= n; ++j) {
        auto t = static_cast<unsigned char>(s[i + j]);
        if (t < (j == 1 ? low : 0x80) || t > (j == 1 ? high : 0xBF)) {
            ++i;
            return std::nullopt;
        }
        cp = (cp << 6) | (t & 0x3F);
    }
    i += n + 1;
    return cp;
}

void AppendEscape(std::string& out, unsigned char byte)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// An iconv descriptor that is closed on every path.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (ok())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size())
        if (!NextCodePoint(text, i))
            return false;
    return true;
}

std::string MailboxNameToUtf8(std::string_view raw)
{
    if (IsValidUtf8(raw))
        return std::string(raw);
    std::string out;
    // Opening a conversion loads a module: once a thread is enough.
    thread_local const Converter cp932("UTF-8", "CP932");
    // A code page 932 character is one or two bytes and at most three in
    // UTF-8; the "%XX" of a byte is three.
    char buffer[16];
    std::size_t i = 0;
    while (i < raw.size()) {
        auto c = static_cast<unsigned char>(raw[i]);
        if (c == '%') {
            out += "%25";
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // One character at a time: a byte that fails then costs only itself.
        bool converted = false;
        for (std::size_t length = 1; length <= 2 && !converted && cp932.ok() && raw.size() - i >= length; ++length) {
            iconv(cp932.get(), nullptr, nullptr, nullptr, nullptr);
            char* in = const_cast<char*>(raw.data() + i);
            std::size_t inLeft = length;
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            if (iconv(cp932.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
                inLeft == 0) {
                out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
                i += length;
                converted = true;
            }
        }
        if (!converted) {
            AppendEscape(out, c);
            ++i;
        }
    }
    return out;
}

std::string ImapModifiedUtf7(std::string_view utf8)
{
    static constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    std::string out;
    std::uint32_t bits = 0;  // pending bits of the BASE64 run
    int bitCount = 0;
    bool shifted = false;
    auto flush = [&] {
        if (!shifted)
            return;
        if (bitCount > 0)
            out += kBase64[(bits << (6 - bitCount)) & 0x3F];
        out += '-';
        bits = 0;
        bitCount = 0;
        shifted = false;
    };
    auto addUnit = [&](std::uint32_t unit) {
        bits = (bits << 16) | unit;
        bitCount += 16;
        while (bitCount >= 6) {
            bitCount -= 6;
            out += kBase64[(bits >> bitCount) & 0x3F];
        }
        bits &= (1u << bitCount) - 1;
    };
    std::size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = NextCodePoint(utf8, i).value_or(U'\uFFFD');
        if (cp >= 0x20 && cp <= 0x7E) {
            flush();
            out += static_cast<char>(cp);
            if (cp == '&')
                out += '-';
            continue;
        }
        if (!shifted) {
            out += '&';
            shifted = true;
        }
        if (cp >= 0x10000) {
            addUnit(0xD800 + ((cp - 0x10000) >> 10));
            addUnit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            addUnit(cp);
        }
    }
    flush();
    return out;
}

std::string SafeFileName(std::string_view utf8, NameUse use)
{
    if (utf8.empty())
        return "%00";
    std::string out;
    std::size_t i = 0;
    while (i < utf8.size()) {
        std::size_t start = i;
        std::optional<char32_t> cp = NextCodePoint(utf8, i);
        bool escape = !cp || *cp < 0x20 || (*cp >= 0x7F && *cp <= 0x9F) || *cp == '/' || *cp == '\\' ||
                      (*cp == '.' && (start == 0 || use == NameUse::kMaildirFolder));
        if (escape) {
            for (std::size_t j = start; j < i; ++j)
                AppendEscape(out, static_cast<unsigned char>(utf8[j]));
        } else {
            out.append(utf8.substr(start, i - start));
        }
    }
    return out;
}
