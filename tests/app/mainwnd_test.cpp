// The main window made in this process: its class, its system menu, the
// initial state of its controls and the handlers of its commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mainwnd.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"

namespace {

const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";

void SetWinbiffInstalled(bool installed)
{
    if (installed) {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, WinbiffKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                                 NULL, &key, NULL));
        RegCloseKey(key);
    } else {
        RegDeleteKeyA(HKEY_CURRENT_USER, WinbiffKey);
    }
}

class MainWindow : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(RegisterMainClass(AppInstance)); }
    void SetUp() override { ClearRecordedBoxes(); }
    void TearDown() override
    {
        if (MainDialog != NULL && IsWindow(MainDialog))
            DestroyWindow(MainDialog);
        MainDialog = NULL;
        // WM_DESTROY posts the quit message; it is not for this loop.
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            ;
    }
    bool Checked(int id) { return IsDlgButtonChecked(MainDialog, id) == BST_CHECKED; }
    bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(MainDialog, id)) != 0; }
    UINT MenuState(UINT command) { return GetMenuState(SystemMenu, command, MF_BYCOMMAND) & MF_GRAYED; }
};

TEST_F(MainWindow, InitialControlsWithAndWithoutWinbiff)
{
    const struct {
        bool winbiff;
        bool toWinbiff, toEml, groupEnabled;
    } cases[] = {{true, true, false, true}, {false, false, true, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.winbiff ? "WinBiff installed" : "WinBiff absent");
        SetWinbiffInstalled(c.winbiff);
        ASSERT_EQ(1, CreateMainDialog(SW_SHOWNORMAL));
        EXPECT_EQ(c.toWinbiff, Checked(IDC_TO_WINBIFF));
        EXPECT_EQ(c.toEml, Checked(IDC_TO_EML));
        EXPECT_TRUE(Checked(IDC_PREFER_KANA));
        EXPECT_FALSE(Checked(IDC_PREFER_EUC));
        EXPECT_FALSE(Checked(IDC_INCLUDE_DELETED));
        for (int id : {IDC_TO_WINBIFF, IDC_CODE_GROUP, IDC_PREFER_KANA, IDC_PREFER_EUC}) {
            SCOPED_TRACE(id);
            EXPECT_EQ(c.groupEnabled, Enabled(id));
        }
        for (int id : {IDC_TO_EML, IDC_INCLUDE_DELETED, IDC_RUN, IDC_EXIT}) {
            SCOPED_TRACE(id);
            EXPECT_TRUE(Enabled(id));
        }
        DestroyWindow(MainDialog);
    }
    SetWinbiffInstalled(true);
}

TEST_F(MainWindow, SystemMenuTrimmedWithAboutItem)
{
    ASSERT_EQ(1, CreateMainDialog(SW_SHOWNORMAL));
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(SystemMenu); i++)
        ids.push_back(GetMenuItemID(SystemMenu, i));
    // No Maximize or Size; a separator and the About item at the end.
    ASSERT_GE(ids.size(), 3u);
    EXPECT_EQ(std::find(ids.begin(), ids.end(), (UINT)SC_MAXIMIZE), ids.end());
    EXPECT_EQ(std::find(ids.begin(), ids.end(), (UINT)SC_SIZE), ids.end());
    for (UINT command : {SC_RESTORE, SC_MOVE, SC_MINIMIZE, SC_CLOSE})
        EXPECT_NE(std::find(ids.begin(), ids.end(), command), ids.end()) << std::hex << command;
    EXPECT_EQ((UINT)IDM_ABOUT, ids.back());
    EXPECT_EQ(0u, ids[ids.size() - 2]);
    EXPECT_TRUE(GetMenuState(SystemMenu, ids.size() - 2, MF_BYPOSITION) & MF_SEPARATOR);
    char item[64];
    GetMenuStringA(SystemMenu, IDM_ABOUT, item, sizeof item, MF_BYCOMMAND);
    EXPECT_STREQ("Vestibar\x82\xc9\x82\xc2\x82\xa2\x82\xc4(&A)\x81\x63", item);
}

TEST_F(MainWindow, SystemMenuFollowsMinimizedState)
{
    ASSERT_EQ(1, CreateMainDialog(SW_SHOWNORMAL));
    UpdateSystemMenu();
    EXPECT_EQ((UINT)MF_GRAYED, MenuState(SC_RESTORE));
    EXPECT_EQ(0u, MenuState(SC_MOVE));
    EXPECT_EQ(0u, MenuState(SC_MINIMIZE));
    ShowWindow(MainDialog, SW_MINIMIZE);
    SendMessageA(MainDialog, WM_INITMENU, (WPARAM)SystemMenu, 0);
    EXPECT_EQ(0u, MenuState(SC_RESTORE));
    EXPECT_EQ((UINT)MF_GRAYED, MenuState(SC_MOVE));
    EXPECT_EQ((UINT)MF_GRAYED, MenuState(SC_MINIMIZE));
}

TEST_F(MainWindow, NeverShownMaximized)
{
    ASSERT_EQ(1, CreateMainDialog(SW_SHOWMAXIMIZED));
    EXPECT_TRUE(IsWindowVisible(MainDialog));
    EXPECT_FALSE(IsZoomed(MainDialog));
}

TEST_F(MainWindow, ModeButtonsSwitchTheCodeGroup)
{
    SetWinbiffInstalled(true);
    ASSERT_EQ(1, CreateMainDialog(SW_SHOWNORMAL));
    const struct {
        int click;
        bool enabled;
    } steps[] = {{IDC_TO_EML, false}, {IDC_TO_WINBIFF, true}, {IDC_PREFER_EUC, true}, {IDC_TO_EML, false}};
    for (const auto &step : steps) {
        SCOPED_TRACE("click " + std::to_string(step.click));
        SendDlgItemMessageA(MainDialog, step.click, BM_CLICK, 0, 0);
        for (int id : {IDC_CODE_GROUP, IDC_PREFER_KANA, IDC_PREFER_EUC})
            EXPECT_EQ(step.enabled, Enabled(id)) << id;
    }
    // Greyed buttons keep their checks; the check box is untouched.
    EXPECT_TRUE(Checked(IDC_PREFER_EUC));
    EXPECT_FALSE(Checked(IDC_PREFER_KANA));
    EXPECT_FALSE(Checked(IDC_INCLUDE_DELETED));
}

}  // namespace
