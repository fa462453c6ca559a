#include "maildate.h"

#include <array>
#include <cstddef>
#include <vector>

#include "names.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

// Skips a comment that starts at s[i] == '(' (nested, with quoted pairs).
// False when it is never closed.
bool SkipComment(std::string_view s, std::size_t& i)
{
    int depth = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\\') {
            i += 2;
            continue;
        }
        ++i;
        if (c == '(')
            ++depth;
        else if (c == ')' && --depth == 0)
            return true;
    }
    i = s.size();
    return false;
}

// ---- Dates ----

enum class Kind { kWord, kNumber, kPunct };
struct Token {
    Kind kind;
    std::string_view text;
};

// Words, numbers and the punctuation a date uses; blanks and comments are
// dropped.  Nothing for anything a date cannot hold.
std::optional<std::vector<Token>> Tokenize(std::string_view s)
{
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (IsBlank(c)) {
            ++i;
        } else if (c == '(') {
            if (!SkipComment(s, i))
                return std::nullopt;
        } else if (IsDigit(c) || IsAlpha(c)) {
            std::size_t start = i;
            bool digits = IsDigit(c);
            while (i < s.size() && (digits ? IsDigit(s[i]) : IsAlpha(s[i])))
                ++i;
            out.push_back({digits ? Kind::kNumber : Kind::kWord, s.substr(start, i - start)});
        } else if (c == ',' || c == ':' || c == '+' || c == '-') {
            out.push_back({Kind::kPunct, s.substr(i, 1)});
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

// A number of minDigits to maxDigits digits.
std::optional<int> Number(const Token* t, std::size_t minDigits, std::size_t maxDigits)
{
    if (t == nullptr || t->kind != Kind::kNumber || t->text.size() < minDigits || t->text.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (char c : t->text)
        value = value * 10 + (c - '0');
    return value;
}

bool IsPunct(const Token* t, char c) { return t != nullptr && t->kind == Kind::kPunct && t->text[0] == c; }

// Index of a name in a list of names whose first three letters also count.
template <std::size_t N>
std::optional<int> NameIndex(const Token* t, const std::array<std::string_view, N>& names)
{
    if (t == nullptr || t->kind != Kind::kWord)
        return std::nullopt;
    for (std::size_t i = 0; i < N; ++i)
        if (EqualsNoCase(t->text, names[i]) || EqualsNoCase(t->text, names[i].substr(0, 3)))
            return static_cast<int>(i);
    return std::nullopt;
}

constexpr std::array<std::string_view, 7> kDays = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                                   "Friday", "Saturday", "Sunday"};
constexpr std::array<std::string_view, 12> kMonths = {"January", "February", "March",     "April",
                                                      "May",     "June",     "July",      "August",
                                                      "September", "October", "November", "December"};

struct NamedZone {
    std::string_view name;
    int minutes;
};
// Names with one meaning in mail.  Names used for several zones (BST, IST)
// are left out and so count as unknown, that is UTC.
constexpr NamedZone kZones[] = {
    {"UT", 0},         {"UTC", 0},        {"GMT", 0},        {"Z", 0},          {"WET", 0},
    {"EST", -5 * 60},  {"EDT", -4 * 60},  {"CST", -6 * 60},  {"CDT", -5 * 60},  {"MST", -7 * 60},
    {"MDT", -6 * 60},  {"PST", -8 * 60},  {"PDT", -7 * 60},  {"AKST", -9 * 60}, {"AKDT", -8 * 60},
    {"HST", -10 * 60}, {"WEST", 60},      {"CET", 60},       {"MET", 60},       {"CEST", 120},
    {"MEST", 120},     {"EET", 120},      {"EEST", 180},     {"HKT", 8 * 60},   {"JST", 9 * 60},
    {"KST", 9 * 60},   {"AEST", 10 * 60}, {"AEDT", 11 * 60}, {"NZST", 12 * 60}, {"NZDT", 13 * 60},
};

std::optional<int> ZoneMinutes(std::string_view word)
{
    for (const NamedZone& z : kZones)
        if (EqualsNoCase(word, z.name))
            return z.minutes;
    // Military letters were used with the wrong sign so often that RFC 5322
    // takes them as -0000; J is not a zone.  Other unknown names, the same.
    if (word.size() == 1 && Lower(word[0]) == 'j')
        return std::nullopt;
    if (word.size() <= 5)
        return 0;
    return std::nullopt;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m)
{
    static constexpr int kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 1 && IsLeap(y) ? 29 : kDaysIn[m];
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (m 0-based).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d)
{
    int mp = (m + 10) % 12;  // March is 0
    if (m < 2)
        --y;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<std::int64_t> ParseMailDate(std::string_view text)
{
    std::optional<std::vector<Token>> tokens = Tokenize(text);
    if (!tokens)
        return std::nullopt;
    std::size_t k = 0;
    auto at = [&](std::size_t i) -> const Token* { return i < tokens->size() ? &(*tokens)[i] : nullptr; };

    // The weekday is not checked against the date: old mail got it wrong.
    if (NameIndex(at(k), kDays)) {
        ++k;
        if (IsPunct(at(k), ','))
            ++k;
    }
    std::optional<int> day = Number(at(k++), 1, 2);
    if (IsPunct(at(k), '-'))  // 5-May-97
        ++k;
    std::optional<int> month = NameIndex(at(k++), kMonths);
    if (IsPunct(at(k), '-'))
        ++k;
    const Token* yearToken = at(k++);
    std::optional<int> year = Number(yearToken, 2, 4);
    if (!day || !month || !year)
        return std::nullopt;
    if (yearToken->text.size() == 2)
        *year += *year < 50 ? 2000 : 1900;
    else if (yearToken->text.size() == 3)
        *year += 1900;
    if (*year < 1900 || *day < 1 || *day > DaysInMonth(*year, *month))
        return std::nullopt;

    std::optional<int> hour = Number(at(k++), 1, 2);
    if (!IsPunct(at(k++), ':'))
        return std::nullopt;
    std::optional<int> minute = Number(at(k++), 2, 2);
    std::optional<int> second = 0;
    if (IsPunct(at(k), ':')) {
        second = Number(at(k + 1), 2, 2);
        k += 2;
    }
    if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 60)
        return std::nullopt;

    int zone = 0;  // a missing zone is taken as UTC
    if (IsPunct(at(k), '+') || IsPunct(at(k), '-')) {
        int sign = at(k)->text[0] == '-' ? -1 : 1;
        std::optional<int> hh, mm;
        if (at(k + 1) != nullptr && at(k + 1)->text.size() == 4) {  // +0900
            hh = Number(at(k + 1), 4, 4);
            if (hh) {
                mm = *hh % 100;
                *hh /= 100;
            }
            k += 2;
        } else {  // +09:00, seen from a few broken programs
            hh = Number(at(k + 1), 2, 2);
            if (!IsPunct(at(k + 2), ':'))
                return std::nullopt;
            mm = Number(at(k + 3), 2, 2);
            k += 4;
        }
        if (!hh || !mm || *mm > 59)
            return std::nullopt;
        zone = sign * (*hh * 60 + *mm);
        // "+0900 JST" without the parentheses: the name only repeats it.
        if (at(k) != nullptr && at(k)->kind == Kind::kWord && ZoneMinutes(at(k)->text))
            ++k;
    } else if (at(k) != nullptr && at(k)->kind == Kind::kWord) {
        std::optional<int> named = ZoneMinutes(at(k)->text);
        if (!named)
            return std::nullopt;
        zone = *named;
        ++k;
    }
    if (k != tokens->size())
        return std::nullopt;
    return DaysFromCivil(*year, *month, *day) * 86400 + *hour * 3600 + *minute * 60 + *second -
           static_cast<std::int64_t>(zone) * 60;
}

// ---- Header fields ----

std::optional<std::string> FindHeader(std::string_view message, std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    // One line: [pos, end) without its line end; next is where the next starts.
    auto lineAt = [&](std::size_t pos, std::size_t& next) {
        std::size_t lf = message.find('\n', pos);
        std::size_t end = lf == std::string_view::npos ? message.size() : lf;
        next = lf == std::string_view::npos ? message.size() : lf + 1;
        if (end > pos && message[end - 1] == '\r')
            --end;
        return message.substr(pos, end - pos);
    };
    std::size_t pos = 0;
    while (pos < message.size()) {
        std::size_t next = 0;
        std::string_view line = lineAt(pos, next);
        if (line.empty())
            break;  // the header block ends here
        pos = next;
        if (line.size() <= name.size() || !EqualsNoCase(line.substr(0, name.size()), name))
            continue;
        std::size_t colon = name.size();
        while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t'))
            ++colon;
        if (colon >= line.size() || line[colon] != ':')
            continue;
        std::string value(line.substr(colon + 1));
        while (pos < message.size() && (message[pos] == ' ' || message[pos] == '\t')) {
            value += lineAt(pos, next);
            pos = next;
        }
        std::size_t first = value.find_first_not_of(" \t\r\n");
        if (first == std::string::npos)
            return std::string();
        std::size_t last = value.find_last_not_of(" \t\r\n");
        return value.substr(first, last - first + 1);
    }
    return std::nullopt;
}

// ---- The sender's address ----

namespace {

constexpr char kOpaque = '\x80';

// True when every byte above 0x7F belongs to an EUC-JP character.
bool IsEucJpText(std::string_view s)
{
    auto high = [](char c) { auto u = static_cast<unsigned char>(c); return u >= 0xA1 && u <= 0xFE; };
    for (std::size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 0 : (high(s[i]) || c == 0x8E) ? 1 : c == 0x8F ? 2 : 9;
        if (n == 9 || s.size() - i - 1 < n)
            return false;
        for (std::size_t j = 1; j <= n; ++j)
            if (!high(s[i + j]))
                return false;
        i += n + 1;
    }
    return true;
}

// The value with every byte of a Japanese character replaced by kOpaque, so
// that a byte of one that looks like '(' or '\' cannot steer the parse.
// Shift_JIS pairs are taken together only where the text is neither UTF-8
// nor EUC-JP, whose bytes above 0x7F never hide an ASCII one.
std::string Shadow(std::string_view v)
{
    std::string s(v);
    const bool pairSjis = !IsValidUtf8(v) && !IsEucJpText(v);
    bool shifted = false;  // inside ISO-2022-JP kanji or kana
    std::size_t i = 0;
    while (i < v.size()) {
        auto c = static_cast<unsigned char>(v[i]);
        std::size_t n = 1;
        if (c == 0x1B) {
            if (v.size() - i > 2 && (v[i + 1] == '$' || v[i + 1] == '(')) {
                shifted = v[i + 1] == '$' || v[i + 2] == 'I';
                n = (v[i + 1] == '$' && v[i + 2] == '(' && v.size() - i > 3) ? 4 : 3;
            }
        } else if ((shifted && c >= 0x21 && c <= 0x7E) || c >= 0x80) {
            bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
            if (pairSjis && lead && v.size() - i > 1) {
                auto t = static_cast<unsigned char>(v[i + 1]);
                if (t >= 0x40 && t <= 0xFC && t != 0x7F)
                    n = 2;
            }
        } else {
            ++i;
            continue;
        }
        for (std::size_t j = 0; j < n; ++j)
            s[i + j] = kOpaque;
        i += n;
    }
    return s;
}

// The value with comments turned into one blank each: its bytes (from the
// shadow), where each came from in the original (npos for such a blank),
// and whether it stands inside a quoted string.
struct Clean {
    std::string text;
    std::vector<std::size_t> origin;
    std::vector<bool> quoted;
    void Add(char c, std::size_t from, bool inQuotes)
    {
        text += c;
        origin.push_back(from);
        quoted.push_back(inQuotes);
    }
};

Clean WithoutComments(const std::string& shadow)
{
    Clean out;
    std::size_t i = 0;
    while (i < shadow.size()) {
        char c = shadow[i];
        if (c == '(') {
            SkipComment(shadow, i);
            out.Add(' ', std::string::npos, false);
        } else if (c == '"') {
            // Up to the closing quote (kept) or the end; a quoted pair is
            // taken whole so that \" does not close it.
            std::size_t end = i + 1;
            while (end < shadow.size() && shadow[end] != '"')
                end += (shadow[end] == '\\' && end + 1 < shadow.size()) ? 2 : 1;
            end = end < shadow.size() ? end + 1 : shadow.size();
            for (; i < end; ++i)
                out.Add(shadow[i], i, true);
        } else {
            out.Add(c, i++, false);
        }
    }
    return out;
}

// The original bytes of positions [from, to) of the cleaned text, without
// blanks outside quoted strings; empty unless printable ASCII.
std::string Pick(std::string_view original, const std::string& shadow, const Clean& clean, std::size_t from,
                 std::size_t to)
{
    std::string out;
    for (std::size_t i = from; i < to; ++i) {
        std::size_t at = clean.origin[i];
        if (at == std::string::npos || (!clean.quoted[i] && IsBlank(clean.text[i])))
            continue;
        auto c = static_cast<unsigned char>(original[at]);
        if (shadow[at] == kOpaque || c <= 0x20 || c >= 0x7F)
            return {};
        out += original[at];
    }
    return out;
}

}  // namespace

std::string FromAddress(std::string_view fromValue)
{
    const std::string shadow = Shadow(fromValue);
    const Clean clean = WithoutComments(shadow);
    const std::string& t = clean.text;
    auto plain = [&](std::size_t i, char c) { return !clean.quoted[i] && t[i] == c; };

    std::size_t start = 0;
    bool inGroup = false;
    for (std::size_t i = 0; i <= t.size(); ++i) {
        if (i < t.size() && plain(i, ':') && !inGroup) {  // "group: a@b, c@d;"
            inGroup = true;
            start = i + 1;
        } else if (i < t.size() && plain(i, '<')) {
            std::size_t close = i + 1;
            while (close < t.size() && !plain(close, '>'))
                ++close;
            std::string address = Pick(fromValue, shadow, clean, i + 1, close);
            if (!address.empty() && address[0] == '@') {  // an old source route: @a,@b:user@host
                std::size_t colon = address.find(':');
                address = colon == std::string::npos ? std::string() : address.substr(colon + 1);
            }
            return address;
        } else if (i == t.size() || plain(i, ',') || plain(i, ';')) {
            // A bare addr-spec, perhaps with a name in a comment; where
            // blanks split it, the word with an '@' is the address.
            std::string single, withAt;
            int words = 0;
            std::size_t w = start;
            while (w < i) {
                while (w < i && !clean.quoted[w] && IsBlank(t[w]))
                    ++w;
                std::size_t end = w;
                while (end < i && (clean.quoted[end] || !IsBlank(t[end])))
                    ++end;
                if (end > w) {
                    ++words;
                    std::string word = Pick(fromValue, shadow, clean, w, end);
                    if (words == 1)
                        single = word;
                    if (withAt.empty() && word.find('@') != std::string::npos)
                        withAt = word;
                }
                w = end;
            }
            if (words > 0)
                return !withAt.empty() ? withAt : words == 1 ? single : std::string();
            start = i + 1;
        }
    }
    return {};
}
