// Shared by the conversion tests: MS-IM mailboxes and indexes built in
// memory, scratch folders, and the texts that the failure boxes should show.
#ifndef VESTIBAR_STORE_BUILDER_H
#define VESTIBAR_STORE_BUILDER_H

#include <windows.h>
#include <stdint.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "files.h"

// Field offsets within a record and an entry.
enum {
    COUNT_FIELD = 8,            // messageCount, entryCount
    RECORD_LENGTH_FIELD = 8,
    MESSAGE_SIZE_FIELD = 12,
    RECORD_HEADER_SIZE = 16,
    ENTRY_LENGTH_FIELD = 16,
    RECORD_OFFSET_FIELD = 20,
    ENTRY_HEADER_SIZE = 24
};

void PutU32(std::string &bytes, size_t offset, uint32_t value);

struct MailboxImage {
    std::string bytes;
    std::vector<uint32_t> recordOffsets;
};

// "JMF6", messageCount, filler in every field that is not interpreted; each
// record is followed by `slack` filler bytes that recordLength steps over.
MailboxImage BuildMailbox(const std::vector<std::string> &messages, size_t slack = 3);

struct EntryFields {
    unsigned char flags;
    uint32_t recordOffset;
};

// "JMF9", entryCount, entries of ENTRY_HEADER_SIZE + `slack` bytes.
std::string BuildIndex(const std::vector<EntryFields> &entries, size_t slack = 5);

// Random small stores and the ways the robustness tests damage them.
enum DamageKind { CUT_MAILBOX, CUT_INDEX, MAILBOX_HEADER, RECORD_FIELD, INDEX_HEADER, ENTRY_FIELD, HUGE_COUNT, DAMAGE_KINDS };

struct StoreFiles {
    std::string mailbox;
    bool indexed;
    std::string index;
};

// Up to 4 messages of random bytes; an index (half the time) of up to 5
// entries with random flags naming those records.
StoreFiles RandomStore(std::mt19937 &random);
// Field mutations keep the counts as built, so that a record or entry length
// turned 0 repeats its record only a few times; the counts grow only where
// the chain of records and entries is intact and so reaches the end.
void DamageStore(std::mt19937 &random, StoreFiles &store, int kind);

// A fresh folder under the temporary directory, removed with everything in
// it when the object goes.  path() ends in a backslash.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string &path() const { return path_; }
private:
    std::string path_;
};

void WriteBytes(const std::string &path, const std::string &bytes);
// Inbox.mbx in `dir`, with Inbox.idx beside it when `index` is not empty
// (and without one otherwise, whatever was there).
void WriteInbox(const std::string &dir, const std::string &mailbox, const std::string &index);
// Every file below `dir` with its bytes, to compare with after a run.
std::map<std::string, std::string> TreeBytes(const std::string &dir);
// The files below `dir` are those of `before`, with their bytes, and
// nobody holds them open (each is read without sharing).
void ExpectTreeUnchanged(const std::string &dir, const std::map<std::string, std::string> &before);
// Copies into SourceDir or OutputBase.
void SetPathBuffer(char *buffer, const std::string &text);

// The text a failure box shows, composed from the program's string table.
std::string SystemErrorText(UINT textId, DWORD code);
std::string TextWithArgument(UINT textId, const std::string &argument);
std::string PlainText(UINT textId);
std::string SystemDescription(DWORD code);

// Checks the recorded boxes: these texts in order, each with the error
// caption and the error style.
void ExpectErrorBoxes(const std::vector<std::string> &texts);
// One error box with `text`, or none when `text` is empty.
void ExpectErrorBox(const std::string &text);

#endif
