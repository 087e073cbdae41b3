#include "Template.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace driver {
namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool u16(uint16_t& v) {
        if (at_ > size_ || size_ - at_ < 2) return false;
        v = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return true;
    }
    bool u32(uint32_t& v) {
        uint16_t lo = 0, hi = 0;
        if (!u16(lo) || !u16(hi)) return false;
        v = static_cast<uint32_t>(lo) | static_cast<uint32_t>(hi) << 16;
        return true;
    }
    bool s16(int& v) {
        uint16_t u = 0;
        if (!u16(u)) return false;
        v = static_cast<int16_t>(u);
        return true;
    }
    bool byte(uint8_t& v) {
        if (at_ >= size_) return false;
        v = data_[at_++];
        return true;
    }
    bool string(std::wstring& s) {
        s.clear();
        for (uint16_t c = 0; u16(c);) {
            if (c == 0) return true;
            s += static_cast<wchar_t>(c);
        }
        return false;
    }
    // A name or an ordinal (0xFFFF then the number); ordinals of the
    // predefined classes become their names.
    bool nameOrOrdinal(std::wstring& s, bool* present = nullptr) {
        uint16_t first = 0;
        if (!u16(first)) return false;
        if (present != nullptr) *present = first != 0;
        if (first == 0) {
            s.clear();
            return true;
        }
        if (first == 0xFFFF) {
            uint16_t ordinal = 0;
            if (!u16(ordinal)) return false;
            switch (ordinal) {
            case 0x80: s = L"Button"; break;
            case 0x81: s = L"Edit"; break;
            case 0x82: s = L"Static"; break;
            default: s = L"#" + std::to_wstring(ordinal);
            }
            return true;
        }
        at_ -= 2;
        return string(s);
    }
    void alignTo4() { at_ = (at_ + 3) & ~static_cast<size_t>(3); }
    bool skip(size_t n) {
        if (at_ > size_ || n > size_ - at_) return false;
        at_ += n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace

bool parseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate& out) {
    Reader r(data, size);
    uint16_t version = 0, signature = 0, count = 0;
    uint32_t help = 0;
    std::wstring menu, cls;
    if (!r.u16(version) || !r.u16(signature) || version != 1 || signature != 0xFFFF) return false;
    if (!r.u32(help) || !r.u32(out.exStyle) || !r.u32(out.style) || !r.u16(count)) return false;
    if (!r.s16(out.x) || !r.s16(out.y) || !r.s16(out.cx) || !r.s16(out.cy)) return false;
    if (!r.nameOrOrdinal(menu, &out.hasMenu) || !r.nameOrOrdinal(cls) || !r.string(out.caption)) {
        return false;
    }
    if (out.style & DS_SETFONT) {
        uint16_t points = 0, weight = 0;
        uint8_t italic = 0, charset = 0;
        if (!r.u16(points) || !r.u16(weight) || !r.byte(italic) || !r.byte(charset) ||
            !r.string(out.font)) {
            return false;
        }
        out.pointSize = points;
    }
    for (uint16_t i = 0; i < count; ++i) {
        TemplateItem item;
        uint32_t id = 0;
        uint16_t extra = 0;
        r.alignTo4();
        if (!r.u32(help) || !r.u32(item.exStyle) || !r.u32(item.style)) return false;
        if (!r.s16(item.x) || !r.s16(item.y) || !r.s16(item.cx) || !r.s16(item.cy)) return false;
        if (!r.u32(id) || !r.nameOrOrdinal(item.cls) || !r.nameOrOrdinal(item.text)) return false;
        if (!r.u16(extra) || !r.skip(extra)) return false;
        item.id = static_cast<int32_t>(id);
        out.items.push_back(item);
    }
    return true;
}

namespace {

std::string loadResource(const std::string& exe, LPCSTR type, LPCSTR name, WORD language) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) return {};
    std::string bytes;
    if (HRSRC found = FindResourceExA(module, type, name, language)) {
        const DWORD size = SizeofResource(module, found);
        HGLOBAL loaded = LoadResource(module, found);
        const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
        if (data != nullptr) bytes.assign(static_cast<const char*>(data), size);
    }
    FreeLibrary(module);
    return bytes;
}

}  // namespace

bool loadDialogTemplate(const std::string& exe, int id, DialogTemplate& out) {
    const std::string bytes =
        loadResource(exe, reinterpret_cast<LPCSTR>(RT_DIALOG), MAKEINTRESOURCEA(id),
                     MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
    return !bytes.empty() &&
           parseDialogTemplate(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
}

std::string loadManifest(const std::string& exe) {
    return loadResource(exe, reinterpret_cast<LPCSTR>(RT_MANIFEST), MAKEINTRESOURCEA(1),
                        MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
}

}  // namespace driver
