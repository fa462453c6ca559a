// The main window made in this process: its class, its system menu, the
// initial state of its controls and the handlers of its commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files.h"
#include "mainwnd.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"

namespace {

const char WinbiffKey[] = "Software\\Orangesoft\\Winbiff\\Recent File List";

void SetWinbiffInstalled(bool installed)
{
    if (installed)
        ASSERT_TRUE(SetUserString(WinbiffKey, NULL, ""));
    else
        RegDeleteKeyA(HKEY_CURRENT_USER, WinbiffKey);
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

// A maximized start shows the window in its one size.
TEST_F(MainWindow, InitialControlsWithAndWithoutWinbiff)
{
    for (bool winbiff : {true, false}) {
        SCOPED_TRACE(winbiff ? "WinBiff installed" : "WinBiff absent");
        SetWinbiffInstalled(winbiff);
        ASSERT_EQ(1, CreateMainDialog(winbiff ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL));
        EXPECT_TRUE(IsWindowVisible(MainDialog));
        EXPECT_FALSE(IsZoomed(MainDialog));
        EXPECT_EQ((std::vector<bool>{winbiff, !winbiff, true, false, false}),
                  (std::vector<bool>{Checked(IDC_TO_WINBIFF), Checked(IDC_TO_EML), Checked(IDC_PREFER_KANA),
                                     Checked(IDC_PREFER_EUC), Checked(IDC_INCLUDE_DELETED)}))
            << "checked: to WinBiff, to .eml, prefer kana, prefer EUC, include deleted";
        for (int id : {IDC_TO_WINBIFF, IDC_CODE_GROUP, IDC_PREFER_KANA, IDC_PREFER_EUC, IDC_TO_EML,
                       IDC_INCLUDE_DELETED, IDC_RUN, IDC_EXIT})
            EXPECT_EQ(winbiff || id == IDC_TO_EML || id == IDC_INCLUDE_DELETED || id == IDC_RUN || id == IDC_EXIT,
                      Enabled(id)) << "control " << id;
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
    for (UINT command : {SC_RESTORE, SC_MOVE, SC_MINIMIZE, SC_CLOSE, SC_MAXIMIZE, SC_SIZE})
        EXPECT_EQ(command != SC_MAXIMIZE && command != SC_SIZE, std::count(ids.begin(), ids.end(), command) == 1)
            << std::hex << command;
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
    for (bool minimized : {false, true}) {
        SCOPED_TRACE(minimized ? "minimized" : "normal");
        if (minimized) {
            ShowWindow(MainDialog, SW_MINIMIZE);
            SendMessageA(MainDialog, WM_INITMENU, (WPARAM)SystemMenu, 0);
        }
        EXPECT_EQ(minimized ? 0u : (UINT)MF_GRAYED, MenuState(SC_RESTORE));
        EXPECT_EQ(minimized ? (UINT)MF_GRAYED : 0u, MenuState(SC_MOVE));
        EXPECT_EQ(minimized ? (UINT)MF_GRAYED : 0u, MenuState(SC_MINIMIZE));
    }
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
