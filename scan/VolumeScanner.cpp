#include "scan/VolumeScanner.h"

#include <new>

#include "scan/ScanContext.h"

namespace undelete {

const char kFolderOutsideVolumeMessage[] = "有文件夹的簇位于卷外，其中的文件未列出";

bool readWholeContent(VolumeScanner& scanner, uint32_t index, std::vector<uint8_t>& data) {
    BufferSink sink(data);
    bool ok = false;
    try {
        ok = scanner.readContent(index, sink);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) data.clear();
    return ok;
}

}  // namespace undelete
