#include "app/FaceTexts.h"

namespace undelete {

const char* const kScanCaption = "扫描";
const char* const kStopCaption = "停止";
const char* const kUnsupportedMessage = "不支持的分区";
const char* const kSaveFailedMessage = "保存失败";
const char* const kScanStoppedMessage = "扫描已停止：只列出了停止前找到的文件";
const char* const kOnScannedDiskQuestion =
    "保存位置在正在恢复的磁盘上：写入可能覆盖尚未保存的已删除文件。仍要保存吗？";
const char* const kReadFailuresFormat = "读取失败 %llu 次，第一次在字节 %llu";
const char* const kFileColumnHeaders[4] = {"序号", "文件名", "创建时间", "大小"};
const int kFileColumnWidths[4] = {40, 200, 120, 60};

}  // namespace undelete
