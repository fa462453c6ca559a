#ifndef VESTIBAR_PROGRESS_H
#define VESTIBAR_PROGRESS_H

// Opens the progress window of a run into ProgressDialog; 1, or 0 after
// reporting that the window cannot be opened.
int CreateProgressDialog(void);

#endif
