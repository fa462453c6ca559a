// Answers text_oracle.py: one request a line, "date" or "cp932", a tab and
// the input in hex; one answer a line, the epoch seconds or "none" for a
// date, the UTF-8 name in hex for a name.
#include <cstdio>
#include <iostream>
#include <string>

#include "maildate.h"
#include "names.h"

int main()
{
    std::string line;
    while (std::getline(std::cin, line)) {
        std::size_t tab = line.find('\t');
        std::string input, answer;
        for (std::size_t i = tab + 1; tab != std::string::npos && i + 1 < line.size(); i += 2)
            input += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
        if (line.compare(0, tab, "date") == 0) {
            std::optional<std::int64_t> t = ParseMailDate(input);
            answer = t ? std::to_string(*t) : "none";
        } else {
            char two[3];
            for (unsigned char c : MailboxNameToUtf8(input))
                answer += (std::snprintf(two, sizeof two, "%02x", c), two);
        }
        std::cout << answer << '\n';
    }
    return std::cout.good() ? 0 : 1;
}
