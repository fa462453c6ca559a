// vestibar-export as a user runs it: the sample store against the Windows
// program's expected outputs, exit codes and messages of failures, names
// that try to leave the output folder, and the mboxrd entry in detail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "names.h"
#include "progress.h"
#include "writer.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file under `root` by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
    return files;
}

std::string U32(std::uint32_t value)
{
    return std::string{char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
}

// A mailbox of `messages`, without an index.
std::string Mailbox(const std::vector<std::string>& messages)
{
    std::string bytes = "JMF6" + U32(0) + U32(messages.size()) + std::string(72, '\0');
    for (const std::string& message : messages)
        bytes += U32(0) + U32(0) + U32(16 + message.size()) + U32(message.size()) + message;
    return bytes;
}

struct Result {
    int status;
    std::string out, err;
};

class Exporter : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string command = "python3 '" VESTIBAR_SOURCE_DIR "/tools/sample/make_sample_store.py' '" +
                              Sample().string() + "' 'C:\\sample' >/dev/null";
        fs::remove_all(Sample());
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    static fs::path Sample() { return fs::path(VESTIBAR_TEST_WORK) / "sample"; }
    static fs::path Mail() { return Sample() / "Store" / "Mail"; }

    void SetUp() override
    {
        work_ = fs::path(VESTIBAR_TEST_WORK) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(work_);
        fs::create_directories(work_);
    }

    // Runs the program with its output in files; `fileLimit` bytes, when
    // given, is the most it may write into one file (EFBIG beyond).
    Result Run(const std::vector<std::string>& args, rlim_t fileLimit = RLIM_INFINITY)
    {
        std::vector<char*> argv{const_cast<char*>(VESTIBAR_EXPORT_PROGRAM)};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        std::string out = (work_ / "stdout").string(), err = (work_ / "stderr").string();
        pid_t pid = fork();
        if (pid == 0) {
            int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            if (outFd < 0 || errFd < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0)
                _exit(126);
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = -1;
        waitpid(pid, &status, 0);
        return Result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
    }

    fs::path work_;
};

TEST_F(Exporter, SampleStoreAsTheProgramWritesIt)
{
    const std::string inbox = (Mail() / "Inbox.mbx").string(), sent = (Mail() / "Sent Items.mbx").string(),
                      archive = (Mail() / "Archive.mbx").string();
    struct Case {
        const char* expected;  // folder of the generator's expected output
        std::vector<std::string> args;
        const char* output;    // -o, inside the test's folder
    } cases[] = {
        // The store folder in byte order of names; the .eml numbering needs
        // the generator's order, so those take the files one by one.
        {"winbiff-skip", {"--format", "winbiff", Mail().string()}, "out"},
        {"winbiff-all", {"--format", "winbiff", "--include-deleted", Mail().string()}, "out"},
        // --raw changes nothing where the output is the program's.
        {"winbiff-all", {"--format", "winbiff", "--raw", "--include-deleted", Mail().string()}, "out"},
        {"eml-all", {"--format", "eml", "--raw", "--include-deleted", inbox, sent, archive}, "out/exp"},
        {"eml-skip", {"--format", "eml", inbox, sent, archive}, "out/exp"},
        {"eml-all", {"--format", "eml", "--include-deleted", inbox, sent, archive}, "out/exp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        fs::remove_all(work_ / "out");
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), {"-o", (work_ / c.output).string()});
        Result result = Run(args);
        ASSERT_EQ(result.status, 0) << result.err;
        auto actual = Tree(work_ / "out");
        auto expected = Tree(Sample() / "expected" / c.expected);
        EXPECT_EQ(actual.size(), expected.size());
        for (const auto& [name, bytes] : expected) {
            ASSERT_TRUE(actual.count(name)) << "missing " << name;
            EXPECT_TRUE(actual[name] == bytes) << name << ": " << actual[name].size() << " bytes, expected "
                                               << bytes.size();
        }
    }
}

