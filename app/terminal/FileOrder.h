// How the terminal's file list can be ordered and narrowed: by the exact
// values behind each row (so sizes and times sort as numbers, not as the
// rounded texts shown), and by a part of the name.
#pragma once
#include <string>

#include "scan/DeletedFile.h"

namespace undelete::terminal {

enum class SortKey { Row, Name, Path, State, Size, Time, Deleted };

struct FileOrder {
    SortKey key = SortKey::Row;
    bool descending = false;
};

// The sort key a key press chooses, or false when the key chooses none.
bool sortKeyOf(int key, SortKey& sortKey);

// The order after the user asked for `key`: the same key again reverses it.
FileOrder nextOrder(const FileOrder& order, SortKey key);

// True when `a` goes before `b` in `order`; equal files (and SortKey::Row)
// are false both ways, so the row order decides.
bool fileBefore(const DeletedFile& a, const DeletedFile& b, const FileOrder& order);

// True when `name` holds `part`, ASCII letters compared without case; an
// empty `part` matches every name.
bool nameMatches(const std::string& name, const std::string& part);

// The state as the list shows it (a program text, for tr()).
const char* stateText(FileState state);
// Where the file was found, as the list shows it (a program text, for tr()).
const char* originText(FileOrigin origin);

}  // namespace undelete::terminal
