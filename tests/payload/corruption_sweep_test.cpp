// Thousands of randomly damaged archives through the reader in one
// process: whatever the damage, the reader must come back, show only its
// own messages, and leave no temporary file behind.
#include "payload/payloadarchive.h"

#include "msgbox.h"
#include "payloadkit.h"
#include "testfiles.h"
#include "text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

const int Rounds = 3000;
// Far beyond anything these small archives need, even under emulation.
const DWORD RoundTimeLimitMs = 20000;

std::string Filler(size_t size, uint32_t seed)
{
    std::mt19937 generator(seed);
    std::string bytes;
    while (bytes.size() < size)
        bytes += generator() % 2 ? "setup line " + std::to_string(generator() % 100) + "\r\n"
                                 : std::string(1 + generator() % 40, static_cast<char>(generator()));
    bytes.resize(size);
    return bytes;
}

uint32_t HugeOrRandom(std::mt19937& random, uint32_t size)
{
    const uint32_t choices[] = {0xFFFFFFFF, 0x7FFFFFFF, 0x80000000, 0x10000000, size, size + 1,
        static_cast<uint32_t>(random()), static_cast<uint32_t>(random() % (size + 1))};
    return choices[random() % (sizeof choices / sizeof choices[0])];
}

class Damager {
public:
    explicit Damager(const Bytes& intact)
        : entries_(Entries(intact))
    {
    }

    void Apply(Bytes& b, std::mt19937& random) const
    {
        const uint32_t size = static_cast<uint32_t>(b.size());
        const EntryView& entry = entries_[random() % entries_.size()];
        switch (random() % 8) {
        case 0: // bytes flipped anywhere
            FlipBytes(b, 0, b.size(), random);
            break;
        case 1: // bytes flipped, then every sum made to fit again
            FlipBytes(b, 0, b.size(), random);
            ResealAll(b);
            break;
        case 2: // cut short, sometimes with the last bytes passed off as a trailer
            b.resize(random() % b.size());
            if (b.size() >= 24 && random() % 2)
                ResealTrailer(b);
            break;
        case 3:
            PutU32(b, TrailerAt(b) + 12, HugeOrRandom(random, size));
            ResealTrailer(b);
            break;
        case 4:
            PutU32(b, TrailerAt(b) + 8, HugeOrRandom(random, size));
            ResealTrailer(b);
            break;
        case 5: { // one field of one directory entry
            size_t field = random() % 5;
            if (field < 4)
                PutU32(b, entry.at + 4 * field, HugeOrRandom(random, size));
            else
                b[entry.at + 16] = static_cast<uint8_t>(random());
            if (random() % 2)
                ResealEntry(b, entry.at);
            ResealTrailer(b);
            break;
        }
        case 6: // the stream header of one item
            if (entry.compressedSize >= 13) {
                FlipBytes(b, entry.offset, 13, random);
                ResealEntry(b, entry.at);
                ResealTrailer(b);
            }
            break;
        default: // the coded data of one item, sums made to fit
            if (entry.compressedSize > 13) {
                FlipBytes(b, entry.offset + 13, entry.compressedSize - 13, random);
                ResealEntry(b, entry.at);
                ResealTrailer(b);
            }
            break;
        }
    }

private:
    static void FlipBytes(Bytes& b, size_t from, size_t count, std::mt19937& random)
    {
        for (int n = 1 + random() % 8; n > 0; --n)
            b[from + random() % count] ^= static_cast<uint8_t>(1 + random() % 255);
    }

    void ResealAll(Bytes& b) const
    {
        for (const EntryView& entry : entries_)
            ResealEntry(b, entry.at);
        ResealTrailer(b);
    }

    std::vector<EntryView> entries_;
};

bool IsOwnMessage(const ShownBox& box, const std::wstring& destination)
{
    std::wstring uncompressing = L"Error whilst uncompressing '" + destination + L"', unable to ";
    return box.caption == L"Setup"
        && (box.text == CorruptedInstallMessage || box.text.rfind(uncompressing, 0) == 0);
}

TEST(PayloadArchiveSweep, RandomlyDamagedArchivesNeitherCrashNorHangNorLeaveFiles)
{
    ScratchFolder scratch;
    const Bytes intact = MakeArchive({{"setup.dat", Filler(700, 1)}, {"tool.exe", Filler(3000, 2)},
        {"empty.txt", ""}, {"Readme.TXT", Filler(1500, 3)}, {"sub\\data.bin", Filler(400, 4)}});
    const Damager damager(intact);
    const std::wstring carrier = scratch / L"carrier.exe";
    const std::wstring destination = scratch / L"out.bin";
    WCHAR currentFolder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, currentFolder);
    const std::vector<std::wstring> currentBefore = FolderEntries(std::wstring(currentFolder) + L"\\");

    std::mt19937 random(20240611);
    BoxDismisser dismisser;
    int itemsSeen = 0;
    int extracted = 0;
    DWORD slowest = 0;
    for (int round = 0; round < Rounds; ++round) {
        Bytes bytes = intact;
        damager.Apply(bytes, random);
        DWORD start = GetTickCount();
        {
            PayloadModule module(carrier, &bytes);
            PayloadArchive archive(module.Handle());
            // One past the end as well: that name is empty.
            for (int i = 0; i <= archive.ItemCount(); ++i) {
                XString name = archive.ItemName(i);
                ArchiveEntry entry;
                archive.FindItem(name, &entry);
                if (archive.ExtractItem(name, destination.c_str()))
                    ++extracted;
                DeleteFileW(destination.c_str());
            }
            itemsSeen += archive.ItemCount();
        }
        DWORD elapsed = GetTickCount() - start;
        slowest = std::max(slowest, elapsed);
        ASSERT_LT(elapsed, RoundTimeLimitMs) << "round " << round;
        ASSERT_EQ(TempLeftovers(), std::vector<std::wstring>()) << "round " << round;
        ASSERT_EQ(FolderEntries(scratch.Path()), std::vector<std::wstring>()) << "round " << round;
    }
    const std::vector<ShownBox>& boxes = dismisser.Seen();
    for (const ShownBox& box : boxes)
        EXPECT_TRUE(IsOwnMessage(box, destination)) << "caption [" << Narrow(box.caption) << "] text [" << Narrow(box.text)
                                                    << "] (" << box.text.size() << " units), destination [" << Narrow(destination) << "]";
    EXPECT_EQ(FolderEntries(std::wstring(currentFolder) + L"\\"), currentBefore);
    // The damage must reach every stage: opening, listing, extracting.
    EXPECT_GT(itemsSeen, 0);
    EXPECT_GT(extracted, 0);
    EXPECT_GT(boxes.size(), 0u);
    std::cout << Rounds << " damaged archives: " << itemsSeen << " items listed, " << extracted << " extracted, "
              << boxes.size() << " messages, slowest round " << slowest << " ms\n";
}

} // namespace
