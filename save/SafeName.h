// File names a recovered file can be written under. A name read from a
// disk may hold anything the file system it came from allowed (a slash in
// an NTFS name, 255 UTF-16 units of Chinese: 765 bytes); the system it is
// written to allows less. Names are in the process's multibyte encoding:
// UTF-8, or code page 936 in the Windows dialog.
#pragma once
#include <string>

namespace undelete {

enum class NameRules {
    // No '/', NUL or other control byte; whole characters; at most 255 bytes.
    Posix,
    // Posix, and none of the characters Windows refuses (\ : * ? " < > |):
    // a name from a disk, which may be copied on to a stick.
    Portable,
    // Portable, and no reserved device name (CON, NUL.txt, COM1 …), no
    // trailing dot or space; at most 255 UTF-16 units.
    Windows,
};

// The rules of this system for a name the user chose, and for one read
// from the disk.
#if defined(_WIN32)
constexpr NameRules kChosenNameRules = NameRules::Windows;
constexpr NameRules kRecoveredNameRules = NameRules::Windows;
#else
constexpr NameRules kChosenNameRules = NameRules::Posix;
constexpr NameRules kRecoveredNameRules = NameRules::Portable;
#endif

// `name` as one path component `rules` accept: refused characters become
// '_', a reserved device name gets '_' after its base, and a name too long
// is cut short keeping its extension. Empty when nothing usable is left
// ("", ".", "..").
std::string safeName(const std::string& name, NameRules rules);

// A safe name `name` with " (n)" added, before the extension when
// `beforeExtension` (a file) or at the end (a folder), still within the
// length `rules` allow. n = 0 gives `name` itself.
std::string numberedName(const std::string& name, int n, bool beforeExtension, NameRules rules);

// `prefix` + as much of the safe name `name` as fits + `suffix`, within the
// length `rules` allow (the name of a temporary file beside it).
std::string nameWithin(const std::string& prefix, const std::string& name,
                       const std::string& suffix, NameRules rules);

}  // namespace undelete
