#include "payload/payloadarchive.h"

#include "msgbox.h"
#include "payloadkit.h"
#include "process.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <random>
#include <string>
#include <vector>

namespace {

const ShownBox CorruptedBox {L"Setup", CorruptedInstallMessage, OkButton, BoxIcon::Error};

std::string RandomBytes(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator());
    return bytes;
}

std::string Text(size_t size)
{
    std::string text;
    for (int line = 0; text.size() < size; ++line)
        text += "Line " + std::to_string(line) + ": the quick brown fox jumps over the lazy dog.\r\n";
    text.resize(size);
    return text;
}

// Like program data: runs of text, tables of small numbers and noise.
std::string Mixed(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes;
    while (bytes.size() < size) {
        switch (generator() % 3) {
        case 0:
            bytes += Text(1 + generator() % 4096);
            break;
        case 1:
            for (uint32_t i = generator() % 4096; i > 0; --i)
                bytes += static_cast<char>(generator() % 16);
            break;
        default:
            bytes += RandomBytes(1 + generator() % 1024, generator());
            break;
        }
    }
    bytes.resize(size);
    return bytes;
}

// "Error whilst uncompressing '<destination>', unable to read '<raw copy>'",
// where the raw copy is an "Ext" temporary file.
bool IsUnreadableMessage(const std::wstring& text, const std::wstring& destination)
{
    std::wstring lead = L"Error whilst uncompressing '" + destination + L"', unable to read '" + TempFolder() + L"Ext";
    std::wstring tail = L".tmp'";
    if (text.size() <= lead.size() + tail.size() || text.compare(0, lead.size(), lead) != 0
        || text.compare(text.size() - tail.size(), tail.size(), tail) != 0)
        return false;
    std::wstring digits = text.substr(lead.size(), text.size() - lead.size() - tail.size());
    for (wchar_t c : digits) {
        if (!std::iswxdigit(c))
            return false;
    }
    return digits.size() <= 4;
}

class PayloadArchiveTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(TempLeftovers(), std::vector<std::wstring>()); }

    std::wstring CarrierPath() const { return scratch / L"carrier.exe"; }

    ScratchFolder scratch;
};

TEST_F(PayloadArchiveTest, ItemsComeOutByteForByte)
{
    const std::vector<TestItem> items = {
        {"setup.dat", "[Project Name]\r\nRound Trip\r\n"},
        {"empty.txt", ""},
        {"empty-coded.txt", "", true},
        {"one.bin", "\x7f"},
        {"readme.txt", Text(200000)},
        {"noise.bin", RandomBytes(65536, 7)},
        {"large.bin", Mixed(2500000, 11)},
        {"sub\\tool.exe", Mixed(30000, 13)},
    };
    Bytes bytes = MakeArchive(items);
    PayloadModule module(CarrierPath(), &bytes);
    BoxAnswerer user({});
    {
        PayloadArchive archive(module.Handle());
        ASSERT_EQ(archive.ItemCount(), static_cast<int>(items.size()));
        EXPECT_STREQ(archive.ItemName(archive.ItemCount()).Text(), L"");
        EXPECT_STREQ(archive.ItemName(-1).Text(), L"");
        for (size_t i = 0; i < items.size(); ++i) {
            const TestItem& item = items[i];
            EXPECT_EQ(archive.ItemName(static_cast<int>(i)).Text(), Wide(item.name)) << "item " << i;
            ArchiveEntry entry;
            ASSERT_TRUE(archive.FindItem(Wide(item.name).c_str(), &entry)) << item.name;
            EXPECT_EQ(entry.uncompressedSize, item.content.size()) << item.name;
            EXPECT_STREQ(entry.name, item.name.c_str());
            std::wstring destination = scratch / L"out.bin";
            ASSERT_TRUE(archive.ExtractItem(Wide(item.name).c_str(), destination.c_str())) << item.name;
            EXPECT_TRUE(ReadBytes(destination) == item.content) << "the unpacked bytes of " << item.name << " differ";
            DeleteFileW(destination.c_str());
        }
        ArchiveEntry missing;
        std::memset(&missing, 0xAB, sizeof missing);
        EXPECT_FALSE(archive.FindItem(L"tool.exe", &missing));
        EXPECT_EQ(missing.compressedSize, 0u) << "the entry is zeroed even when nothing is found";
        EXPECT_FALSE(archive.ExtractItem(L"absent.txt", (scratch / L"absent.txt").c_str()));
        EXPECT_FALSE(FileExists(scratch / L"absent.txt"));
    }
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>());
}

