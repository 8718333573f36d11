// Drum kits packed as archives: unpacked into a folder of their own, read
// as kits, gone afterwards; entries leaving the folder and links passed over.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/audio_fixture.h"
#include "common/song_fixture.h"
#include "common/test_support.h"
#include "import/drum_kit.h"
#include "import/kit_archive.h"
#include "support/app_error.h"

TEST(KitArchive, APackedKitUnpacksReadsAsAKitAndIsGoneAfterwards) {
    TempDir dir;
    std::filesystem::create_directories(dir / "src/Tiny");
    WriteText(dir / "src/Tiny/drumkit.xml",
              "<drumkit_info><name>Tiny</name><instrumentList><instrument><name>Kick</name>"
              "<midiOutNote>36</midiOutNote><layer><filename>kick.wav</filename></layer>"
              "</instrument></instrumentList></drumkit_info>");
    WriteText(dir / "src/Tiny/kick.wav", CanonicalWav(2, 100));
    ASSERT_EQ(RunCommand("tar czf " + (dir / "Tiny.h2drumkit") + " -C " + (dir / "src") + " Tiny"),
              0);
    EXPECT_TRUE(IsKitArchivePath(dir / "Tiny.H2DRUMKIT"));
    EXPECT_FALSE(IsKitArchivePath(dir / "Tiny.xml"));

    std::string folder;
    {
        const auto kit = KitArchive::Unpack(dir / "Tiny.h2drumkit");
        const DrumKit read = ReadDrumKit(kit->Description());
        ASSERT_EQ(read.instruments.size(), 1u);
        EXPECT_EQ(read.name, "Tiny");
        EXPECT_EQ(ReadText(read.instruments[0].sample), CanonicalWav(2, 100));
        folder = std::filesystem::path(kit->Description()).parent_path().parent_path();
        EXPECT_TRUE(kit->Skipped().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(KitArchive, EntriesLeavingTheFolderAndLinksArePassedOverAndNonArchivesRefused) {
    TempDir dir;
    std::filesystem::create_directories(dir / "w/Kit");
    WriteText(dir / "w/Kit/drumkit.xml", "<drumkit_info><name>K</name></drumkit_info>");
    WriteText(dir / "w/escape.wav", "outside");
    std::filesystem::create_symlink("/etc/passwd", dir / "w/Kit/link.wav");
    // Names kept as given (-P): one climbs out of the folder it is unpacked in.
    ASSERT_EQ(RunCommand("cd " + (dir / "w") + " && tar cPf " + (dir / "bad.h2drumkit") +
                         " Kit/drumkit.xml Kit/link.wav Kit/../../w/escape.wav"),
              0);
    const auto kit = KitArchive::Unpack(dir / "bad.h2drumkit");
    EXPECT_EQ(kit->Skipped(), (std::vector<std::string>{"Kit/link.wav", "Kit/../../w/escape.wav"}));
    const std::filesystem::path unpacked = std::filesystem::path(kit->Description()).parent_path();
    EXPECT_FALSE(std::filesystem::exists(unpacked / "link.wav"));
    EXPECT_FALSE(std::filesystem::exists(unpacked.parent_path().parent_path() / "w/escape.wav"));

    WriteText(dir / "plain.h2drumkit", "not an archive at all");
    EXPECT_EQ(ErrorOf([&] { KitArchive::Unpack(dir / "plain.h2drumkit"); }), kErrInvalidFileFormat);
    ASSERT_EQ(
        RunCommand("tar czf " + (dir / "empty.h2drumkit") + " -C " + (dir / "w") + " escape.wav"),
        0);
    EXPECT_EQ(ErrorOf([&] { KitArchive::Unpack(dir / "empty.h2drumkit"); }), kErrInvalidFileFormat);
    EXPECT_EQ(ErrorOf([&] { KitArchive::Unpack(dir / "none.h2drumkit"); }), kErrFileNotFound);
}
