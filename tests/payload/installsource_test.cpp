#include "payload/installsource.h"

#include "msgbox.h"
#include "payloadkit.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char Script[] = "[Project Name]\r\nSource Test\r\n";
const ShownBox CorruptedBox {L"Setup", CorruptedInstallMessage, OkButton, BoxIcon::Error};

class InstallSourceTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(TempLeftovers(), std::vector<std::wstring>()); }

    std::wstring CarrierPath() const { return scratch / L"carrier.exe"; }

    ScratchFolder scratch;
};

TEST_F(InstallSourceTest, PayloadWithoutBitmapOrTermsUnpacksOnlyTheScript)
{
    Bytes bytes = MakeArchive({{"Setup.dat", Script}, {"app.exe", "program bytes"}});
    PayloadModule module(CarrierPath(), &bytes);
    BoxAnswerer user({});
    InstallSource source;
    bool failed = true;
    source.Prepare(failed, module.Handle());

    EXPECT_FALSE(failed);
    EXPECT_EQ(source.hasTerms, 0);
    ASSERT_TRUE(source.archive);
    EXPECT_EQ(source.archive->ItemCount(), 2);
    std::wstring folder = source.TempFolderPath().Text();
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_EQ(folder.rfind(TempFolder() + L"ZTO", 0), 0u) << Narrow(folder);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::wstring> {L"setup.dat"});
    EXPECT_EQ(ReadBytes(folder + L"setup.dat"), Script);

    source.Release();
    EXPECT_FALSE(FolderExists(folder));
    EXPECT_FALSE(source.archive);
    EXPECT_FALSE(source.tempFolder);
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>());
}

TEST_F(InstallSourceTest, TermsAndBitmapAreUnpackedUnderLowerCaseNames)
{
    Bytes bytes = MakeArchive({{"setup.dat", Script}, {"Setup.LIC", "Terms of use"}, {"SETUP.BMP", "BM bitmap"}});
    PayloadModule module(CarrierPath(), &bytes);
    BoxAnswerer user({});
    InstallSource source;
    bool failed = true;
    source.Prepare(failed, module.Handle());

    EXPECT_FALSE(failed);
    EXPECT_EQ(source.hasTerms, 1);
    std::wstring folder = source.TempFolderPath().Text();
    EXPECT_EQ(FolderEntries(folder), (std::vector<std::wstring> {L"setup.bmp", L"setup.dat", L"setup.lic"}));
    EXPECT_EQ(ReadBytes(folder + L"setup.lic"), "Terms of use");
    EXPECT_EQ(ReadBytes(folder + L"setup.bmp"), "BM bitmap");

    source.Release();
    EXPECT_FALSE(FolderExists(folder));
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>());
}

enum class Box { Corrupted, Unreadable };

struct Failure {
    const char* name;
    std::vector<TestItem> items;
    void (*damage)(Bytes& bytes);
    bool failed;
    uint8_t hasTerms;
    std::vector<std::wstring> files;
    std::vector<Box> boxes;
};

TEST_F(InstallSourceTest, DamagedSetupFilesAreReportedAsACorruptedInstallation)
{
    const std::vector<TestItem> withTerms = {{"setup.dat", Script}, {"setup.lic", "Terms"}};
    const Failure failures[] = {
        {"no setup.dat", {{"setup.lic", "Terms"}, {"app.exe", "x"}}, [](Bytes&) {}, true, 1, {L"setup.lic"},
            {Box::Corrupted}},
        {"file checksum wrong", withTerms, [](Bytes& b) { b[3] ^= 0x01; }, true, 0, {}, {Box::Corrupted, Box::Corrupted}},
        {"setup.dat stream damaged",
            withTerms,
            [](Bytes& b) {
                b[EntryNamed(b, "setup.dat").offset + 14] ^= 0x01;
                ResealTrailer(b);
            },
            true, 1, {L"setup.lic"}, {Box::Corrupted}},
        {"setup.dat of unknown size",
            withTerms,
            [](Bytes& b) {
                EntryView entry = EntryNamed(b, "setup.dat");
                PutU32(b, entry.offset + 5, 0xFFFFFFFF);
                ResealEntry(b, entry.at);
                ResealTrailer(b);
            },
            true, 1, {L"setup.lic"}, {Box::Unreadable, Box::Corrupted}},
        {"setup.lic damaged",
            withTerms,
            [](Bytes& b) {
                b[EntryNamed(b, "setup.lic").offset + 14] ^= 0x01;
                ResealTrailer(b);
            },
            false, 1, {L"setup.dat"}, {}},
    };
    for (const Failure& f : failures) {
        Bytes bytes = MakeArchive(f.items);
        f.damage(bytes);
        PayloadModule module(CarrierPath(), &bytes);
        BoxAnswerer user(std::vector<BoxReply>(f.boxes.size(), Press(IDOK)));
        InstallSource source;
        bool failed = !f.failed;
        source.Prepare(failed, module.Handle());
        std::vector<ShownBox> shown = user.Finish();

        EXPECT_EQ(failed, f.failed) << f.name;
        EXPECT_EQ(source.hasTerms, f.hasTerms) << f.name;
        EXPECT_EQ(FolderEntries(source.TempFolderPath().Text()), f.files) << f.name;
        ASSERT_EQ(shown.size(), f.boxes.size()) << f.name;
        for (size_t i = 0; i < shown.size(); ++i) {
            if (f.boxes[i] == Box::Corrupted) {
                EXPECT_EQ(shown[i], CorruptedBox) << f.name;
            } else {
                std::wstring lead = L"Error whilst uncompressing '" + std::wstring(source.TempFolderPath().Text())
                    + L"setup.dat', unable to read '";
                EXPECT_EQ(shown[i].text.compare(0, lead.size(), lead), 0) << f.name << ": " << Narrow(shown[i].text);
            }
        }
        source.Release();
        EXPECT_EQ(TempLeftovers(), std::vector<std::wstring>()) << f.name;
    }
}

} // namespace