// The installer may run with administrator rights on a copy in the user's
// temporary folder: once verified, the copy must stay as it was, whatever
// another program of the user's tries, for as long as the archive is open.
TEST_F(PayloadArchiveTest, ArchiveCopyCanBeReadButNotChangedByOthersWhileOpen)
{
    const std::string script = "[Project Name]\r\nTrusted\r\n";
    Bytes bytes = MakeArchive({{"setup.dat", script}});
    PayloadModule module(CarrierPath(), &bytes);
    PayloadArchive archive(module.Handle());
    std::vector<std::wstring> copies = TempLeftovers();
    ASSERT_EQ(copies.size(), 1u) << "one archive copy expected in the temporary folder";

    ChildProcess attacker(ProgramFolder() + L"tamper.exe", Quoted(TempFolder() + copies[0]));
    ASSERT_TRUE(attacker.Started());
    const DWORD succeeded = attacker.ExitCode(60000);
    EXPECT_EQ(succeeded & 8, 0u) << "others can no longer read the copy";
    EXPECT_EQ(succeeded & 1, 0u) << "another program wrote into the copy";
    EXPECT_EQ(succeeded & 2, 0u) << "another program deleted the copy";
    EXPECT_EQ(succeeded & 4, 0u) << "another program renamed the copy";

    std::wstring destination = scratch / L"setup.dat";
    ASSERT_TRUE(archive.ExtractItem(L"setup.dat", destination.c_str()));
    EXPECT_EQ(ReadBytes(destination), script);
}

TEST_F(PayloadArchiveTest, LookupsIgnoreCaseAndFindTheFirstOfSameNamedItems)
{
    Bytes bytes = MakeArchive({{"Setup.dat", "script"}, {"Readme.txt", "first"}, {"README.TXT", "second one"}});
    PayloadModule module(CarrierPath(), &bytes);
    PayloadArchive archive(module.Handle());

    EXPECT_TRUE(archive.FindItem(L"SETUP.DAT"));
    ArchiveEntry entry;
    ASSERT_TRUE(archive.FindItem(L"readme.txt", &entry));
    EntryView first = EntryNamed(bytes, "Readme.txt");
    EXPECT_EQ(entry.offset, first.offset);
    EXPECT_EQ(entry.uncompressedSize, 5u);
    EXPECT_STREQ(entry.name, "Readme.txt");

    // Every matching entry is unpacked in turn, so the last one stays.
    std::wstring destination = scratch / L"readme.txt";
    ASSERT_TRUE(archive.ExtractItem(L"readme.txt", destination.c_str()));
    EXPECT_EQ(ReadBytes(destination), "second one");
}

enum class Outcome { Extracted, EmptyFile, SkippedQuietly, Unreadable };

struct Damage {
    const char* name;
    void (*apply)(Bytes& bytes);
    int itemsLoaded;
    bool corruptedBox;
    Outcome dataItem; // what extracting "data.bin" gives
};

size_t DataEntry(const Bytes& bytes)
{
    return EntryNamed(bytes, "data.bin").at;
}

size_t DataStream(const Bytes& bytes)
{
    return EntryNamed(bytes, "data.bin").offset;
}

void ResealData(Bytes& bytes)
{
    ResealEntry(bytes, DataEntry(bytes));
    ResealTrailer(bytes);
}

