#include "app/terminal/KeyHints.h"

#include <vector>

#include "app/Language.h"
#include "app/terminal/TextCells.h"

namespace undelete::terminal {
namespace {

const char* const kSeparator = "   ";
const char* const kHelpHint = "? 帮助";
const char* const kCloseHint = "F10 关闭";

std::vector<const char*> shortHints(ControlId focus) {
    switch (focus) {
    case kPartitionList:
        return {"Enter 扫描", "D 深度扫描", "C 按内容查找", "Tab 切换", "方向键 移动", "F 搜索分区"};
    case kFileList: return {"空格 选择", "/ 筛选", "n p s z t d 排序", "Tab 切换"};
    case kSaveButton: return {"Enter 保存所选文件", "Tab 切换"};
    default: return {"Enter 按下按钮", "Tab 切换"};
    }
}

// The whole hints: one catalogue text a part, its hints separated by three
// blanks.
std::vector<const char*> wholeHints(ControlId focus) {
    switch (focus) {
    case kPartitionList:
        return {"Enter 扫描所选分区   Tab 切换   方向键 移动   F10 关闭", "D 深度扫描（也读空闲簇）",
                "C 按内容查找文件 (没有目录项的文件；没有分区行时查找整个磁盘)",
                "F 搜索分区表以外的分区"};
    case kFileList:
        return {"空格 选择/取消   / 按名称筛选   排序: n 名称 p 路径 s 状态 z 大小 t 时间 d 删除时间 o 原顺序 "
                "(再按一次反向)   保存: 所选文件，未选择时光标所在行   F10 关闭",
                "Shift+方向键 连续选择   Ctrl+点击 选择/取消一行   左/右 滚动列"};
    case kSaveButton: return {"Enter 保存所选文件 (未选择时保存光标所在行)   Tab 切换   F10 关闭"};
    default: return {"Tab 切换   方向键 移动   空格 选择   Enter 按下按钮   F10 关闭"};
    }
}

}  // namespace

std::string hintLine(ControlId focus, int width) {
    const std::string tail = std::string(tr(kHelpHint)) + kSeparator + tr(kCloseHint);
    const int separator = displayWidth(kSeparator);
    int left = width - displayWidth(tail);
    std::string line;
    for (const char* hint : shortHints(focus)) {
        const std::string text = tr(hint);
        const int cells = displayWidth(text) + separator;
        if (cells > left) continue;
        line += text + kSeparator;
        left -= cells;
    }
    return line + tail;
}

std::string keyHelp(ControlId focus) {
    std::string help;
    for (const char* whole : wholeHints(focus)) {
        std::string text = tr(whole);
        for (size_t at = text.find(kSeparator); at != std::string::npos;
             at = text.find(kSeparator, at)) {
            text.replace(at, 3, "\n");
        }
        help += (help.empty() ? "" : "\n") + text;
    }
    return help;
}

}  // namespace undelete::terminal
