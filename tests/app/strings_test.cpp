// The string table as the program loads it under code page 932: every id
// gives exactly the bytes of its text, and no other id loads.
#include <gtest/gtest.h>

#include <string>

#include "resource.h"
#include "state.h"

namespace {

struct StringCase {
    UINT id;
    const char *bytes;  // code page 932
};

const StringCase StringTable[] = {
    {IDS_CAPTION_REGISTRY, "\x83\x8c\x83W\x83X\x83g\x83\x8a\x83G\x83\x89\x81["},  // レジストリエラー
    {IDS_CAPTION_SETTINGS, "\x90\xdd\x92\xe8\x83G\x83\x89\x81["},  // 設定エラー
    {IDS_CAPTION_ERROR, "Vestibar\x83G\x83\x89\x81["},  // Vestibarエラー
    {IDS_CAPTION_MESSAGE, "Vestibar\x83\x81\x83" "b\x83Z\x81[\x83W"},  // Vestibarメッセージ
    {IDS_WINBIFF_NOT_INSTALLED, "Winbiff \x82\xaa\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8b\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // Winbiff がインストールされていません。
    {IDS_WINBIFF_RUNNING, "Winbiff \x82\xaa\x8bN\x93\xae\x82\xb5\x82\xc4\x82\xa2\x82\xdc\x82\xb7\x81" "B\x8fI\x97\xb9\x82\xb3\x82\xb9\x82\xc4\x89\xba\x82\xb3\x82\xa2\x81" "B"},  // Winbiff が起動しています。終了させて下さい。
    {IDS_IM_NOT_INSTALLED, "Microsoft Internet Mail \x82\xaa\x83" "C\x83\x93\x83X\x83g\x81[\x83\x8b\x82\xb3\x82\xea\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // Microsoft Internet Mail がインストールされていません。
    {IDS_IM_STORE_UNKNOWN, "Microsoft Internet Mail \x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xcc\x88\xca\x92u\x82\xaa\x95s\x96\xbe\x82\xc5\x82\xb7\x81" "B"},  // Microsoft Internet Mail のメールボックスの位置が不明です。
    {IDS_WINBIFF_STORE_UNKNOWN, "Winbiff \x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xcc\x88\xca\x92u\x82\xaa\x95s\x96\xbe\x82\xc5\x82\xb7\x81" "B"},  // Winbiff のメールボックスの位置が不明です。
    {IDS_CLASS_NOT_REGISTERED, "\x83" "E\x83" "C\x83\x93\x83h\x83" "E\x83N\x83\x89\x83X\x82\xaa\x93o\x98^\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // ウインドウクラスが登録できません。
    {IDS_WINDOW_NOT_OPENED, "\x83" "E\x83" "C\x83\x93\x83h\x83" "E\x82\xaa\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // ウインドウが開けません。
    {IDS_WINBIFF_MAILBOX_INVALID, "Winbiff \x82\xcc\x92\xca\x8f\xed\x8eg\x97p\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xaa\x96\xb3\x8c\xf8\x82\xc5\x82\xb7\x81" "B"},  // Winbiff の通常使用メールボックスが無効です。
    {IDS_SUMMARY, "%d \x8c\xc2\x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xa9\x82\xe7\x81" "A\x8cv %d \x92\xca\x82\xcc\x83\x81\x81[\x83\x8b\x82\xf0\x95\xcf\x8a\xb7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B"},  // %d 個のメールボックスから、計 %d 通のメールを変換しました。
    {IDS_SUMMARY_WITH_DELETED, "%d \x8c\xc2\x82\xcc\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xa9\x82\xe7\x81" "A\x8cv %d \x92\xca\x82\xcc\x83\x81\x81[\x83\x8b\x82\xf0\x95\xcf\x8a\xb7\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81" "B\x0a\x81i\x93\xe0\x81" "A\x8d\xed\x8f\x9c\x83\x81\x81[\x83\x8b %d \x92\xca\x81j"},  // %d 個のメールボックスから、計 %d 通のメールを変換しました。\n（内、削除メール %d 通）
    {IDS_NO_MAILBOX, "\x95\xcf\x8a\xb7\x82\xb7\x82\xe9\x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x82\xaa\x82P\x82\xc2\x82\xe0\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // 変換するメールボックスが１つもありません。
    {IDS_CREATE_DIRECTORY_FAILED, "CreateDirectory \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // CreateDirectory のエラーです。Code=<%d>\n%s
    {IDS_FIND_NEXT_FAILED, "FindNextFile \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // FindNextFile のエラーです。Code=<%d>\n%s
    {IDS_OPEN_SOURCE_FAILED, "CreateFile(Source) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // CreateFile(Source) のエラーです。Code=<%d>\n%s
    {IDS_CREATE_DEST_FAILED, "CreateFile(Destination) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // CreateFile(Destination) のエラーです。Code=<%d>\n%s
    {IDS_READ_SOURCE_FAILED, "ReadFile(Source) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // ReadFile(Source) のエラーです。Code=<%d>\n%s
    {IDS_READ_INDEX_FAILED, "ReadFile(Index) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // ReadFile(Index) のエラーです。Code=<%d>\n%s
    {IDS_WRITE_DEST_FAILED, "WriteFile(Destination) \x82\xcc\x83G\x83\x89\x81[\x82\xc5\x82\xb7\x81" "BCode=<%d>\x0a%s"},  // WriteFile(Destination) のエラーです。Code=<%d>\n%s
    {IDS_NOT_A_MAILBOX, "Microsoft Internet Mail \x83\x81\x81[\x83\x8b\x83{\x83" "b\x83N\x83X\x8c`\x8e\xae\x82\xcc\x83t\x83@\x83" "C\x83\x8b\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81" "B"},  // Microsoft Internet Mail メールボックス形式のファイルではありません。
    {IDS_OUT_OF_MEMORY, "\x83\x81\x83\x82\x83\x8a\x82\xaa\x8am\x95\xdb\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81" "B"},  // メモリが確保できませんでした。
    {IDS_DEST_EXISTS, "MS-IM \x82\xcc\x83t\x83H\x83\x8b\x83_\x81[\x82\xc6\x93\xaf\x82\xb6\x96\xbc\x91O\x82\xcc\x83t\x83H\x83\x8b\x83_\x81[\x82\xaa\x82\xb7\x82\xc5\x82\xc9 Winbiff \x82\xc9\x91\xb6\x8d\xdd\x82\xb5\x82\xdc\x82\xb7\x81" "B\x0a%s"},  // MS-IM のフォルダーと同じ名前のフォルダーがすでに Winbiff に存在します。\n%s
    {IDS_ABOUT_MENU, "Vestibar\x82\xc9\x82\xc2\x82\xa2\x82\xc4(&A)\x81" "c"},  // Vestibarについて(&A)…
    {IDS_EXPORT_TITLE, "\x22*.eml\x22 \x83t\x83@\x83" "C\x83\x8b\x8fo\x97\xcd\x88\xca\x92u"},  // \"*.eml\" ファイル出力位置
    {IDS_IMPORT_TITLE, "\x22*.mbx\x22 \x83t\x83@\x83" "C\x83\x8b\x93\xc7\x82\xdd\x8d\x9e\x82\xdd\x88\xca\x92u"},  // \"*.mbx\" ファイル読み込み位置
};

bool InTable(UINT id)
{
    for (const StringCase &entry : StringTable)
        if (entry.id == id)
            return true;
    return false;
}

TEST(StringTable, LoadsUnderCodePage932)
{
    // Everything below compares Shift_JIS bytes.
    ASSERT_EQ(932u, GetACP());
}

TEST(StringTable, EveryTextLoadsByteForByte)
{
    for (const StringCase &entry : StringTable) {
        SCOPED_TRACE("string id " + std::to_string(entry.id));
        char buffer[256];
        int length = LoadStringA(AppInstance, entry.id, buffer, sizeof buffer);
        EXPECT_EQ(std::string(entry.bytes), std::string(buffer, length > 0 ? length : 0));
        EXPECT_EQ((int)strlen(entry.bytes), length);
    }
}

TEST(StringTable, HoldsNoOtherIds)
{
    for (UINT id = 0; id < 512; id++) {
        if (InTable(id))
            continue;
        SCOPED_TRACE("string id " + std::to_string(id));
        char buffer[256] = "unchanged";
        EXPECT_EQ(0, LoadStringA(AppInstance, id, buffer, sizeof buffer));
    }
}

TEST(StringTable, LongestTextFitsMessageBuffer)
{
    // Message 36 is the longest text; the routines load into 256 bytes.
    char buffer[256];
    EXPECT_EQ(84, LoadStringA(AppInstance, IDS_SUMMARY_WITH_DELETED, buffer, sizeof buffer));
}

TEST(StringTable, MenuItemAndTitlesFitTheirBuffers)
{
    // The About item is loaded into 32 bytes, the dialog titles into 64.
    const struct { UINT id; int size; } cases[] = {
        {IDS_ABOUT_MENU, 32}, {IDS_EXPORT_TITLE, 64}, {IDS_IMPORT_TITLE, 64},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("string id " + std::to_string(c.id));
        char full[256];
        char small[64];
        int fullLength = LoadStringA(AppInstance, c.id, full, sizeof full);
        int smallLength = LoadStringA(AppInstance, c.id, small, c.size);
        EXPECT_LT(fullLength, c.size);
        EXPECT_EQ(fullLength, smallLength);
    }
}

}  // namespace
