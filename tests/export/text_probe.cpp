// Answers text_oracle.py: one request a line, "date" or "cp932", a tab and
// the input in hex; one answer a line, the epoch seconds or "none" for a
// date, the UTF-8 name in hex for a name.
#include <cstdio>
#include <iostream>
#include <string>

#include "maildate.h"
#include "names.h"

static std::string FromHex(const std::string& hex)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

static std::string ToHex(const std::string& bytes)
{
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out;
}

int main()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::size_t tab = line.find('\t');
        std::string kind = line.substr(0, tab);
        std::string input = tab == std::string::npos ? std::string() : FromHex(line.substr(tab + 1));
        if (kind == "date") {
            std::optional<std::int64_t> t = ParseMailDate(input);
            std::cout << (t ? std::to_string(*t) : "none") << '\n';
        } else {
            std::cout << ToHex(MailboxNameToUtf8(input)) << '\n';
        }
    }
    return std::cout.good() ? 0 : 1;
}
