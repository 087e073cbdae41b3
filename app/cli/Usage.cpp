#include "app/cli/Usage.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "app/Language.h"
#include "app/cli/BatchRun.h"
#include "common/Text.h"

namespace undelete {
namespace {

// Lines of --help are wrapped to this many cells.
constexpr int kHelpWidth = 79;

const char* const kSynopsis[] = {
    "undelete [DISK]",
    "undelete --partitions [--deep] [--json] [DISK]",
    "undelete --scan ROW [--deep] [--carve] [--check] [--json] [--match GLOB]\n"
    "         [--min-size BYTES] [-v] [DISK]",
    "undelete --scan disk --carve [--json] [--match GLOB] [--min-size BYTES] [DISK]",
    "undelete --scan ROW --save INDEX[,INDEX...] --output PATH|DIR|- [--force] [DISK]",
    "undelete --scan ROW --save-all --output DIR [--match GLOB] [--min-size BYTES] [--force]\n"
    "         [DISK]",
};

using Rows = std::vector<std::pair<std::string, const char*>>;

// One piece of a line: a word (narrow characters up to a blank) or a wide
// character; a line may break between pieces. A closing mark stays with
// what it closes.
struct Piece {
    std::string text;
    int width = 0;
    bool blankBefore = false;
    bool wide = false;
};

// Cells of the character at `text`, and its length in bytes (1 for a byte
// that is not UTF-8 under the process's UTF-8 character type).
#if defined(_WIN32)
// The C library of Windows knows no UTF-8 and no wcwidth: the help's wide
// characters are those of the East Asian scripts and their punctuation.
int cellsAt(const char* text, size_t left, size_t& bytes) {
    char32_t c = 0;
    bytes = std::max<size_t>(decodeUtf8(std::string(text, std::min<size_t>(left, 4)), 0, c), 1);
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}
#else
int cellsAt(const char* text, size_t left, size_t& bytes) {
    std::mbstate_t state{};
    wchar_t c = 0;
    const size_t n = std::mbrtowc(&c, text, left, &state);
    if (n == 0 || n > left) {
        bytes = 1;
        return 1;
    }
    bytes = n;
    const int width = ::wcwidth(c);
    return width < 0 ? 1 : width;
}
#endif

bool closingMark(const std::string& text) {
    if (text.size() == 1) return std::string(",.;:)]!?'\"").find(text[0]) != std::string::npos;
    for (const char* mark : {"，", "。", "、", "；", "：", "）", "」"}) {
        if (text == mark) return true;
    }
    return false;
}

std::vector<Piece> piecesOf(const std::string& line) {
    std::vector<Piece> pieces;
    bool blank = false;
    for (size_t at = 0; at < line.size();) {
        if (line[at] == ' ') {
            blank = true;
            ++at;
            continue;
        }
        size_t bytes = 1;
        const int width = cellsAt(line.data() + at, line.size() - at, bytes);
        const std::string text = line.substr(at, bytes);
        at += bytes;
        const bool wide = width > 1;
        const bool glued = !blank && !pieces.empty() &&
                           (closingMark(text) || (!wide && !pieces.back().wide));
        if (glued) {
            pieces.back().text += text;
            pieces.back().width += width;
        } else {
            pieces.push_back({text, width, blank, wide});
        }
        blank = false;
    }
    return pieces;
}

// `text` wrapped to `width` cells at blanks and between wide characters,
// every line after the first indented by `indent` blanks; a line feed in
// `text` starts a new line.
std::string wrapped(const std::string& text, int width, int indent) {
    const std::string pad(static_cast<size_t>(indent), ' ');
    std::string out;
    size_t start = 0;
    for (bool first = true;; first = false) {
        const size_t end = text.find('\n', start);
        const std::string line =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!first) out += "\n" + pad;
        int used = 0;
        for (const Piece& piece : piecesOf(line)) {
            if (used > 0 && used + (piece.blankBefore ? 1 : 0) + piece.width > width) {
                out += "\n" + pad;
                used = 0;
            } else if (used > 0 && piece.blankBefore) {
                out += ' ';
                ++used;
            }
            out += piece.text;
            used += piece.width;
        }
        if (end == std::string::npos) return out;
        start = end + 1;
    }
}

int cellsOf(const std::string& text) {
    int cells = 0;
    for (size_t at = 0; at < text.size();) {
        size_t bytes = 1;
        cells += cellsAt(text.data() + at, text.size() - at, bytes);
        at += bytes;
    }
    return cells;
}

// Two columns: each left text (as it is) then its description, wrapped
// beside it; a left text too wide for its column has the description on
// the next line.
std::string table(const Rows& rows, int indent, int column) {
    std::string out;
    for (const auto& [left, description] : rows) {
        std::string line = std::string(static_cast<size_t>(indent), ' ') + left;
        const int used = indent + cellsOf(left);
        if (used + 2 > column) {
            line += "\n" + std::string(static_cast<size_t>(column), ' ');
        } else {
            line += std::string(static_cast<size_t>(column - used), ' ');
        }
        out += line + wrapped(tr(description), kHelpWidth - column, column) + "\n";
    }
    return out;
}

std::string paragraph(const char* text) {
    return wrapped(tr(text), kHelpWidth, 0) + "\n";
}

std::string usageSection() {
    std::string out = std::string(tr("用法:")) + "\n";
    for (const char* line : kSynopsis) {
        std::string text = line;
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
            text.insert(at + 1, "  ");
        out += "  " + text + "\n";
    }
    return out;
}

std::string readsSection() {
    const Rows rows = {
        {tr("文件系统"), "FAT12、FAT16、FAT32、exFAT、NTFS"},
        {tr("分区表"), "主引导记录 (和扩展分区中的逻辑分区)、GUID 分区表 (GPT)，或没有分区表的单个卷 "
                       "(软盘、U 盘)"},
        {tr("磁盘"), "块设备 (如 /dev/sdb，读取需要 root)，或整个磁盘的映像文件: 原始映像，或 E01 "
                     "(EnCase)、VHD、VHDX、VMDK、QCOW2 格式的映像 (按文件内容识别，不看文件名)"},
    };
    int column = 0;
    for (const auto& row : rows) column = std::max(column, cellsOf(row.first));
    return std::string(tr("读取:")) + "\n" + table(rows, 2, 2 + column + 2);
}

std::string optionsSection() {
    static const Rows rows = {
        {"DISK", "磁盘设备或磁盘映像文件 (见上)；不给出时: 本机的第一个磁盘"},
        {"--partitions", "列出磁盘的分区行"},
        {"--scan ROW", "扫描分区行 ROW (--partitions 的 row 列)，列出其中已删除的文件"},
        {"--deep", "与 --partitions 一起: 也按引导扇区和备份在整个磁盘上搜索分区表没有列出的卷 (列在"
                   "分区表的行之后，按同样的行号扫描)；与 --scan 一起: 深度扫描，在 FAT12、FAT16、FAT32 "
                   "和 exFAT 分区上也读取空闲簇，找出没有活动文件夹再指向的文件夹 (已删除文件夹的其余簇，"
                   "格式化前的整个文件夹树) 及其中的文件，不论是否已删除 (重建的文件夹列在 /$Orphan/ 下，"
                   "名称已丢失的文件夹为 $Folder 加其簇号)"
                   "；在 NTFS 分区上也在空闲簇和主文件表未用的尾部中查找表外的主文件表记录 (如快速格式化前的文件)，列在重建的路径下"},
        {"--carve", "与 --scan 一起: 也按内容查找没有目录项描述的文件 (照片、影片、音乐、文档、压缩包等，"
                    "从开头的结构认出，到结构所示的末尾为止): 读取卷的空闲簇，文件系统不认识时读取整个"
                    "分区行；找到的文件列在 /$Carved/<种类>/ 下，以其所在扇区号命名；与列出的文件在同一"
                    "位置开始的只列出一次，用目录项的名称"},
        {"--scan disk", "与 --carve 一起: 按内容查找整个磁盘上的文件 (分区表和卷都已不在的磁盘)"},
        {"--check", "与 --scan 一起: 对每个列出的文件，按其扩展名检查内容是否是该种类的文件，在行末加 "
                    "content 列: match、mismatch (多半是第一个簇已被重用；仍可保存) 或 unknown"},
        {"--json", "以 JSON Lines 输出，而不是以制表符分隔的行"},
        {"--match GLOB", "只列出名称与这个 shell 模式匹配的文件"},
        {"--min-size BYTES", "只列出至少有这么多字节的文件"},
        {"-v, --verbose", "也输出提示信息"},
        {"--save INDEX[,INDEX...]", "保存 index 列为这些值的已删除文件"},
        {"--save-all", "保存列出的每个已删除文件 (经 --match、--min-size 筛选后)"},
        {"--output PATH|DIR|-", "保存到哪里: 一个文件 (只有一个 INDEX 时)；一个文件夹，每个文件按其名称和"
                                "文件夹路径放在其中，从不替换已有的文件 (改加 \" (1)\")，以 / 结尾的路径总是"
                                "文件夹，不存在时创建；- 为标准输出"},
        {"--force", "让 --save INDEX --output PATH 替换已有的文件，并允许保存到正在恢复的磁盘上"},
        {"-h, --help", "显示这个帮助并退出"},
        {"--version", "显示版本并退出"},
    };
    return std::string(tr("选项:")) + "\n" + table(rows, 2, 26);
}

std::string outputSection() {
    static const Rows rows = {
        {"--partitions", "row filesystem type start_cylinder start_head start_sector end_cylinder "
                         "end_head end_sector capacity active start sectors bytes sector_size origin "
                         "(start、sectors 以磁盘上 sector_size 字节的扇区计；bytes 为准确的字节数；"
                         "origin 为 table，或 --deep 搜索找到的卷为 found)"},
        {"--scan ROW", "row index name time size bytes created path state origin deleted (time、size "
                       "与对话框中的相同；bytes 为准确的字节数；created 为 ISO 8601 UTC 时间；文件系统不知道时 "
                       "path 为空、state 为 unknown；origin 说明文件在哪里找到: table 从卷的活动文件夹或文件"
                       "表，orphan 在没有活动文件夹指向的文件夹中，search 为在文件表之外找到的 NTFS 记录，"
                       "carved 按内容识别；deleted 为回收站记录的删除时间 (ISO 8601 UTC)，没有时为空)；--check 时行末还有 content"},
        {"--json", "同样的内容，以 JSON Lines 输出，每行一个对象；不是 UTF-8 的字节变为 U+FFFD"},
    };
    return paragraph("输出: 标准输出上每行一个分区或文件，字段以制表符分隔，第一行是列名 (固定的英文词)。"
                     "字段经过转义，一行总是一行，控制字节不会到达终端: \\t \\n \\r \\\\，其他控制字节和"
                     "不是 UTF-8 的字节写为 \\xNN。") +
           table(rows, 2, 16) +
           paragraph("消息和错误以用户的语言写到标准错误；进度只在标准错误是终端时显示。");
}

}  // namespace

