// NKF32.dll's NkfConvert as the program calls it: the input is read up to its zero and not a byte further, wherever the
// text starts and however long it is, even when its zero is the last byte before memory that cannot be read.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "nkf32.h"

namespace {

TEST(Nkf32Dll, TextReadToItsZeroAtEveryPlaceAndLength)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const DWORD page = system.dwPageSize;
    // Two pages, the second made unreadable: a read past the first faults.
    char *pages = (char *)VirtualAlloc(NULL, 2 * page, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE((char *)NULL, pages);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    char output[128];
    SetNkfOption("s");
    for (size_t length = 0; length <= 70; length++) {
        for (size_t start = 0; start < 32; start++) {
            SCOPED_TRACE("length " + std::to_string(length) + ", start " + std::to_string(start));
            std::string text;
            for (size_t k = 0; k < length; k++)
                text += (char)('a' + (k + start) % 26);
            // In the middle of the page, with bytes that are no zero after it; then its zero the last readable byte.
            memset(pages, 'z', page);
            for (char *at : {pages + 256 + start, pages + page - 1 - length}) {
                memcpy(at, text.c_str(), length + 1);
                memset(output, '#', sizeof output);
                NkfConvert(output, at);
                EXPECT_EQ(text, std::string(output)) << (at == pages + 256 + start ? "mid-page" : "at the page's end");
            }
        }
    }
    VirtualFree(pages, 0, MEM_RELEASE);
}

}  // namespace