const Damage Damages[] = {
    {"intact archive", [](Bytes&) {}, 3, false, Outcome::Extracted},
    {"stored file checksum 0", [](Bytes& b) { PutU32(b, TrailerAt(b), 0); }, 0, true, Outcome::SkippedQuietly},
    {"header area byte changed", [](Bytes& b) { b[5] ^= 0x01; }, 0, true, Outcome::SkippedQuietly},
    {"stream byte changed without new checksum", [](Bytes& b) { b[DataStream(b) + 20] ^= 0x10; }, 0, true,
        Outcome::SkippedQuietly},
    {"first magic changed", [](Bytes& b) { PutU32(b, TrailerAt(b) + 16, 0x03345284); }, 0, false,
        Outcome::SkippedQuietly},
    {"second magic changed", [](Bytes& b) { PutU32(b, TrailerAt(b) + 20, 0x0EFFF342); }, 0, false,
        Outcome::SkippedQuietly},
    {"trailer sum changed", [](Bytes& b) { b[TrailerAt(b) + 4] ^= 0x01; }, 0, false, Outcome::SkippedQuietly},
    {"trailer truncated by one byte", [](Bytes& b) { b.pop_back(); }, 0, false, Outcome::SkippedQuietly},
    {"archive shorter than a trailer", [](Bytes& b) { b.resize(20); }, 0, false, Outcome::SkippedQuietly},
    {"entry count beyond the directory",
        [](Bytes& b) {
            PutU32(b, TrailerAt(b) + 12, 4);
            ResealTrailer(b);
        },
        3, false, Outcome::Extracted},
    {"entry count 0xFFFFFFFF",
        [](Bytes& b) {
            PutU32(b, TrailerAt(b) + 12, 0xFFFFFFFF);
            ResealTrailer(b);
        },
        3, false, Outcome::Extracted},
    {"directory offset past the end",
        [](Bytes& b) {
            PutU32(b, TrailerAt(b) + 8, 0xFFFFFF00);
            ResealTrailer(b);
        },
        0, false, Outcome::SkippedQuietly},
    {"entry's stream byte changed", [](Bytes& b) {
            b[DataStream(b) + 20] ^= 0x10;
            ResealTrailer(b);
        },
        3, false, Outcome::SkippedQuietly},
    {"stream size field 0xFFFFFFFF", [](Bytes& b) {
            PutU32(b, DataStream(b) + 5, 0xFFFFFFFF);
            ResealData(b);
        },
        3, false, Outcome::Unreadable},
    {"stream size high bytes set", [](Bytes& b) {
            b[DataStream(b) + 11] = 0x01;
            ResealData(b);
        },
        3, false, Outcome::Unreadable},
    {"properties byte 225", [](Bytes& b) {
            b[DataStream(b)] = 225;
            ResealData(b);
        },
        3, false, Outcome::Unreadable},
    {"stream cut to half its coded data", [](Bytes& b) {
            size_t entry = DataEntry(b);
            PutU32(b, entry + 4, 13 + (U32At(b, entry + 4) - 13) / 2);
            ResealData(b);
        },
        3, false, Outcome::Unreadable},
    {"compressedSize 0", [](Bytes& b) {
            PutU32(b, DataEntry(b) + 4, 0);
            ResealData(b);
        },
        3, false, Outcome::EmptyFile},
    {"stream offset past the end", [](Bytes& b) {
            PutU32(b, DataEntry(b), static_cast<uint32_t>(b.size()));
            ResealTrailer(b);
        },
        3, false, Outcome::SkippedQuietly},
    {"compressedSize past the end", [](Bytes& b) {
            PutU32(b, DataEntry(b) + 4, 0xFFFFFFF0);
            ResealTrailer(b);
        },
        3, false, Outcome::SkippedQuietly},
};

