// Stands in for MessageBoxA in the test programs: every box is recorded.
#ifndef VESTIBAR_MSGBOX_RECORDER_H
#define VESTIBAR_MSGBOX_RECORDER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct RecordedBox {
    std::string text;
    bool hasCaption;
    std::string caption;
    UINT style;
};

std::vector<RecordedBox> &RecordedBoxes();
void ClearRecordedBoxes();

// Run as each box is shown, while the code that shows it still holds its
// files open: a test can see how they are held.
std::function<void()> &WhileBoxShown();

#endif
