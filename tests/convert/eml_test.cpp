// ExportMailboxAsEml and WriteEmlMessage: files named by OutputBase and the run's running number, holding exactly the
// stored bytes; each failure shown once, every handle closed, the sources unchanged.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>

#include "eml.h"
#include "mailbox.h"
#include "msgbox_recorder.h"
#include "resource.h"
#include "state.h"
#include "store_builder.h"

namespace {

std::string EmlName(int number)
{
    char name[32];
    wsprintfA(name, "exp%05d.eml", number);
    return name;
}

class EmlTest : public testing::Test {
public:
    void SetUp() override
    {
        ClearRecordedBoxes();
        RunState = RunCounters();
        RemoveTree(out());
        CreateDirectoryA(in().c_str(), NULL);
        CreateDirectoryA(out().c_str(), NULL);
        SetPathBuffer(SourceDir, in());
        SetPathBuffer(OutputBase, out() + "exp");
    }
    std::string in() const { return dir.path() + "in\\"; }
    std::string out() const { return dir.path() + "out\\"; }

    // A mailbox holding `messages`; with an index, stored in reverse order and put back in order by the entries.
    void Store(const std::string &name, const std::vector<std::string> &messages, bool indexed)
    {
        std::vector<std::string> stored(messages.rbegin(), messages.rend());
        MailboxImage image = BuildMailbox(indexed ? stored : messages);
        std::vector<EntryFields> entries;
        for (size_t i = 0; i < messages.size(); i++)
            entries.push_back({(unsigned char)(i % 2 ? ENTRY_UNREAD : 0), image.recordOffsets[messages.size() - 1 - i]});
        WriteBytes(in() + name + ".mbx", image.bytes);
        DeleteFileA((in() + name + ".idx").c_str());
        if (indexed)
            WriteBytes(in() + name + ".idx", BuildIndex(entries));
    }