TEST_F(PayloadArchiveTest, EachKindOfDamageGivesItsMessageAndResult)
{
    const std::string data = Mixed(6000, 3);
    const Bytes intact = MakeArchive({{"setup.dat", "[Project Name]\r\nDamage\r\n"}, {"data.bin", data},
        {"last.txt", "the end"}});
    for (const Damage& damage : Damages) {
        const std::string what = damage.name;
        Bytes bytes = intact;
        damage.apply(bytes);
        PayloadModule module(CarrierPath(), &bytes);
        std::wstring destination = scratch / L"data.bin";
        {
            BoxAnswerer opening(damage.corruptedBox ? std::vector<BoxReply> {Press(IDOK)} : std::vector<BoxReply> {});
            PayloadArchive archive(module.Handle());
            std::vector<ShownBox> expected;
            if (damage.corruptedBox)
                expected.push_back(CorruptedBox);
            EXPECT_EQ(opening.Finish(), expected) << what;
            EXPECT_EQ(archive.ItemCount(), damage.itemsLoaded) << what;

            BoxAnswerer extracting(damage.dataItem == Outcome::Unreadable ? std::vector<BoxReply> {Press(IDOK)}
                                                                          : std::vector<BoxReply> {});
            bool extracted = archive.ExtractItem(L"data.bin", destination.c_str());
            std::vector<ShownBox> shown = extracting.Finish();

            switch (damage.dataItem) {
            case Outcome::Extracted:
                EXPECT_TRUE(extracted) << what;
                EXPECT_TRUE(ReadBytes(destination) == data) << what << ": the unpacked bytes differ";
                break;
            case Outcome::EmptyFile:
                EXPECT_TRUE(extracted) << what;
                EXPECT_EQ(ReadBytes(destination), "") << what;
                break;
            case Outcome::SkippedQuietly:
                EXPECT_FALSE(extracted) << what;
                EXPECT_FALSE(FileExists(destination)) << what;
                break;
            case Outcome::Unreadable:
                EXPECT_FALSE(extracted) << what;
                EXPECT_FALSE(FileExists(destination)) << what;
                ASSERT_EQ(shown.size(), 1u) << what;
                EXPECT_EQ(shown[0].caption, L"Setup") << what;
                EXPECT_EQ(shown[0].buttons, OkButton) << what;
                EXPECT_EQ(shown[0].icon, BoxIcon::Error) << what;
                EXPECT_TRUE(IsUnreadableMessage(shown[0].text, destination)) << what << ": " << Narrow(shown[0].text);
                break;
            }
        }
        DeleteFileW(destination.c_str());
        EXPECT_EQ(TempLeftovers(), std::vector<std::wstring>()) << what << ": after the archive is gone";
    }
}

TEST_F(PayloadArchiveTest, PayloadResourceMissingGivesAnEmptyDirectoryWithoutMessage)
{
    PayloadModule module(CarrierPath(), nullptr);
    BoxAnswerer user({});
    PayloadArchive archive(module.Handle());
    EXPECT_EQ(archive.ItemCount(), 0);
    EXPECT_FALSE(archive.FindItem(L"setup.dat"));
    EXPECT_FALSE(archive.ExtractItem(L"setup.dat", (scratch / L"setup.dat").c_str()));
    EXPECT_EQ(user.Finish(), std::vector<ShownBox>());
}

// Points the temporary folder somewhere for the length of one test.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::wstring& folder)
        : original_(TempFolder())
    {
        SetEnvironmentVariableW(L"TMP", folder.c_str());
        SetEnvironmentVariableW(L"TEMP", folder.c_str());
    }
    ~TempFolderOverride()
    {
        SetEnvironmentVariableW(L"TMP", original_.c_str());
        SetEnvironmentVariableW(L"TEMP", original_.c_str());
    }
    TempFolderOverride(const TempFolderOverride&) = delete;
    TempFolderOverride& operator=(const TempFolderOverride&) = delete;

private:
    std::wstring original_;
};

TEST_F(PayloadArchiveTest, ArchiveCopyThatCannotBeOpenedOffersRetryAndCancelLeavesNoItems)
{
    Bytes bytes = MakeArchive({{"setup.dat", "script"}});
    PayloadModule module(CarrierPath(), &bytes);
    // A file where the temporary folder should be: no temporary file can be made.
    std::wstring blocker = scratch / L"blocker";
    WriteBytes(blocker, "not a folder");
    std::vector<ShownBox> shown;
    int items = -1;
    {
        TempFolderOverride temp(blocker);
        BoxAnswerer user({Press(IDRETRY), Press(IDCANCEL)});
        PayloadArchive archive(module.Handle());
        items = archive.ItemCount();
        shown = user.Finish();
    }
    EXPECT_EQ(items, 0);
    ASSERT_EQ(shown.size(), 2u);
    for (const ShownBox& box : shown) {
        EXPECT_EQ(box.caption, L"File Read Error");
        EXPECT_EQ(box.buttons, RetryCancelButtons);
        EXPECT_EQ(box.icon, BoxIcon::Information);
        std::wstring lead = L"Unable to open '" + blocker + L"\\zto";
        EXPECT_EQ(box.text.compare(0, lead.size(), lead), 0) << Narrow(box.text);
        EXPECT_EQ(box.text.substr(box.text.size() - 5), L".tmp'") << Narrow(box.text);
    }
}