TEST_F(Exporter, FailuresAndTheirExitCodes)
{
    const std::string archive = ReadFile(Mail() / "Archive.mbx");
    auto outputExists = [&](const fs::path& src) {
        WriteFile(src / "Archive.mbx", archive);
        WriteFile(src / "Inbox.mbx", Mailbox({"Subject: a\r\n\r\nA\r\n"}));
        WriteFile(src / "out" / "Archive.mbox", "keep me");
    };
    struct Case {
        const char* name;
        std::function<void(const fs::path& src)> setUp;  // fills src/
        std::vector<std::string> args;                     // then the output and src/
        int status;
        std::vector<std::string> said;                     // in stderr
        std::map<std::string, std::string> files;          // out/ then holds these ("" = any bytes)
    } cases[] = {
        {"no sources", [](const fs::path&) {}, {"--format", "mbox"}, 2, {"Try 'vestibar-export --help'"}, {}},
        {"unknown format", [](const fs::path&) {}, {"--format", "pst"}, 2, {"--format"}, {}},
        {"not a mailbox, keep going",
         [&](const fs::path& src) {
             WriteFile(src / "Archive.mbx", archive);
             WriteFile(src / "Broken.mbx", "JMF7 and the rest");
         },
         {"--format", "winbiff", "--keep-going"}, 3,
         {"skipped 1:", "Broken.mbx: header: not an Internet Mail mailbox"},
         {{"Archive", ""}}},  // and no empty folder file for the broken one
        {"output folder is a file",
         [&](const fs::path& src) {
             WriteFile(src / "Archive.mbx", archive);
             WriteFile(src / "out", "keep me");
         },
         {"--format", "mbox"}, 1, {"/out: Not a directory"}, {}},
        {"output file exists", outputExists, {"--format", "mbox"}, 1, {"Archive.mbox: already exists; left untouched", "nothing"},
         {{"Archive.mbox", "keep me"}}},
        {"output file exists, keep going", outputExists, {"--format", "mbox", "--keep-going"}, 3, {"skipped 1:", "Archive.mbox: already exists"},
         {{"Archive.mbox", "keep me"}, {"Inbox.mbox", ""}}},
        {"names that would leave the folder",
         [&](const fs::path& src) {
             for (const char* name : {"...mbx", "..mbx", "..\\..\\x.mbx", ".hidden.mbx"})
                 WriteFile(src / name, Mailbox({"Subject: a\r\n\r\nA\r\n"}));
         },
         {"--format", "winbiff"}, 0, {},
         {{"%2E.", ""}, {"%2E", ""}, {"%2E.%5C..%5Cx", ""}, {"%2Ehidden", ""}}},
        {"Japanese name in code page 932, as Windows wrote it",
         [&](const fs::path& src) {
             // A message without a Date takes the mailbox file's time.
             fs::path box = src / "\x8e\xf3\x90" "M\x83g\x83\x8c\x83" "C.mbx";
             WriteFile(box, Mailbox({""}));
             struct timeval times[2] = {{946684800, 0}, {946684800, 0}};
             utimes(box.c_str(), times);
         },
         {"--format", "maildir"}, 0, {},
         {{".&U9dP4TDIMOwwpA-/maildirfolder", ""}, {".&U9dP4TDIMOwwpA-/new/946684800.M000001P000001.vestibar", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path src = work_ / c.name;
        fs::create_directories(src);
        c.setUp(src);
        std::vector<std::string> args = c.args;
        if (c.status != 2)
            args.insert(args.end(), {"-o", (src / "out").string(), src.string()});
        Result result = Run(args);
        EXPECT_EQ(result.status, c.status) << result.err;
        for (const std::string& text : c.said)
            EXPECT_NE(result.err.find(text), std::string::npos) << "stderr lacks \"" << text << "\":\n" << result.err;
        if (c.status == 2)
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
        if (c.files.empty())
            continue;
        auto actual = Tree(src / "out");
        EXPECT_EQ(actual.size(), c.files.size());
        for (const auto& [name, bytes] : c.files)
            EXPECT_TRUE(actual.count(name) && (bytes.empty() || actual[name] == bytes)) << "out/" << name << ": "
                << (actual.count(name) ? actual[name] : "missing") << ", expected " << bytes;
        // Whatever the names, nothing was written beside the sources.
        for (const auto& entry : fs::directory_iterator(src))
            EXPECT_TRUE(entry.path().filename() == "out" || entry.path().extension() == ".mbx") << entry.path();
    }
}

// Names, folders and sources as a user meets them.  In `args`, "@" stands
// for the case's folder; "files" is what @/out then holds ("" = any bytes),
// and a missing out/ is an empty map.
TEST_F(Exporter, NamesFoldersAndSources)
{
    const std::string one = Mailbox({"Subject: a\r\n\r\nA\r\n"});
    auto boxes = [&](std::vector<std::string> names) {
        return [&, names](const fs::path& at) {
            for (const std::string& name : names)
                WriteFile(at / name, name.find("Broken") != std::string::npos ? "JMF7 and the rest" : one);
        };
    };
    struct Case {
        const char* name;
        std::function<void(const fs::path& at)> setUp;
        std::vector<std::string> args;
        int status;
        std::vector<std::string> said;  // in stdout and stderr
        std::map<std::string, std::string> files;
    } cases[] = {
        {"same name, two sources", boxes({"a/Inbox.mbx", "b/Inbox.mbx"}), {"-f", "mbox", "-o", "@/out", "@/a", "@/b"}, 1,
         {"@/a/Inbox.mbx and @/b/Inbox.mbx would both be written as \"Inbox\"; nothing is written"}, {}},
        // The Maildir folder made for the mailbox goes again, marker file and all.
        {"a message cut short", [&](const fs::path& at) { WriteFile(at / "a/Archive.mbx", one.substr(0, one.size() - 3)); },
         {"-f", "maildir", "-o", "@/out", "@/a"}, 1, {"@/a/Archive.mbx: record 1 at offset 84"}, {}},
        {"one source twice", boxes({"a/Inbox.mbx"}), {"-f", "eml", "-o", "@/out/m", "@/a", "@/a"}, 1,
         {"@/a/Inbox.mbx is given twice"}, {}},
        {"Inbox and INBOX for Maildir", boxes({"a/Inbox.mbx", "b/INBOX.mbx"}), {"-f", "maildir", "-o", "@/out", "@/a", "@/b"}, 1,
         {"@/a/Inbox.mbx (as \"Inbox\") and @/b/INBOX.mbx (as \"INBOX\") would be written under one name"}, {}},
        {"a mailbox's deleted mail and a mailbox of that name", boxes({"a/Inbox.mbx", "a/Inbox (deleted).mbx"}),
         {"-f", "mbox", "--include-deleted", "-o", "@/out", "@/a"}, 1,
         {"@/a/Inbox (deleted).mbx (as \"Inbox (deleted)\") and @/a/Inbox.mbx (as \"Inbox (deleted)\")"}, {}},
        {"the same without deleted mail", boxes({"a/Inbox.mbx", "a/Inbox (deleted).mbx"}),
         {"-f", "mbox", "-o", "@/out", "@/a"}, 0, {"2 mailboxes, 2 messages exported"},
         {{"Inbox.mbox", ""}, {"Inbox (deleted).mbox", ""}}},
        {"a failed run leaves no folders", boxes({"a/Broken.mbx"}), {"-f", "maildir", "-o", "@/out/deep", "@/a"}, 1,
         {"Broken.mbx: header: not an Internet Mail mailbox"}, {}},
        {"eml into an existing folder", [&](const fs::path& at) { boxes({"a/Inbox.mbx"})(at); fs::create_directories(at / "out"); },
         {"-f", "eml", "-o", "@/out", "@/a"}, 0, {"1 mailbox, 1 message exported"}, {{"exp00001.eml", ""}}},
        {"the store's own folder", boxes({"store/MAIL/Inbox.mbx"}), {"-f", "mbox", "-o", "@/out", "@/store"}, 0,
         {"@/store is the store's own folder: its mailboxes are taken from @/store/MAIL"}, {{"Inbox.mbox", ""}}},
        {"a folder without mailboxes", boxes({"store/Other/Inbox.mbx"}), {"-f", "mbox", "-o", "@/out", "@/store"}, 1,
         {"@/store: no mailboxes (*.mbx) in this folder, nor in a folder Mail inside it"}, {}},
        {"a file named Mail", boxes({"store/Mail"}), {"-f", "mbox", "-o", "@/out", "@/store"}, 1,
         {"@/store: no mailboxes (*.mbx) in this folder, nor in a folder Mail inside it"}, {}},
        {"--list with a damaged mailbox", boxes({"a/Broken.mbx", "a/Inbox.mbx", "a/Sent.mbx"}), {"--list", "@/a"}, 1,
         {"damaged: @/a/Broken.mbx: header: not an Internet Mail mailbox", "@/a/Inbox.mbx\n", "@/a/Sent.mbx\n",
          "1 mailbox cannot be read whole"}, {}},
        {"a skip is listed once", boxes({"a/Broken.mbx", "a/Inbox.mbx"}), {"-f", "winbiff", "--keep-going", "-o", "@/out", "@/a"}, 3,
         {"skipped 1:\n  @/a/Broken.mbx: header: not an Internet Mail mailbox\n"}, {{"Inbox", ""}}},
        {"--prefer-euc for eml", boxes({"a/Inbox.mbx"}), {"-f", "eml", "--prefer-euc", "-o", "@/out", "@/a"}, 2,
         {"--format eml keeps the messages' bytes"}, {}},
        {"--prefer-euc with --raw", boxes({"a/Inbox.mbx"}), {"-f", "mbox", "--raw", "--prefer-euc", "-o", "@/out", "@/a"}, 2,
         {"--raw keeps the messages' bytes"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path at = work_ / c.name;
        c.setUp(at);
        auto place = [&](std::string text) {
            for (std::size_t i; (i = text.find('@')) != std::string::npos;)
                text.replace(i, 1, at.string());
            return text;
        };
        std::vector<std::string> args;
        for (const std::string& arg : c.args)
            args.push_back(place(arg));
        Result result = Run(args);
        EXPECT_EQ(result.status, c.status) << result.out << result.err;
        for (const std::string& text : c.said)
            EXPECT_NE((result.out + result.err).find(place(text)), std::string::npos)
                << "the output lacks \"" << place(text) << "\":\n" << result.out << result.err;
        // A skip is told once, in the list at the end.
        std::size_t broken = 0;
        for (std::size_t i = 0; (i = result.err.find("Broken.mbx", i)) != std::string::npos; ++i)
            ++broken;
        EXPECT_LE(broken, 1u) << result.err;
        std::map<std::string, std::string> actual = fs::exists(at / "out") ? Tree(at / "out") : decltype(actual)();
        EXPECT_EQ(actual.size(), c.files.size());
        for (const auto& [name, bytes] : c.files)
            EXPECT_TRUE(actual.count(name) && (bytes.empty() || actual[name] == bytes)) << "out/" << name << " missing";
        // Nothing written means no output folder either.
        if (c.files.empty() && c.name != std::string("eml into an existing folder"))
            EXPECT_FALSE(fs::exists(at / "out")) << "out/ was left behind";
    }
}

// A write that fails part of the way, or a source cut short, leaves whole
// messages only, and all of them.
TEST_F(Exporter, WriteFailureKeepsWholeMessages)
{
    const std::string archive = ReadFile(Mail() / "Archive.mbx");
    WriteFile(work_ / "src" / "Archive.mbx", archive);
    WriteFile(work_ / "cut" / "Archive.mbx", archive.substr(0, archive.size() - 100));
    WriteFile(work_ / "big" / "Inbox.mbx", Mailbox({std::string(500, 'a'), std::string(3000, 'b')}));
    // The stored bytes, whose size the limit below is made for.
    ASSERT_EQ(Run({"-f", "mbox", "--raw", "-o", (work_ / "full").string(), (work_ / "src").string()}).status, 0);
    const std::string full = ReadFile(work_ / "full" / "Archive.mbox");
    const std::string firstTwo = full.substr(0, full.find("\nFrom ", full.find("\nFrom ") + 1) + 1);
    struct Case {
        const char* format;
        const char* source;
        const char* output;  // -o, inside the test's folder
        const char* folder;  // where the files go
        std::map<std::string, std::string> files;
        std::vector<std::string> said;  // in stderr
        rlim_t fileLimit = 1200;
    } cases[] = {
        {"mbox", "src", "mbox", "mbox", {{"Archive.mbox", firstTwo}},
         {"Archive.mbox: 2 whole messages"}},
        // The third record runs past the end; the two before it are still in the buffer.
        {"mbox", "cut", "cut-mbox", "cut-mbox", {{"Archive.mbox", firstTwo}},
         {"Archive.mbx: record 3 at offset ",
          "runs past the end of the file (" + std::to_string(archive.size() - 100) + " bytes)",
          "Archive.mbox: 2 whole messages"},
         RLIM_INFINITY},
        {"eml", "big", "eml/m", "eml", {{"m00001.eml", std::string(500, 'a')}},
         {"m00002.eml: File too large", "written before the failure:\n  " + (work_ / "eml" / "m00001.eml").string() + "\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        Result result =
            Run({"-f", c.format, "--raw", "-o", (work_ / c.output).string(), (work_ / c.source).string()}, c.fileLimit);
        EXPECT_EQ(result.status, 1) << result.err;
        for (const std::string& text : c.said)
            EXPECT_NE(result.err.find(text), std::string::npos) << "stderr lacks \"" << text << "\":\n" << result.err;
        EXPECT_EQ(Tree(work_ / c.folder), c.files);
    }
}

// A message larger than the pieces it is copied in, with a header block
// longer than the first piece and its Date at the end.
TEST_F(Exporter, LargeMessageStreamed)
{
    std::string message = "Subject: big\r\nX-Pad: " + std::string(70000, 'p') + "\r\n" +
                          "Date: Sat, 1 Jan 2000 00:00:00 +0000\r\n\r\n";
    for (int i = 0; message.size() < 1500000; ++i)
        message += "line " + std::to_string(i) + "\r\n";
    WriteFile(work_ / "src" / "Inbox.mbx", Mailbox({message}));
    ASSERT_EQ(Run({"-f", "maildir", "--raw", "-q", "-o", (work_ / "md").string(), (work_ / "src").string()}).status, 0);
    ASSERT_EQ(Run({"-f", "eml", "-q", "-o", (work_ / "eml" / "m").string(), (work_ / "src").string()}).status, 0);
    fs::path mail = work_ / "md" / "new" / "946684800.M000001P000001.vestibar";
    EXPECT_TRUE(ReadFile(mail) == message) << ReadFile(mail).size() << " bytes, expected " << message.size();
    struct stat status {};
    ASSERT_EQ(stat(mail.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 946684800);
    EXPECT_TRUE(ReadFile(work_ / "eml" / "m00001.eml") == message);
}

struct StringSink final : vexport::ByteSink {
    void Write(const char* bytes, std::size_t count) override { text.append(bytes, count); }
    std::string text;
};

TEST(MboxEntry, QuotingMarksAndLineEnds)
{
    struct Case {
        const char* name;
        std::string message;
        bool unread;
        std::string entry;
    } cases[] = {
        {"From lines quoted, others not",
         "From: Taro <t@x.jp>\nDate: Sat, 1 Jan 2000 09:00:00 +0900\n\nFrom here\n>From there\n>>From x\nFromage\n "
         "From\n",
         false,
         "From t@x.jp Sat Jan  1 00:00:00 2000\nFrom: Taro <t@x.jp>\nDate: Sat, 1 Jan 2000 09:00:00 +0900\n"
         "Status: RO\nX-Mozilla-Status: 0001\n\n>From here\n>>From there\n>>>From x\nFromage\n From\n\n"},
        {"CR LF, last line without its end", "Subject: a\r\n\r\nbody", true,
         "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nSubject: a\r\nX-Mozilla-Status: 0000\r\n\r\n"
         "body\r\n\n"},
        {"no empty line, no line end", "Subject: a", false,
         "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nSubject: a\nStatus: RO\nX-Mozilla-Status: 0001\n\n"},
        {"From line in the header block", "From x\nDate: nonsense\n\n", true,
         "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\n>From x\nDate: nonsense\nX-Mozilla-Status: 0000\n\n\n"},
        {"empty message", "", true, "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nX-Mozilla-Status: 0000\n\n"},
        {"headers only, with their line end", "Subject: a\n", false,
         "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nSubject: a\nStatus: RO\nX-Mozilla-Status: 0001\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StringSink sink;
        // In a buffer of its exact size: the sanitizer reports a read past it.
        const std::vector<char> exact(c.message.begin(), c.message.end());
        std::string_view text(exact.data(), exact.size());
        vexport::WriteMboxEntry(text, c.unread,
                                vexport::MessageDate(text.substr(0, vexport::HeaderBlockEnd(text))).value_or(0), sink);
        EXPECT_EQ(sink.text, c.entry);
    }
}

TEST(MboxEntry, AsctimeUtc)
{
    struct Case {
        std::int64_t seconds;
        const char* text;
    } cases[] = {
        {0, "Thu Jan  1 00:00:00 1970"},          {-1, "Wed Dec 31 23:59:59 1969"},
        {951782400, "Tue Feb 29 00:00:00 2000"},  {4107542400, "Mon Mar  1 00:00:00 2100"},
        {253402300799, "Fri Dec 31 23:59:59 9999"}, {-2208988800, "Mon Jan  1 00:00:00 1900"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(vexport::AsctimeUtc(c.seconds), c.text);
    }
}

}  // namespace

namespace {

TEST(ProgressLine, FitsTheTerminal)
{
    vexport::RunCounters c;
    c.mailboxes = 100, c.mailbox = 7, c.steps = 50000, c.stepsDone = 12345, c.bytes = 400000000,
    c.bytesDone = 100000000;
    const std::string japanese = "受信トレイ/2026年の古いメール/とても長い名前のメールボックス.mbx";
    struct Case {
        std::string name;
        double seconds;
        int columns;
        std::string line;  // exactly, or "" where only the width and ends are checked
    } cases[] = {
        {"Inbox.mbx", 10, 120, "[7/100] Inbox.mbx  12345/50000 msgs  100.0/400.0 MB  10.0 MB/s  0:30 left"},
        {"Inbox.mbx", 0.1, 120, "[7/100] Inbox.mbx  12345/50000 msgs  100.0/400.0 MB"},  // no rate yet
        {"a-rather-long-mailbox-name-that-does-not-fit.mbx", 10, 60,
         "[7/100] a-rather…-fit.mbx  12345/50000 msgs  100.0/400.0 MB"},
        // Characters of one and two columns mixed: each end keeps what fits.
        {"aa受bb信cc受dd信ee受ff.mbx", 10, 30, "[7/100] aa受bb信cc…ee受ff.mbx"},
        // Control characters (C0, DEL, C1) never reach the terminal; blanks do.
        {"In\x1b[2Jbox\x7f \xc2\x85\xc2\xa0.mbx", 10, 120,
         "[7/100] In?[2Jbox? ?\xc2\xa0.mbx  12345/50000 msgs  100.0/400.0 MB  10.0 MB/s  0:30 left"},
        {japanese, 10, 40, "[7/100] 受信トレイ/2026…ルボックス.mbx"},  // wide characters count two
        {japanese, 10, 80, ""},
        {japanese, 10, 12, ""},
    };
    for (const Case& k : cases) {
        std::string line = vexport::ProgressLine(c, k.name, k.seconds, k.columns);
        SCOPED_TRACE(k.name + " in " + std::to_string(k.columns) + " columns: " + line);
        if (!k.line.empty())
            EXPECT_EQ(line, k.line);
        // One column is left free: a line that fills the last one wraps on some terminals.
        EXPECT_LE(vexport::DisplayWidth(line), k.columns - 1);
        if (line.find("…") != std::string::npos)  // a name shortened only as far as needed
            EXPECT_GE(vexport::DisplayWidth(line), k.columns - 3);
        EXPECT_TRUE(line.compare(0, 8, "[7/100] ") == 0 || k.columns < 20);
        EXPECT_TRUE(IsValidUtf8(line));  // never cut inside a character
    }
}

}  // namespace
