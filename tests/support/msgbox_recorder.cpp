#include "msgbox_recorder.h"

#include "msgbox.h"

std::vector<RecordedBox> &RecordedBoxes()
{
    static std::vector<RecordedBox> boxes;
    return boxes;
}

void ClearRecordedBoxes()
{
    RecordedBoxes().clear();
}

int ShowBox(const char *text, const char *caption, UINT style)
{
    RecordedBox box;
    box.text = text;
    box.hasCaption = caption != NULL;
    box.caption = caption ? caption : "";
    box.style = style;
    RecordedBoxes().push_back(box);
    return IDOK;
}