TEST_F(PayloadArchiveTest, EmptyItemWhoseDestinationCannotBeCreatedIsAFailure)
{
    Bytes bytes = MakeArchive({{"setup.dat", "script"}, {"empty.txt", ""}});
    PayloadModule module(CarrierPath(), &bytes);
    PayloadArchive archive(module.Handle());
    std::wstring destination = scratch / L"missing\\empty.txt";
    BoxAnswerer user({Press(IDOK)});
    EXPECT_FALSE(archive.ExtractItem(L"empty.txt", destination.c_str()));
    EXPECT_EQ(user.Finish(), (std::vector<ShownBox> {{L"Setup",
                                 L"Error whilst uncompressing '" + destination + L"', unable to write '" + destination + L"'",
                                 OkButton, BoxIcon::Error}}));
    EXPECT_TRUE(archive.ExtractItem(L"empty.txt", (scratch / L"empty.txt").c_str()));
    EXPECT_EQ(ReadBytes(scratch / L"empty.txt"), "");
}

struct Decompression {
    const char* name;
    const std::string* source; // null: the source file does not exist
    bool destinationWritable;
    bool result;
    const char* message; // read or write, or null for no message
};

TEST_F(PayloadArchiveTest, DecompressFileNamesTheFileItCouldNotReadOrWrite)
{
    const std::string content = Text(5000);
    const std::string stream = [&] {
        Bytes bytes = MakeArchive({{"x", content}});
        EntryView entry = Entries(bytes)[0];
        return std::string(bytes.begin() + entry.offset, bytes.begin() + entry.offset + entry.compressedSize);
    }();
    const std::string header = stream.substr(0, 9);
    const std::string empty;
    const Decompression cases[] = {
        {"intact stream", &stream, true, true, nullptr},
        {"missing source", nullptr, true, true, nullptr},
        {"empty source", &empty, true, true, nullptr},
        {"header cut short", &header, true, false, "read"},
        {"destination folder missing", &stream, false, false, "write"},
        // An empty file that cannot be created is a failure too.
        {"empty source, destination folder missing", &empty, false, false, "write"},
        {"missing source, destination folder missing", nullptr, false, false, "write"},
    };
    for (const Decompression& c : cases) {
        XString source((scratch / L"stream.lzma").c_str());
        if (c.source)
            WriteBytes(source.Text(), *c.source);
        XString destination(c.destinationWritable ? (scratch / L"out.txt").c_str() : (scratch / L"no\\out.txt").c_str());

        BoxAnswerer user(c.message ? std::vector<BoxReply> {Press(IDOK)} : std::vector<BoxReply> {});
        EXPECT_EQ(DecompressFile(source, destination), c.result) << c.name;
        std::vector<ShownBox> expected;
        if (c.message) {
            std::wstring what = std::string(c.message) == "read" ? source.Text() : destination.Text();
            expected.push_back(ShownBox {L"Setup",
                L"Error whilst uncompressing '" + std::wstring(destination.Text()) + L"', unable to "
                    + Wide(c.message) + L" '" + what + L"'",
                OkButton, BoxIcon::Error});
        }
        EXPECT_EQ(user.Finish(), expected) << c.name;
        if (c.result) {
            EXPECT_TRUE(ReadBytes(destination.Text()) == (c.source == &stream ? content : "")) << c.name
                                                                                             << ": wrong destination bytes";
        }
        DeleteFileW(source.Text());
        DeleteFileW(destination.Text());
    }
}

} // namespace
