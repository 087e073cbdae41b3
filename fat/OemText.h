// 8.3 names are stored in the OEM code page of the system that wrote them;
// for the volumes this tool is made for, code page 936.
#pragma once
#include <cstddef>
#include <string>

namespace undelete {

// `count` bytes of an 8.3 name in the process's multibyte encoding. In the
// Windows dialog the process code page is 936 already: the bytes stay as
// they are.
// Elsewhere a lead and trail byte pair becomes its UTF-8 form; a byte that
// starts no character there becomes '?', ASCII stays.
std::string oemToText(const char* bytes, size_t count);

}  // namespace undelete
