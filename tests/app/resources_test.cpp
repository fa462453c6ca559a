// The resources of the built program, read from vestibar.exe itself: the
// dialog templates field by field, the icon and the version record.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "beside_program.h"
#include "resource.h"

namespace {

std::string ProgramPath;  // set from the command line in main below

struct Control {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::u16string className;  // a predefined class as "#128" etc.
    std::u16string text;       // an ordinal as "#102"
    WORD extraBytes;
};

struct Template {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    std::u16string menu;
    std::u16string className;
    std::u16string caption;
    WORD pointSize;
    std::u16string font;
    std::vector<Control> controls;
};

// Reads the classic in-memory template; `end` guards every read.
class TemplateReader {
public:
    TemplateReader(const BYTE *data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    WORD Word()
    {
        if (offset_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        WORD value = (WORD)(data_[offset_] | data_[offset_ + 1] << 8);
        offset_ += 2;
        return value;
    }
    DWORD Dword()
    {
        DWORD low = Word();
        return low | (DWORD)Word() << 16;
    }
    std::u16string String()
    {
        std::u16string text;
        for (WORD c = Word(); ok_ && c != 0; c = Word())
            text += (char16_t)c;
        return text;
    }
    std::u16string StringOrOrdinal()
    {
        WORD first = Word();
        if (first == 0xFFFF) {
            std::string number = "#" + std::to_string(Word());
            return std::u16string(number.begin(), number.end());
        }
        std::u16string text;
        for (WORD c = first; ok_ && c != 0; c = Word())
            text += (char16_t)c;
        return text;
    }
    void AlignDword() { offset_ = (offset_ + 3) & ~(size_t)3; }

private:
    const BYTE *data_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

bool ReadTemplate(const BYTE *data, size_t size, Template *out)
{
    TemplateReader r(data, size);
    out->style = r.Dword();
    out->exStyle = r.Dword();
    WORD count = r.Word();
    out->x = (short)r.Word();
    out->y = (short)r.Word();
    out->cx = (short)r.Word();
    out->cy = (short)r.Word();
    out->menu = r.StringOrOrdinal();
    out->className = r.StringOrOrdinal();
    out->caption = r.String();
    out->pointSize = 0;
    if (out->style & DS_SETFONT) {
        out->pointSize = r.Word();
        out->font = r.String();
    }
    for (WORD i = 0; i < count && r.ok(); i++) {
        r.AlignDword();
        Control c;
        c.style = r.Dword();
        DWORD exStyle = r.Dword();
        if (exStyle != 0)
            ADD_FAILURE() << "control " << i << " has extended style " << exStyle;
        c.x = (short)r.Word();
        c.y = (short)r.Word();
        c.cx = (short)r.Word();
        c.cy = (short)r.Word();
        c.id = r.Word();
        c.className = r.StringOrOrdinal();
        c.text = r.StringOrOrdinal();
        c.extraBytes = r.Word();
        out->controls.push_back(c);
    }
    return r.ok();
}

std::string Narrow(const std::u16string &text)
{
    std::string out;
    for (char16_t c : text) {
        char buffer[8];
        int n = WideCharToMultiByte(CP_UTF8, 0, (const wchar_t *)&c, 1, buffer, sizeof buffer, NULL, NULL);
        out.append(buffer, n > 0 ? n : 0);
    }
    return out;
}

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
        HGLOBAL handle = LoadResource(module_, info);
        const BYTE *data = (const BYTE *)LockResource(handle);
        return std::vector<BYTE>(data, data + SizeofResource(module_, info));
    }
    Template Dialog(WORD id)
    {
        std::vector<BYTE> raw = Raw(RT_DIALOG, id);
        Template t = {};
        EXPECT_FALSE(raw.empty()) << "dialog " << id;
        EXPECT_TRUE(ReadTemplate(raw.data(), raw.size(), &t)) << "dialog " << id << " is cut short";
        return t;
    }
    HMODULE module_ = NULL;
};

const DWORD Child = WS_CHILD | WS_VISIBLE;
const std::u16string Button = u"#128", Edit = u"#129", Static = u"#130";

struct ExpectedTemplate {
    WORD id;
    DWORD style;
    short x, y, cx, cy;
    std::u16string className;
    std::u16string caption;
    std::vector<Control> controls;
};

const std::vector<ExpectedTemplate> &ExpectedTemplates()
{
    static const std::vector<ExpectedTemplate> templates = {
        {IDD_MAIN,
         WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
         20, 20, 232, 126, u"Vestibar", u"Vestibar Mail Data Converter",
         {
             {Child | BS_PUSHBUTTON | WS_TABSTOP, 170, 105, 55, 15, IDC_RUN, Button, u"実行", 0},
             {Child | BS_PUSHBUTTON | WS_TABSTOP, 110, 105, 55, 15, IDC_EXIT, Button, u"終了", 0},
             {Child | BS_GROUPBOX | WS_GROUP, 5, 20, 220, 35, IDC_OUTPUT_GROUP, Button, u"出力方法", 0},
             {Child | BS_AUTORADIOBUTTON, 10, 30, 174, 10, IDC_TO_WINBIFF, Button, u"Winbiff のメールボックスに直接出力する", 0},
             {Child | BS_AUTORADIOBUTTON, 10, 40, 142, 10, IDC_TO_EML, Button, u"\"*.eml\" ファイルとして出力する", 0},
             {Child | BS_GROUPBOX | WS_GROUP, 5, 60, 220, 35, IDC_CODE_GROUP, Button, u"コード変換", 0},
             {Child | BS_AUTORADIOBUTTON, 10, 70, 104, 10, IDC_PREFER_KANA, Button, u"半角カナ文字を優先する", 0},
             {Child | BS_AUTORADIOBUTTON, 10, 80, 104, 10, IDC_PREFER_EUC, Button, u"ＥＵＣコードを優先する", 0},
             {Child | BS_AUTOCHECKBOX | WS_TABSTOP, 10, 5, 172, 10, IDC_INCLUDE_DELETED, Button, u"MS-IMで削除されているメールも出力する", 0},
         }},
        {IDD_ABOUT,
         WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
         20, 20, 222, 82, u"", u"Vestibar について",
         {
             {Child | BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 181, 5, 33, 14, IDOK, Button, u"OK", 0},
             {Child | SS_ICON, 3, 2, 18, 20, 0xFFFF, u"STATIC", u"#102", 0},
             {Child | SS_LEFT | WS_GROUP, 30, 10, 50, 8, 0xFFFF, Static, u"Vestibar", 0},
             {Child | SS_LEFT | WS_GROUP, 30, 22, 150, 8, 0xFFFF, Static, u"Vestibar Mail Data Converter", 0},
             {Child | SS_LEFT | WS_GROUP, 30, 34, 120, 8, 0xFFFF, Static, u"Version 0.03  '97-05-05", 0},
             {Child | SS_LEFT | WS_GROUP, 30, 47, 140, 8, 0xFFFF, Static, u"Copyright (C) 1997 Vestibar Works", 0},
             {Child | ES_LEFT | ES_READONLY | WS_TABSTOP, 30, 60, 185, 10, IDC_WEB_ADDRESS, Edit, u"", 0},
         }},
        {IDD_PROGRESS,
         WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT,
         0, 0, 187, 69, u"", u"Vestibar",
         {
             {Child, 5, 25, 175, 10, IDC_PROGRESS_BAR, u"msctls_progress32", u"Progress1", 0},
             {Child | SS_LEFT | WS_GROUP, 5, 5, 175, 10, IDC_FILE_NAME, Static, u"FileName", 0},
         }},
    };
    return templates;
}

// windres stores a CLASS name upper-cased; window classes match without
// regard to case, so "VESTIBAR" names the class registered as "Vestibar".
bool SameClass(const std::u16string &expected, const std::u16string &actual)
{
    if (expected.size() != actual.size())
        return false;
    for (size_t i = 0; i < expected.size(); i++) {
        char16_t a = expected[i], b = actual[i];
        if (a >= u'a' && a <= u'z')
            a = (char16_t)(a - 32);
        if (b >= u'a' && b <= u'z')
            b = (char16_t)(b - 32);
        if (a != b)
            return false;
    }
    return true;
}

TEST_F(ProgramResources, DialogTemplatesInBothSizes)
{
    const struct { int offset; WORD points; } variants[] = {{0, 10}, {DIALOG_VARIANT_LARGE_DPI, 8}};
    for (const auto &variant : variants) {
        for (const ExpectedTemplate &e : ExpectedTemplates()) {
            WORD id = (WORD)(e.id + variant.offset);
            SCOPED_TRACE("dialog " + std::to_string(id));
            Template t = Dialog(id);
            EXPECT_EQ(e.style, t.style);
            EXPECT_EQ(0u, t.exStyle);
            EXPECT_EQ(e.x, t.x);
            EXPECT_EQ(e.y, t.y);
            EXPECT_EQ(e.cx, t.cx);
            EXPECT_EQ(e.cy, t.cy);
            EXPECT_EQ("", Narrow(t.menu));
            EXPECT_TRUE(SameClass(e.className, t.className)) << Narrow(t.className);
            EXPECT_EQ(Narrow(e.caption), Narrow(t.caption));
            EXPECT_EQ(variant.points, t.pointSize);
            EXPECT_EQ("Terminal", Narrow(t.font));
            ASSERT_EQ(e.controls.size(), t.controls.size());
            for (size_t i = 0; i < e.controls.size(); i++) {
                const Control &want = e.controls[i], &got = t.controls[i];
                SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(want.id));
                EXPECT_EQ(want.style, got.style) << std::hex << "want 0x" << want.style << " got 0x" << got.style;
                EXPECT_EQ(want.x, got.x);
                EXPECT_EQ(want.y, got.y);
                EXPECT_EQ(want.cx, got.cx);
                EXPECT_EQ(want.cy, got.cy);
                EXPECT_EQ(want.id, got.id);
                EXPECT_TRUE(SameClass(want.className, got.className)) << Narrow(got.className);
                EXPECT_EQ(Narrow(want.text), Narrow(got.text));
                EXPECT_EQ(0, got.extraBytes);
            }
        }
    }
}

TEST_F(ProgramResources, PairsDifferOnlyInFontSize)
{
    for (WORD base : {IDD_MAIN, IDD_ABOUT, IDD_PROGRESS}) {
        SCOPED_TRACE("dialog " + std::to_string(base));
        std::vector<BYTE> normal = Raw(RT_DIALOG, base);
        std::vector<BYTE> large = Raw(RT_DIALOG, (WORD)(base + DIALOG_VARIANT_LARGE_DPI));
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
    EXPECT_EQ(1, group[4] | group[5] << 8);  // count
    EXPECT_EQ(32, group[6]);                 // width
    EXPECT_EQ(32, group[7]);                 // height
    EXPECT_EQ(16, group[8]);                 // colours
    EXPECT_EQ(1, group[10] | group[11] << 8);  // planes
    EXPECT_EQ(4, group[12] | group[13] << 8);  // bits per pixel
    DWORD bytes = group[14] | group[15] << 8 | group[16] << 16 | (DWORD)group[17] << 24;
    EXPECT_EQ(744u, bytes);
    WORD imageId = (WORD)(group[18] | group[19] << 8);
    EXPECT_EQ(1, imageId);
    EXPECT_EQ(744u, Raw(RT_ICON, imageId).size());
}

TEST_F(ProgramResources, VersionRecord)
{
    std::vector<BYTE> raw = Raw(RT_VERSION, 1);
    ASSERT_GT(raw.size(), 92u);
    // VS_FIXEDFILEINFO follows the header "VS_VERSION_INFO" at offset 40.
    VS_FIXEDFILEINFO fixed;
    memcpy(&fixed, raw.data() + 40, sizeof fixed);
    EXPECT_EQ(0xFEEF04BDu, fixed.dwSignature);
    EXPECT_EQ(0x00010000u, fixed.dwStrucVersion);
    EXPECT_EQ(0u, fixed.dwFileVersionMS);
    EXPECT_EQ(3u, fixed.dwFileVersionLS);
    EXPECT_EQ(0u, fixed.dwProductVersionMS);
    EXPECT_EQ(3u, fixed.dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed.dwFileFlagsMask);
    EXPECT_EQ(0u, fixed.dwFileFlags);
    EXPECT_EQ((DWORD)VOS_NT_WINDOWS32, fixed.dwFileOS);
    EXPECT_EQ((DWORD)VFT_APP, fixed.dwFileType);
    EXPECT_EQ(0u, fixed.dwFileSubtype);
    EXPECT_EQ(0u, fixed.dwFileDateMS);
    EXPECT_EQ(0u, fixed.dwFileDateLS);

    // Keys and values as UTF-16 in the raw record, the keys in this order.
    std::u16string text((const char16_t *)raw.data(), raw.size() / 2);
    const struct { std::u16string key, value; } strings[] = {
        {u"041104b0", u""},
        {u"CompanyName", u"Vestibar Works"},
        {u"FileDescription", u"Vestibar Mail Data Converter"},
        {u"FileVersion", u"0.03"},
        {u"InternalName", u"Vestibar"},
        {u"LegalCopyright", u"Copyright (C) 1997 Vestibar Works"},
        {u"OriginalFilename", u"vestibar.exe"},
        {u"ProductName", u"Vestibar Works Vestibar"},
        {u"ProductVersion", u"0.03"},
        {u"VarFileInfo", u""},
        {u"Translation", u""},
    };
    size_t last = 0;
    for (const auto &s : strings) {
        SCOPED_TRACE(Narrow(s.key));
        size_t at = text.find(s.key + u'\0', last);
        ASSERT_NE(std::u16string::npos, at);
        if (!s.value.empty()) {
            // The value follows its key, after padding to a 32-bit boundary.
            size_t value = at + s.key.size() + 1;
            if (value % 2)
                value++;
            EXPECT_EQ(Narrow(s.value + u'\0'), Narrow(text.substr(value, s.value.size() + 1)));
        }
        last = at;
    }
    // The one translation: Japanese, Unicode.
    size_t translation = text.find(u"Translation");
    size_t value = translation + 12;
    if (value % 2)
        value++;
    ASSERT_LT(value + 1, text.size());
    EXPECT_EQ(0x0411, text[value]);
    EXPECT_EQ(1200, text[value + 1]);
}

}  // namespace

int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        ProgramPath = BesideProgram(argv[1]);
    return RUN_ALL_TESTS();
}