    // The output folder holds exactly these messages, as exp00001.eml on.
    void ExpectExported(const std::vector<std::string> &messages)
    {
        std::vector<std::string> names;
        for (size_t i = 0; i < messages.size(); i++)
            names.push_back(EmlName((int)i + 1));
        ASSERT_EQ(names, ListTree(out()));
        for (size_t i = 0; i < messages.size(); i++) {
            std::string bytes;
            EXPECT_TRUE(ReadBytes(out() + names[i], &bytes) && bytes == messages[i]) << names[i] << " differs";
        }
    }
    ScratchDir dir;
};

// Both walks, and the numbers running on into a second mailbox of the other kind.
TEST_F(EmlTest, ExportsStoredBytesUnchangedNumberedAcrossMailboxes)
{
    std::string large(40000, '\0');  // a piece of 32768 bytes and one of 7232
    for (size_t i = 0; i < large.size(); i++)
        large[i] = (char)(i * 7 + i / 251);
    std::vector<std::string> messages = {
        "Subject: crlf\r\n\r\nline\r\n", "Subject: lf\n\nline\n",
        "Subject: \x93\xfa\x96\x7b\r\n\r\n\x1b$B$\"\x1b(B\xff\x80\r\n", std::string("NUL\0in\0the\0middle\0", 19),
        "", large,
    };
    for (bool indexed : {false, true}) {
        SCOPED_TRACE(indexed ? "indexed, then records" : "records, then indexed");
        SetUp();
        Store("A", messages, indexed);
        Store("B", {"b1\n", "b2\n"}, !indexed);
        EXPECT_EQ(1, ExportMailboxAsEml("A.mbx"));
        EXPECT_EQ(1, ExportMailboxAsEml("B.mbx"));
        ExpectErrorBoxes({});
        std::vector<std::string> all = messages;
        all.insert(all.end(), {"b1\n", "b2\n"});
        ExpectExported(all);
    }
}

// Each way an export can end: its result, its one box, the files in the output folder (an existing one keeps its
// bytes); afterwards nothing is held open and the sources are as they were.
TEST_F(EmlTest, EveryEndClosesEverythingAndReportsOnce)
{
    const MailboxImage two = BuildMailbox({"first\r\n", "second\r\n"});
    std::string cut = two.bytes;
    PutU32(cut, two.recordOffsets[1] + MESSAGE_SIZE_FIELD, 100);
    typedef std::function<void(EmlTest &)> Prepare;
    typedef std::function<std::string(EmlTest &)> Box;
    auto nothing = [](EmlTest &) {};
    auto none = [](EmlTest &) { return std::string(); };
    auto keep = [](int number) { return [number](EmlTest &t) { WriteBytes(t.out() + EmlName(number), "keep"); }; };
    auto exists = [](int number) {
        return [number](EmlTest &t) { return TextWithArgument(IDS_DEST_EXISTS, t.out() + EmlName(number)); };
    };
    auto system = [](UINT id, DWORD code) { return [id, code](EmlTest &) { return SystemErrorText(id, code); }; };
    // An empty index: none.
    struct Case { const char *name; std::string mailbox, index; Prepare prepare; int result; Box box;
                  std::vector<std::string> outFiles; std::string heldAlone = ""; };
    const Case cases[] = {
        {"success", two.bytes, "", nothing, 1, none, {EmlName(1), EmlName(2)}},
        {"success indexed", two.bytes, BuildIndex({{0, two.recordOffsets[1]}}), nothing, 1, none, {EmlName(1)}},
        {"number 99999 reached", two.bytes, "", [](EmlTest &) { RunState.messageNumber = 99998; }, 1, none,
         {"exp100000.eml", "exp99999.eml"}},
        {"no such mailbox", "", "", [](EmlTest &t) { DeleteFileA((t.in() + "Inbox.mbx").c_str()); }, 0,
         system(IDS_OPEN_SOURCE_FAILED, ERROR_FILE_NOT_FOUND), {}},
        {"not a mailbox", "JMF9" + two.bytes.substr(4), "", nothing, 0, [](EmlTest &) { return PlainText(IDS_NOT_A_MAILBOX); }, {}},
        // The file being written is held without sharing while its failure is shown.
        {"message cut short", cut, "", nothing, 0, system(IDS_READ_SOURCE_FAILED, 0), {EmlName(1), EmlName(2)}, EmlName(2)},
        {"index cut short", two.bytes, "JMF9\x01\x02", nothing, 0, system(IDS_READ_INDEX_FAILED, 0), {}},
        {"first output exists", two.bytes, "", keep(1), 0, exists(1), {EmlName(1)}},
        {"second output exists", two.bytes, "", keep(2), 0, exists(2), {EmlName(1), EmlName(2)}},
        {"no output folder", two.bytes, "", [](EmlTest &t) { SetPathBuffer(OutputBase, t.out() + "none\\exp"); }, 0,
         system(IDS_CREATE_DEST_FAILED, ERROR_PATH_NOT_FOUND), {}},
        // The longest prefix: cut to 263 bytes, the path would name out\メメ...ee00001.em, which the system could create.
        {"output path too long", two.bytes, "",
         [](EmlTest &t) {
             std::string prefix = t.out();
             for (int i = 0; i < 100; i++)
                 prefix += "\x83\x81";
             SetPathBuffer(OutputBase, prefix + std::string(PATH_BUFFER_SIZE - 1 - prefix.size(), 'e'));
         },
         0, system(IDS_CREATE_DEST_FAILED, ERROR_FILENAME_EXCED_RANGE), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        WriteInbox(in(), c.mailbox, c.index);
        c.prepare(*this);
        const std::map<std::string, std::string> sources = TreeBytes(in());
        DWORD shared = 0;  // what another opener met while the box showed
        WhileBoxShown() = [&] {
            HANDLE other = CreateFileA((out() + c.heldAlone).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
            shared = other == INVALID_HANDLE_VALUE ? GetLastError() : (CloseHandle(other), 0u);
        };
        SetLastError(0xdeadbeef);
        EXPECT_EQ(c.result, ExportMailboxAsEml("Inbox.mbx"));
        WhileBoxShown() = nullptr;
        EXPECT_TRUE(c.heldAlone.empty() || shared == ERROR_SHARING_VIOLATION) << c.heldAlone << " shared, code " << shared;
        std::string box = c.box(*this);
        ExpectErrorBox(box);
        EXPECT_EQ(c.outFiles, ListTree(out()));
        ExpectTreeUnchanged(in(), sources);
        for (const std::string &name : ListTree(out())) {
            std::string bytes;
            EXPECT_TRUE(ReadBytes(out() + name, &bytes, 0)) << name;
            EXPECT_TRUE(box.find(name) == std::string::npos || bytes == "keep") << name << " overwritten";
        }
    }
}

}  // namespace
