// Every text helper on arbitrary bytes: no read outside the input, and the
// promises the exporter builds on hold (file names that stay in their
// folder, printable folder names, UTF-8 names, addresses fit for a "From "
// line).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "maildate.h"
#include "names.h"

static void Require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

static bool AllBetween(const std::string& s, unsigned char low, unsigned char high)
{
    for (unsigned char c : s)
        if (c < low || c > high)
            return false;
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)ParseMailDate(input);
    std::optional<std::string> from = FindHeader(input, "From");
    Require(AllBetween(FromAddress(from.value_or(std::string(input))), 0x21, 0x7E));

    std::string utf8 = MailboxNameToUtf8(input);
    Require(IsValidUtf8(utf8));
    Require(AllBetween(ImapModifiedUtf7(input), 0x20, 0x7E));
    for (NameUse use : {NameUse::kFile, NameUse::kMaildirFolder}) {
        std::string safe = SafeFileName(utf8, use);
        Require(!safe.empty() && safe[0] != '.' && safe.find('/') == std::string::npos);
        Require(use == NameUse::kFile || safe.find('.') == std::string::npos);
        for (unsigned char c : safe)
            Require(c >= 0x20 && c != 0x7F);
    }
    return 0;
}
