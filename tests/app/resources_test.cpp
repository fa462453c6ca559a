// The resources of the built program, read from vestibar.exe itself: the
// two sizes of each dialog, the icon and the version record.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "beside_program.h"
#include "resource.h"

namespace {

std::string ProgramPath;  // set from the command line in main below

class ProgramResources : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(ProgramPath.empty()) << "no program path on the command line";
        module_ = LoadLibraryExA(ProgramPath.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(module_ != NULL) << ProgramPath << " error " << GetLastError();
    }
    void TearDown() override
    {
        if (module_)
            FreeLibrary(module_);
    }
    std::vector<BYTE> Raw(LPCSTR type, WORD id)
    {
        HRSRC info = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        if (!info)
            return {};
        const BYTE *data = (const BYTE *)LockResource(LoadResource(module_, info));
        return std::vector<BYTE>(data, data + SizeofResource(module_, info));
    }
    HMODULE module_ = NULL;
};

// The set chosen on large screens is the same dialog in 8 points instead
// of 10: one byte of difference, the point size.
TEST_F(ProgramResources, PairsDifferOnlyInFontSize)
{
    for (WORD base : {IDD_MAIN, IDD_ABOUT, IDD_PROGRESS}) {
        SCOPED_TRACE("dialog " + std::to_string(base));
        std::vector<BYTE> normal = Raw(RT_DIALOG, base);
        std::vector<BYTE> large = Raw(RT_DIALOG, (WORD)(base + DIALOG_VARIANT_LARGE_DPI));
        ASSERT_FALSE(normal.empty());
        ASSERT_EQ(normal.size(), large.size());
        size_t differing = 0;
        for (size_t i = 0; i < normal.size(); i++) {
            if (normal[i] != large[i]) {
                differing++;
                EXPECT_EQ(10, normal[i]) << "offset " << i;
                EXPECT_EQ(8, large[i]) << "offset " << i;
            }
        }
        EXPECT_EQ(1u, differing);
    }
}

TEST_F(ProgramResources, IconIsOne32x32SixteenColourImage)
{
    std::vector<BYTE> group = Raw(RT_GROUP_ICON, IDI_MAIN);
    // GRPICONDIR (6 bytes) and one GRPICONDIRENTRY (14 bytes).
    ASSERT_EQ(20u, group.size());
    const struct { size_t at, size; DWORD value; const char *field; } fields[] = {
        {4, 2, 1, "count"}, {6, 1, 32, "width"}, {7, 1, 32, "height"}, {8, 1, 16, "colours"},
        {10, 2, 1, "planes"}, {12, 2, 4, "bits per pixel"}, {14, 4, 744, "bytes"}, {18, 2, 1, "image id"},
    };
    for (const auto &f : fields) {
        DWORD value = 0;
        memcpy(&value, &group[f.at], f.size);
        EXPECT_EQ(f.value, value) << f.field;
    }
    EXPECT_EQ(744u, Raw(RT_ICON, 1).size());
}

TEST_F(ProgramResources, VersionRecord)
{
    DWORD ignored = 0, size = GetFileVersionInfoSizeA(ProgramPath.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(ProgramPath.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", (void **)&fixed, &length));
    ASSERT_EQ(sizeof *fixed, length);
    EXPECT_EQ(3u, fixed->dwFileVersionLS);
    EXPECT_EQ(0u, fixed->dwFileVersionMS);
    EXPECT_EQ(3u, fixed->dwProductVersionLS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    // The one translation: Japanese, Unicode.
    WORD *translation = NULL;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void **)&translation, &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);
    const struct { const char *key, *value; } strings[] = {
        {"CompanyName", "Vestibar Works"},
        {"FileDescription", "Vestibar Mail Data Converter"},
        {"FileVersion", "0.03"},
        {"InternalName", "Vestibar"},
        {"LegalCopyright", "Copyright (C) 1997 Vestibar Works"},
        {"OriginalFilename", "vestibar.exe"},
        {"ProductName", "Vestibar Works Vestibar"},
        {"ProductVersion", "0.03"},
    };
    for (const auto &s : strings) {
        char *value = NULL;
        std::string key = std::string("\\StringFileInfo\\041104b0\\") + s.key;
        EXPECT_TRUE(VerQueryValueA(info.data(), key.c_str(), (void **)&value, &length)) << key;
        EXPECT_STREQ(s.value, value ? value : "") << key;
    }
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        ProgramPath = BesideProgram(argv[1]);
    return RUN_ALL_TESTS();
}
