#include "store_builder.h"

#include <gtest/gtest.h>


#include "mailbox.h"
#include "msgbox.h"
#include "msgbox_recorder.h"
#include "state.h"
#include "textcut.h"

void PutU32(std::string &bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        bytes[offset + i] = (char)(value >> (8 * i));
}

MailboxImage BuildMailbox(const std::vector<std::string> &messages, size_t slack)
{
    MailboxImage image;
    image.bytes = "JMF6" + std::string(80, '\xa5');
    PutU32(image.bytes, COUNT_FIELD, (uint32_t)messages.size());
    for (const std::string &message : messages) {
        size_t start = image.bytes.size();
        image.recordOffsets.push_back((uint32_t)start);
        image.bytes += std::string(RECORD_HEADER_SIZE, '\x5a') + message + std::string(slack, '\xc3');
        PutU32(image.bytes, start + RECORD_LENGTH_FIELD, (uint32_t)(RECORD_HEADER_SIZE + message.size() + slack));
        PutU32(image.bytes, start + MESSAGE_SIZE_FIELD, (uint32_t)message.size());
    }
    return image;
}

std::string BuildIndex(const std::vector<EntryFields> &entries, size_t slack)
{
    std::string bytes = "JMF9" + std::string(76, '\x96');
    PutU32(bytes, COUNT_FIELD, (uint32_t)entries.size());
    for (const EntryFields &entry : entries) {
        size_t start = bytes.size();
        bytes += std::string(ENTRY_HEADER_SIZE + slack, '\x3c');
        // The flag bits that mean nothing are set, to show they are ignored.
        bytes[start] = (char)(entry.flags | 0xf0);
        PutU32(bytes, start + ENTRY_LENGTH_FIELD, (uint32_t)(ENTRY_HEADER_SIZE + slack));
        PutU32(bytes, start + RECORD_OFFSET_FIELD, entry.recordOffset);
    }
    return bytes;
}

StoreFiles RandomStore(std::mt19937 &random)
{
    std::vector<std::string> messages(random() % 5);
    for (std::string &message : messages) {
        message.resize(random() % 4 ? random() % 200 : 0);
        for (char &byte : message)
            byte = (char)random();
    }
    MailboxImage image = BuildMailbox(messages, random() % 4);
    StoreFiles store = {image.bytes, random() % 2 == 0, ""};
    if (store.indexed) {
        std::vector<EntryFields> entries(random() % 6);
        for (EntryFields &entry : entries)
            entry = {(unsigned char)(random() % 4),
                     messages.empty() ? (uint32_t)MAILBOX_FIRST_RECORD : image.recordOffsets[random() % messages.size()]};
        store.index = BuildIndex(entries, random() % 4);
    }
    return store;
}

static void SetRandomByte(std::mt19937 &random, std::string &bytes, size_t offset)
{
    if (offset < bytes.size())
        bytes[offset] = (char)random();
}

void DamageStore(std::mt19937 &random, StoreFiles &store, int kind)
{
    std::string &target = !store.indexed || kind == CUT_MAILBOX || kind == MAILBOX_HEADER ||
                                  kind == RECORD_FIELD
                              ? store.mailbox
                              : store.index;
    size_t first = &target == &store.mailbox ? MAILBOX_FIRST_RECORD : INDEX_FIRST_ENTRY;
    switch (kind) {
    case CUT_MAILBOX:
    case CUT_INDEX:
        target.resize(random() % (target.size() + 1));
        break;
    case MAILBOX_HEADER:
    case INDEX_HEADER:
        for (unsigned i = random() % 3; i < 3; i++)
            SetRandomByte(random, target, random() % 12);
        break;
    case RECORD_FIELD:
    case ENTRY_FIELD:
        // Somewhere in the first bytes of the records or entries, where
        // their lengths, sizes, flags and offsets lie.
        SetRandomByte(random, target, first + random() % 64);
        break;
    case HUGE_COUNT:
        PutU32(target, COUNT_FIELD, random() % 2 ? 0x7fffffff : 6 + random() % 100000);
        break;
    }
}

ScratchDir::ScratchDir()
{
    static int serial;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    path_ = std::string(temp) + "vestibar-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++serial) + "\\";
    CreateDirectoryA(path_.c_str(), NULL);
}

ScratchDir::~ScratchDir()
{
    RemoveTree(path_);
}

void WriteBytes(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD done = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &done, NULL);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), done) << path;
}

void WriteInbox(const std::string &dir, const std::string &mailbox, const std::string &index)
{
    DeleteFileA((dir + "Inbox.idx").c_str());
    WriteBytes(dir + "Inbox.mbx", mailbox);
    if (!index.empty())
        WriteBytes(dir + "Inbox.idx", index);
}

std::map<std::string, std::string> TreeBytes(const std::string &dir)
{
    std::map<std::string, std::string> files;
    for (const std::string &name : ListTree(dir))
        ReadBytes(dir + name, &files[name]);
    return files;
}

void ExpectTreeUnchanged(const std::string &dir, const std::map<std::string, std::string> &before)
{
    std::map<std::string, std::string> after;
    for (const std::string &name : ListTree(dir))
        EXPECT_TRUE(ReadBytes(dir + name, &after[name], 0)) << name << " held open";
    EXPECT_EQ(before, after);
}

void SetPathBuffer(char *buffer, const std::string &text)
{
    ASSERT_LT(text.size(), (size_t)PATH_BUFFER_SIZE) << text;
    memcpy(buffer, text.c_str(), text.size() + 1);
}

std::string SystemDescription(DWORD code)
{
    char description[MESSAGE_TEXT_SIZE];
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, code, 0,
                       description, sizeof description, NULL) == 0)
        return "";
    return description;
}

std::string PlainText(UINT textId)
{
    char text[MESSAGE_TEXT_SIZE];
    EXPECT_LT(0, LoadStringA(GetModuleHandleA(NULL), textId, text, sizeof text)) << textId;
    return text;
}

static std::string Cut(const char *composed)
{
    char text[MESSAGE_TEXT_SIZE];
    CopyTextCut(text, sizeof text, composed);
    return text;
}

std::string SystemErrorText(UINT textId, DWORD code)
{
    char composed[1025];
    wsprintfA(composed, PlainText(textId).c_str(), (int)code, SystemDescription(code).c_str());
    return Cut(composed);
}

std::string TextWithArgument(UINT textId, const std::string &argument)
{
    char composed[1025];
    wsprintfA(composed, PlainText(textId).c_str(), Cut(argument.c_str()).c_str());
    return Cut(composed);
}

void ExpectErrorBoxes(const std::vector<std::string> &texts)
{
    static const char CaptionError[] = "Vestibar\x83G\x83\x89\x81[";  // Vestibarエラー
    const std::vector<RecordedBox> &boxes = RecordedBoxes();
    EXPECT_EQ(texts.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); i++) {
        SCOPED_TRACE("box " + std::to_string(i));
        if (i < texts.size()) {
            EXPECT_EQ(texts[i], boxes[i].text);
        }
        EXPECT_EQ(std::string(CaptionError), boxes[i].caption);
        EXPECT_EQ((UINT)STYLE_ERROR, boxes[i].style);
    }
}

void ExpectErrorBox(const std::string &text)
{
    ExpectErrorBoxes(text.empty() ? std::vector<std::string>() : std::vector<std::string>{text});
}
