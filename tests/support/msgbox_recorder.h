// Stands in for MessageBoxA in the test programs: every box is recorded.
#ifndef VESTIBAR_MSGBOX_RECORDER_H
#define VESTIBAR_MSGBOX_RECORDER_H

#include <windows.h>

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

#endif
