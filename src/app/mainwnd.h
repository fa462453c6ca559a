// The main window: its window procedure, the About box and the system menu.
#ifndef VESTIBAR_MAINWND_H
#define VESTIBAR_MAINWND_H

#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void UpdateSystemMenu(void);

// Start-up (startup.cpp).
extern const char MainClassName[];  // "Vestibar", named by the main template
int RegisterMainClass(HINSTANCE instance);
void ChooseDialogVariant(void);
int CreateMainDialog(int showCommand);

#endif
