#include "msgbox_recorder.h"

#include "msgbox.h"

std::vector<RecordedBox> &RecordedBoxes()
{
    static std::vector<RecordedBox> boxes;
    return boxes;
}

void ClearRecordedBoxes() { RecordedBoxes().clear(); }

std::function<void()> &WhileBoxShown()
{
    static std::function<void()> hook;
    return hook;
}

int ShowBox(const char *text, const char *caption, UINT style)
{
    RecordedBoxes().push_back({text, caption != NULL, caption ? caption : "", style});
    if (WhileBoxShown())
        WhileBoxShown()();
    return IDOK;
}
