// The words the faces share: the scan switch's captions, the messages
// about a scan and a save, the file list's columns.
#pragma once

namespace undelete {

extern const char* const kScanCaption;        // "扫描"
extern const char* const kStopCaption;        // "停止"
extern const char* const kUnsupportedMessage;  // "不支持的分区"
extern const char* const kSaveFailedMessage;   // "保存失败"
// Said when a stop ended a scan: the list holds what it had found by then.
extern const char* const kScanStoppedMessage;
// Asked before a save into a folder on the disk being recovered.
extern const char* const kOnScannedDiskQuestion;
// printf format of the one summary of a scan's failed reads: their count
// and the byte position of the first.
extern const char* const kReadFailuresFormat;
extern const char* const kFileColumnHeaders[4];
extern const int kFileColumnWidths[4];  // pixels in the dialog

}  // namespace undelete
