// The run's sources: store folders and mailbox files as the user names
// them, the mailboxes they hold, and the rule that no two of them are
// written under one name.
#ifndef VESTIBAR_EXPORT_SOURCES_H
#define VESTIBAR_EXPORT_SOURCES_H

#include <optional>
#include <string>
#include <vector>

#include "file_source.h"
#include "writer.h"

namespace vexport {

struct Mailbox {
    std::string path;     // as found, for opening
    std::string display;  // the same in UTF-8, for messages
    std::string stem;     // file name without ".mbx", in UTF-8
};

// The mailboxes of one source in byte order of their names: a store
// folder's *.mbx (in any case), or a file, a mailbox whatever its name.  A
// folder without any but with a folder "Mail" (in any case) that has some
// is the store's own folder: its Mail folder is taken, and `note` says so.
// Throws ExportError.
std::vector<Mailbox> ExpandSource(const std::string& source, std::string& note);

// Opens the index beside a mailbox: the name the Windows program derives,
// or, as Windows would find it, the same name in another case.  No index
// is no failure.
void OpenIndex(const std::string& mailboxPath, msim::FileSource& index);

// The names the mailboxes' outputs take in `places` (PlaceStem: "Inbox",
// "Inbox (deleted)", ...).
// Names are compared without regard to ASCII case, as the file systems of
// macOS and Windows and Maildir's Inbox do, so the rule is the same
// wherever the output goes.  A clash is told in one line naming both
// mailboxes; none gives nullopt.
std::optional<std::string> NameClash(const std::vector<Mailbox>& mailboxes, Format format,
                                     const std::vector<Place>& places);

// The names of a folder's entries, in byte order; throws ExportError.
std::vector<std::string> FolderEntries(const std::string& folder);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace vexport

#endif
