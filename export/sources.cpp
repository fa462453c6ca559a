#include "sources.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "names.h"
#include "output.h"

namespace vexport {

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// ".mbx" in any case, as Windows matches "*.mbx".
bool HasMailboxExtension(std::string_view name)
{
    return name.size() > 4 && EqualsIgnoringCase(name.substr(name.size() - 4), ".mbx");
}

Mailbox MakeMailbox(const std::string& folder, const std::string& fileName)
{
    Mailbox mailbox;
    mailbox.path = folder.empty() ? fileName : JoinPath(folder, fileName);
    std::string name = MailboxNameToUtf8(fileName);
    mailbox.display = folder.empty() ? name : JoinPath(MailboxNameToUtf8(folder), name);
    std::string_view stem = fileName;
    if (HasMailboxExtension(stem))
        stem.remove_suffix(4);
    mailbox.stem = MailboxNameToUtf8(stem);
    return mailbox;
}

bool IsFolder(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<Mailbox> FolderMailboxes(const std::string& folder)
{
    std::vector<Mailbox> mailboxes;
    for (const std::string& name : FolderEntries(folder)) {
        struct stat entry;
        std::string path = JoinPath(folder, name);
        if (HasMailboxExtension(name) && ::stat(path.c_str(), &entry) == 0 && S_ISREG(entry.st_mode))
            mailboxes.push_back(MakeMailbox(folder, name));
    }
    return mailboxes;
}

// The output name a mailbox's stem gives in `format`, folded for comparing.
std::string OutputKey(const std::string& name, Format format)
{
    std::string key = SafeFileName(name, format == Format::kMaildir ? NameUse::kMaildirFolder : NameUse::kFile);
    std::transform(key.begin(), key.end(), key.begin(), LowerAscii);
    return key;
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    }
    return true;
}

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        throw ExportError(ErrnoText(folder, errno), true);
    std::vector<std::string> names;
    errno = 0;
    while (const struct dirent* entry = ::readdir(dir))
        names.emplace_back(entry->d_name);
    int error = errno;
    ::closedir(dir);
    if (error != 0)
        throw ExportError(ErrnoText(folder, error), true);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<Mailbox> ExpandSource(const std::string& source, std::string& note)
{
    note.clear();
    struct stat status;
    if (::stat(source.c_str(), &status) != 0)
        throw ExportError(ErrnoText(source, errno), true);
    if (!S_ISDIR(status.st_mode)) {
        std::size_t slash = source.rfind('/');
        if (slash == std::string::npos)
            return {MakeMailbox(std::string(), source)};
        return {MakeMailbox(source.substr(0, slash + 1), source.substr(slash + 1))};
    }
    std::vector<Mailbox> mailboxes = FolderMailboxes(source);
    if (!mailboxes.empty())
        return mailboxes;
    for (const std::string& name : FolderEntries(source)) {
        std::string mail = JoinPath(source, name);
        if (!EqualsIgnoringCase(name, "Mail") || !IsFolder(mail))
            continue;
        mailboxes = FolderMailboxes(mail);
        if (!mailboxes.empty()) {
            note = source + " is the store's own folder: its mailboxes are taken from " + MailboxNameToUtf8(mail);
            return mailboxes;
        }
    }
    throw ExportError(source + ": no mailboxes (*.mbx) in this folder, nor in a folder Mail inside it", true);
}

void OpenIndex(const std::string& mailboxPath, msim::FileSource& index)
{
    std::string name = msim::IndexNameFor(mailboxPath);
    if (name.empty() || index.Open(name) == 0)
        return;
    std::size_t slash = name.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    try {
        for (const std::string& entry : FolderEntries(folder)) {
            if (EqualsIgnoringCase(entry, base) && index.Open(JoinPath(folder, entry)) == 0)
                return;
        }
    } catch (const ExportError&) {
        // A folder that cannot be listed has no index to offer.
    }
}

std::optional<std::string> NameClash(const std::vector<Mailbox>& mailboxes, Format format,
                                     const std::vector<Place>& places)
{
    struct Owner {
        const Mailbox* mailbox;
        std::string name;
    };
    std::map<std::string, Owner> taken;
    for (const Mailbox& mailbox : mailboxes) {
        for (Place place : places) {
            std::string name = PlaceStem(mailbox.stem, place);
            auto [at, fresh] = taken.emplace(OutputKey(name, format), Owner{&mailbox, name});
            if (fresh)
                continue;
            const Owner& first = at->second;
            std::string what = first.mailbox->display == mailbox.display
                                   ? mailbox.display + " is given twice"
                                   : first.mailbox->display + " and " + mailbox.display +
                                         " would both be written as \"" + name + "\"";
            if (first.name != name || name != mailbox.stem)
                what = first.mailbox->display + " (as \"" + first.name + "\") and " + mailbox.display + " (as \"" +
                       name + "\") would be written under one name";
            return what + "; nothing is written (export them in separate runs, each with its own -o)";
        }
    }
    return std::nullopt;
}

}  // namespace vexport
