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

// Run as each box shows, while the code showing it still holds its files.
std::function<void()> &WhileBoxShown();

#endif
