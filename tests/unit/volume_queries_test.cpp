#include "engine/VolumeQueries.h"
#include "support/EngineFixture.h"

#include <string>
#include <vector>

namespace brimble::test {
namespace {

using VolumeQueries = EngineFixture;

TEST_F(VolumeQueries, DriveOkByTypeFileSystemAndClusterSize) {
    struct Case {
        DriveType type;
        const char* fileSystem;
        uint32_t clusterSize;
        bool withRemovable; // the answer with AllowRemovable true
        bool withoutRemovable;
    };
    const Case cases[] = {
        {DriveType::Fixed, "NTFS", 4096, true, true},
        {DriveType::Fixed, "NTFS", 512, true, true},
        {DriveType::Fixed, "NTFS", 8192, false, false},
        {DriveType::Fixed, "FAT32", 4096, false, false},
        {DriveType::Fixed, "exFAT", 4096, false, false},
        {DriveType::Fixed, "ntfs", 4096, false, false}, // the sim's check is case-sensitive
        {DriveType::Removable, "NTFS", 4096, true, false},
        {DriveType::Removable, "FAT32", 4096, false, false},
        {DriveType::RamDisk, "NTFS", 4096, true, true},
        {DriveType::Remote, "NTFS", 4096, false, false},
        {DriveType::CDRom, "NTFS", 4096, false, false},
        {DriveType::Unknown, "NTFS", 4096, false, false},
    };
    TfrmBrimblemain& main = Engine();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fileSystem) + " type " +
                     std::to_string(static_cast<int>(c.type)) + " cluster " +
                     std::to_string(c.clusterSize));
        sim.AddVolume("D:\\", c.type, c.fileSystem, c.clusterSize);
        for (const char* name : {"D:", "D:\\", "d:"}) {
            EXPECT_EQ(main.DriveOk(name, true), c.withRemovable) << name;
            EXPECT_EQ(main.DriveOk(name, false), c.withoutRemovable) << name;
        }
        sim.RemoveVolume("D:\\");
    }
}

TEST_F(VolumeQueries, UnreadableVolumesAndMissingDrives) {
    TfrmBrimblemain& main = Engine();
    EXPECT_FALSE(main.DriveOk("Q:", true)); // no such drive
    EXPECT_FALSE(main.DriveOk("", true));

    sim.AddVolume("E:\\", DriveType::Removable, "NTFS", 4096, "Stick");
    sim.SetVolumeNotReady("E:\\", true);
    EXPECT_FALSE(main.DriveOk("E:\\", true));
    EXPECT_EQ(GetVolumeLabel(sim, "E:\\"), "");
    EXPECT_FALSE(IsNTFS(sim, "E:\\"));

    sim.SetVolumeNotReady("E:\\", false);
    EXPECT_EQ(GetVolumeLabel(sim, "E:\\"), "Stick");
    EXPECT_TRUE(IsNTFS(sim, "E:\\"));
    EXPECT_TRUE(main.DriveOk("E:\\", true));
}

TEST_F(VolumeQueries, ClusterSizeIs4096WhenItCannotBeRead) {
    sim.AddVolume("F:\\", DriveType::Fixed, "NTFS", 65536);
    EXPECT_EQ(GetClusterSize(sim, "F:\\"), 65536u);
    EXPECT_FALSE(Engine().DriveOk("F:", true));
    sim.SetClusterQueryFails("F:\\", true);
    EXPECT_EQ(GetClusterSize(sim, "F:\\"), 4096u);
    EXPECT_TRUE(Engine().DriveOk("F:", true)); // counts as 4096 and qualifies
    EXPECT_EQ(GetClusterSize(sim, "Z:\\"), 4096u);
}

TEST_F(VolumeQueries, DriveLettersInTheirOrderReplaceTheList) {
    sim.AddVolume("D:\\", DriveType::CDRom, "CDFS");
    sim.AddVolume("A:\\", DriveType::Removable, "FAT12", 512);
    std::vector<std::string> list{"old"};
    GetDriveLetters(sim, list);
    EXPECT_EQ(list, (std::vector<std::string>{"A:\\", "C:\\", "D:\\"}));

    sim::SimPlatform empty;
    GetDriveLetters(empty, list);
    EXPECT_TRUE(list.empty());
}

} // namespace
} // namespace brimble::test
