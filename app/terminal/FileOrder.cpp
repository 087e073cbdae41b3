#include "app/terminal/FileOrder.h"

#include <algorithm>
#include <tuple>

namespace undelete::terminal {
namespace {

char folded(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The files worth saving lead an ascending sort.
int stateRank(FileState state) {
    switch (state) {
    case FileState::Intact: return 0;
    case FileState::Partial: return 1;
    case FileState::Overwritten: return 2;
    case FileState::Encrypted: return 3;
    case FileState::Unknown: return 4;
    }
    return 4;
}

bool ascendingBefore(const DeletedFile& a, const DeletedFile& b, SortKey key) {
    switch (key) {
    case SortKey::Row: return false;
    case SortKey::Name: return a.name < b.name;
    case SortKey::Path: return std::tie(a.path, a.name) < std::tie(b.path, b.name);
    case SortKey::State: return stateRank(a.state) < stateRank(b.state);
    case SortKey::Size: return a.size < b.size;
    case SortKey::Time:
        return std::make_tuple(a.created.kind, a.created.value) <
               std::make_tuple(b.created.kind, b.created.value);
    case SortKey::Deleted: return a.deletedAt < b.deletedAt;
    }
    return false;
}

}  // namespace

bool sortKeyOf(int key, SortKey& sortKey) {
    switch (key) {
    case 'o': sortKey = SortKey::Row; return true;
    case 'n': sortKey = SortKey::Name; return true;
    case 'p': sortKey = SortKey::Path; return true;
    case 's': sortKey = SortKey::State; return true;
    case 'z': sortKey = SortKey::Size; return true;
    case 't': sortKey = SortKey::Time; return true;
    case 'd': sortKey = SortKey::Deleted; return true;
    default: return false;
    }
}

FileOrder nextOrder(const FileOrder& order, SortKey key) {
    if (key == SortKey::Row) return FileOrder{};
    if (order.key == key) return FileOrder{key, !order.descending};
    return FileOrder{key, false};
}

bool fileBefore(const DeletedFile& a, const DeletedFile& b, const FileOrder& order) {
    return order.descending ? ascendingBefore(b, a, order.key) : ascendingBefore(a, b, order.key);
}

bool nameMatches(const std::string& name, const std::string& part) {
    if (part.empty()) return true;
    const auto at = std::search(name.begin(), name.end(), part.begin(), part.end(),
                                [](char x, char y) { return folded(x) == folded(y); });
    return at != name.end();
}

const char* stateText(FileState state) {
    switch (state) {
    case FileState::Intact: return "完好";
    case FileState::Partial: return "部分覆盖";
    case FileState::Overwritten: return "已覆盖";
    case FileState::Encrypted: return "已加密";
    case FileState::Unknown: return "未知";
    }
    return "未知";
}

const char* originText(FileOrigin origin) {
    switch (origin) {
    case FileOrigin::Orphan: return "孤立";
    case FileOrigin::Search: return "搜索";
    case FileOrigin::Carved: return "内容";
    case FileOrigin::Table: break;
    }
    return "目录";
}

}  // namespace undelete::terminal