std::string helpText() {
    return usageSection() + "\n" +
           paragraph("列出磁盘的分区，在其中的 FAT12、FAT16、FAT32、exFAT 和 NTFS 分区上查找已删除的文件，"
                     "并保存选中的文件。磁盘只被读取，从不写入。不带 --partitions 或 --scan 时在终端中打开"
                     "对话框 (按 ? 查看按键)。") +
           "\n" + readsSection() + "\n" + optionsSection() + "\n" + outputSection() + "\n" +
           paragraph("退出状态: 0 成功；1 失败 (也包括读取磁盘时有读取失败的扫描，和有无法读取、写为零的"
                     "字节的保存)；2 用法错误。") +
           "\n" +
           paragraph("分区表从不被改写: 要取回找到的卷上的文件，用 --scan ROW --deep 扫描它并保存文件。") +
           "\n" +
           paragraph("磁盘以只读方式打开，从不写入；文件从不保存到正在读取的磁盘上，未加 --force 时也不"
                     "保存到其上的文件系统中。保存的文件只有完整时才以其名称出现: 它先写为旁边的 "
                     ".NAME.undelete-partial，中断的保存会删除它 (被杀死的保存会留下它)。");
}

int endWithUsageHint() {
    std::fprintf(stderr, "%s\n", tr("运行 undelete --help 查看用法。"));
    return kExitUsage;
}

void reportParseError(const CLI::App& app, const CLI::ParseError& error) {
    const std::string what = error.what();
    // The option a message of the parser begins with ("--scan: ...").
    const size_t colon = what.find(':');
    const std::string option = colon != std::string::npos && what.rfind("-", 0) == 0
                                   ? what.substr(0, colon)
                                   : std::string();
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
        std::string extras;
        for (const std::string& argument : app.remaining()) {
            extras += (extras.empty() ? "" : " ") + argument;
        }
        printError("未知的选项或多余的参数：%s", extras.c_str());
    } else if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && !option.empty()) {
        if (what.find("At Most") != std::string::npos) {
            printError("%s 只能给出一次", option.c_str());
        } else {
            printError("%s 缺少它的值", option.c_str());
        }
    } else if (dynamic_cast<const CLI::ConversionError*>(&error) != nullptr) {
        printError("选项不接受这个值：%s", what.substr(colon == std::string::npos ? 0 : colon + 2)
                                                 .c_str());
    } else {
        // Whatever else the parser may say, in its own words.
        printError("命令行有误：%s", what.c_str());
    }
}

}  // namespace undelete
