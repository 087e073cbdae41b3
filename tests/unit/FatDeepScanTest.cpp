// The deep scan on a hand-built FAT32 volume: a deleted folder's first
// cluster is reached from the tree, a later cluster of it only by the pass
// over free clusters; read through the drive's windows or copied, each
// deleted file comes once, the orphan under /$Orphan/ with its content.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Text.h"
#include "fat/FatScanner.h"
#include "unit/Fat32TestImage.h"
#include "support/WholeContent.h"

using namespace undelete;
using namespace undelete::test;

namespace {

std::vector<std::string> listing(Fat32Volume& volume, MessageCapture& messages, bool deep) {
    ScanContext context = scanContext(volume.disk(), messages);
    context.deepScan = deep;
    FatScanner scanner(context);
    EXPECT_TRUE(scanner.open(&volume.record));
    std::vector<std::string> all;
    DeletedFile file;
    for (uint32_t i = 0; scanner.hasItem(i); ++i) {
        EXPECT_TRUE(scanner.describe(i, file));
        all.push_back(file.path + file.name);
        if (file.name != "Beach.jpg") continue;
        std::vector<uint8_t> content;
        EXPECT_TRUE(readWholeContent(scanner, i, content));
        EXPECT_EQ(content, std::vector<uint8_t>(200, 40));
    }
    return all;
}

TEST(FatDeepScan, FindsAFolderClusterNothingLinksToOnceWithOrWithoutWindows) {
    ASSERT_TRUE(initProcessLocale());
    Fat32Volume volume;
    volume.put(2, Directory().add(deletedNamedFile(u"Album", "ALBUM      ", 10, 0, 0x10)));
    volume.setFat(2, 0x0FFFFFFF);
    volume.put(10, Directory().add(dotEntries(10, 0)).add(deletedFile("XIRST   TXT", 20, 100)));
    // The folder's later cluster, no longer linked: only the pass finds it.
    volume.put(30, Directory().add(deletedNamedFile(u"Beach.jpg", "BEACH   JPG", 40, 200)));
    std::memset(volume.cluster(20), 20, 512);
    std::memset(volume.cluster(40), 40, 512);
    std::memset(volume.cluster(50), 'x', 512);  // file data: no entries
    MessageCapture messages;

    EXPECT_EQ(listing(volume, messages, false), (std::vector<std::string>{"/Album/#IRST.TXT"}));
    const std::vector<std::string> deep = {"/Album/#IRST.TXT", "/$Orphan/Beach.jpg"};
    EXPECT_EQ(listing(volume, messages, true), deep);
    volume.disk().image().offersViews = true;
    EXPECT_EQ(listing(volume, messages, true), deep);
    EXPECT_GT(volume.disk().image().views.load(), 0);
}

}  // namespace
