/* Ids shared by the resource script and the code. */
#ifndef VESTIBAR_RESOURCE_H
#define VESTIBAR_RESOURCE_H

/* --- String table: captions of message boxes --- */
#define IDS_CAPTION_REGISTRY        1
#define IDS_CAPTION_SETTINGS        3
#define IDS_CAPTION_ERROR           4
#define IDS_CAPTION_MESSAGE         8

/* --- String table: the two mail programs --- */
#define IDS_WINBIFF_NOT_INSTALLED   16
#define IDS_WINBIFF_RUNNING         17
#define IDS_IM_NOT_INSTALLED        18
#define IDS_IM_STORE_UNKNOWN        20
#define IDS_WINBIFF_STORE_UNKNOWN   21

/* --- String table: windows and the closing summary --- */
#define IDS_CLASS_NOT_REGISTERED    32
#define IDS_WINDOW_NOT_OPENED       33
#define IDS_WINBIFF_MAILBOX_INVALID 34
#define IDS_SUMMARY                 35
#define IDS_SUMMARY_WITH_DELETED    36

/* --- String table: failures during a run --- */
#define IDS_NO_MAILBOX              48
#define IDS_CREATE_DIRECTORY_FAILED 49
#define IDS_FIND_NEXT_FAILED        50
#define IDS_OPEN_SOURCE_FAILED      51
#define IDS_CREATE_DEST_FAILED      52
#define IDS_READ_SOURCE_FAILED      53
#define IDS_READ_INDEX_FAILED       54
#define IDS_WRITE_DEST_FAILED       55
#define IDS_NOT_A_MAILBOX           59
#define IDS_OUT_OF_MEMORY           62
#define IDS_DEST_EXISTS             63

/* --- String table: menu item and file-dialog titles --- */
#define IDS_ABOUT_MENU              80
#define IDS_EXPORT_TITLE            81
#define IDS_IMPORT_TITLE            82

/* --- Dialog templates: base ids; the large-dpi set adds 10 --- */
#define IDD_MAIN                    101
#define IDD_ABOUT                   103
#define IDD_PROGRESS                106
#define DIALOG_VARIANT_LARGE_DPI    10

/* --- Icon --- */
#define IDI_MAIN                    102

/* --- Controls of IDD_MAIN --- */
#define IDC_RUN                     1002
#define IDC_EXIT                    1003
#define IDC_TO_WINBIFF              1008
#define IDC_TO_EML                  1009
#define IDC_CODE_GROUP              1010
#define IDC_PREFER_KANA             1011
#define IDC_PREFER_EUC              1012
#define IDC_OUTPUT_GROUP            1014
#define IDC_INCLUDE_DELETED         1016

/* --- Controls of IDD_ABOUT --- */
#define IDC_WEB_ADDRESS             1015

/* --- Controls of IDD_PROGRESS --- */
#define IDC_PROGRESS_BAR            1019
#define IDC_FILE_NAME               1020

/* --- System menu --- */
#define IDM_ABOUT                   2001

#endif
