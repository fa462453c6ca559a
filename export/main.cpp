// vestibar-export: the mail of a Microsoft Internet Mail store into mbox,
// Maildir, numbered .eml files or WinBiff folder files.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <map>
#include <string>

#include "run.h"

namespace {

constexpr const char kProgram[] = "vestibar-export";

int UsageError(const std::string& text)
{
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, text.c_str(), kProgram);
    return vexport::kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    vexport::RunOptions options;
    const std::map<std::string, vexport::Format> formats = {{"mbox", vexport::Format::kMbox},
                                                            {"maildir", vexport::Format::kMaildir},
                                                            {"eml", vexport::Format::kEml},
                                                            {"winbiff", vexport::Format::kWinbiff}};

    CLI::App app("Exports the mail of a Microsoft Internet Mail store (*.mbx mailboxes with their *.idx "
                 "indexes) into mbox, Maildir, numbered .eml files or WinBiff folder files.",
                 kProgram);
    app.set_version_flag("--version", std::string(kProgram) + " " VESTIBAR_VERSION);
    std::string format;
    app.add_option("-f,--format", format, "mbox, maildir, eml or winbiff")
        ->check(CLI::IsMember({"mbox", "maildir", "eml", "winbiff"}));
    app.add_option("-o,--output", options.output,
                   "the folder to write into (mbox, maildir, winbiff) or the path prefix of the files (eml)");
    app.add_flag("--include-deleted", options.includeDeleted, "also export the mail marked deleted");
    app.add_flag("--prefer-euc", options.preferEuc,
                 "read text that could be either as EUC-JP rather than as Shift_JIS half-width kana");
    app.add_flag("--raw", options.raw,
                 "mbox, maildir: the stored bytes of every message, unconverted (eml and winbiff always are as "
                 "the program writes them)");
    app.add_flag("--keep-going", options.keepGoing,
                 "skip a mailbox or message that cannot be read or written, list them at the end (exit 3)");
    app.add_flag("--resume", options.resume,
                 "go on with the output an earlier run of the same sources left (finished or interrupted): write "
                 "only what is missing, keep what is there and whole");
    app.add_flag("-q,--quiet", options.quiet, "no progress line and no summary");
    app.add_flag("--list", options.list, "list the mailboxes with their counts; write nothing");
    app.add_flag("--recover", options.recover,
                 "also the messages of records that the index or a damaged store no longer leads to, apart "
                 "from the others (a folder \"NAME (recovered)\", or .eml files numbered after the rest)");
    app.add_option("SOURCE", options.sources, "store folders (their *.mbx files) or mailbox files")->required();

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return UsageError(e.what());
    }
    if (!options.list) {
        if (format.empty())
            return UsageError("--format is required (mbox, maildir, eml or winbiff)");
        if (options.output.empty())
            return UsageError("-o PATH is required");
        options.format = formats.at(format);
        // An option that would change nothing is refused rather than ignored.
        bool converts = options.format == vexport::Format::kWinbiff ||
                        ((options.format == vexport::Format::kMbox || options.format == vexport::Format::kMaildir) &&
                         !options.raw);
        if (options.preferEuc && !converts)
            return UsageError("--prefer-euc chooses how ambiguous text is converted, and " +
                              std::string(options.raw ? "--raw" : "--format eml") +
                              " keeps the messages' bytes as they are (it applies to winbiff, and to mbox and "
                              "maildir without --raw)");
    }
    return vexport::Run(options);
}
