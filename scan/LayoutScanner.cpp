#include "scan/LayoutScanner.h"

#include <new>

#include "scan/ContentReader.h"

namespace undelete {

const char kFolderOutsideVolumeMessage[] = "有文件夹的簇位于卷外，其中的文件未列出";

LayoutScanner::LayoutScanner(const ScanContext& context)
    : drive_(context.openDrive, context.showMessage, context.readFailed),
      messages_(context.showMessage),
      toldIncomplete_(context.toldIncomplete),
      stopRequested_(context.stopRequested),
      deep_(context.deepScan),
      passProgress_(context.showPassProgress) {}

bool LayoutScanner::stopped() {
    if (!cutShort_ && stopRequested_ && stopRequested_()) cutShort_ = true;
    return cutShort_;
}

void LayoutScanner::tellOutside() {
    if (toldOutside_) return;
    toldOutside_ = true;
    if (toldIncomplete_) toldIncomplete_(kFolderOutsideVolumeMessage);
}

bool LayoutScanner::readContent(uint32_t index, ContentSink& sink) {
    try {
        FileLayout where;
        if (!layout(index, where)) return false;
        ContentReader reader(drive_, bounds_, messages_);
        return reader.read(where, sink);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace undelete
