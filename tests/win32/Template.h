// Reads dialog template 101 out of the executable's resources, so that its
// styles, positions and sizes (dialog units, which a running dialog no
// longer shows) can be compared with what the dialog must be.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

struct TemplateItem {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    int32_t id = 0;
    std::wstring cls;   // predefined classes by name ("Button", "Static")
    std::wstring text;
};

struct DialogTemplate {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    bool hasMenu = false;
    std::wstring caption;
    int pointSize = 0;
    std::wstring font;
    std::vector<TemplateItem> items;
};

// Parses an extended dialog template; false on any malformed or cut field.
bool parseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate& out);

// Loads dialog `id` (Chinese, PRC) and the manifest from `exe`.
bool loadDialogTemplate(const std::string& exe, int id, DialogTemplate& out);
std::string loadManifest(const std::string& exe);

}  // namespace driver
