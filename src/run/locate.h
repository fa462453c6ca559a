// Finding the MS-IM store and WinBiff's user directory, and asking the user
// where the registry cannot answer.
#ifndef VESTIBAR_LOCATE_H
#define VESTIBAR_LOCATE_H

// Each returns 1 for success and 0 for failure.  The four callers' entries
// report their own failures (a cancelled dialog shows nothing); the single
// look-ups report nothing.
int LocateImStore(void);
int CheckWinbiffReady(void);
int ChooseExportBase(void);
int ChooseSourceDir(void);

int IsWinbiffInstalled(void);
int IsImInstalled(void);
int ReadWinbiffIniPath(void);
int ReadWinbiffUserDirectory(void);
int ReadImStoreRoot(void);

#endif
