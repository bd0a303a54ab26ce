// Black-box tests of zelto-pack: the packer is run as a program on project
// folders made here, and its output is read back with wrestool (icoutils)
// and an LZMA decoder.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "LzmaDec.h"
#include "pack/archive_writer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

const fs::path kPacker = ZELTO_PACK_EXE;
const fs::path kStubDir = ZELTO_TEST_STUB_DIR;
const fs::path kProbe = kStubDir / "probe.exe";

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string RandomText(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string text(size, 0);
    for (char& c : text) c = static_cast<char>(random());
    return text;
}

std::string Quote(const fs::path& path) {
    std::string quoted = "'";
    for (char c : path.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A folder of its own under the temporary folder, removed afterwards.
class Scratch {
public:
    Scratch() {
        root_ = fs::temp_directory_path() / ("zelto-pack-test-" + std::to_string(std::random_device()()));
        fs::create_directories(root_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Root() const { return root_; }

private:
    fs::path root_;
};

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};

RunResult RunCommand(const std::string& command, const fs::path& scratch) {
    const fs::path out = scratch / "run.out", err = scratch / "run.err";
    const int status = std::system((command + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null").c_str());
    RunResult result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    fs::remove(out);
    fs::remove(err);
    return result;
}

RunResult Pack(const fs::path& project, const fs::path& output, const fs::path& stub, const fs::path& scratch,
               const std::string& options = "") {
    return RunCommand(Quote(kPacker) + " --stub " + Quote(stub) + " -o " + Quote(output) + " " + options + " " +
                   Quote(project),
               scratch);
}

// The payload as an independent reader of PE resources finds it.
Bytes PayloadOf(const fs::path& exe, const fs::path& scratch) {
    const fs::path extracted = scratch / "payload.bin";
    const std::string command =
        "wrestool -x --raw --type=10 --name=24356 " + Quote(exe) + " >" + Quote(extracted) + " 2>/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    Bytes payload = ReadFile(extracted);
    fs::remove(extracted);
    return payload;
}

// wrestool's listing without the file offsets, which packing moves.
std::vector<std::string> ResourceList(const fs::path& exe, const fs::path& scratch) {
    const RunResult listed = RunCommand("wrestool -l " + Quote(exe), scratch);
    EXPECT_EQ(listed.exitCode, 0) << listed.err;
    std::vector<std::string> lines;
    for (const std::string& line : Lines(listed.out))
        lines.push_back(std::regex_replace(line, std::regex(" ?offset=0x[0-9a-f]+"), ""));
    std::sort(lines.begin(), lines.end());
    return lines;
}

uint32_t U32(const Bytes& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The archive checksum as the runtime computes it: 64 KiB blocks, in each
// the whole 32-bit words and then the bytes left over.
uint32_t ChecksumInBlocks(const Bytes& bytes, size_t size) {
    uint32_t sum = 0;
    for (size_t block = 0; block < size; block += 65536) {
        const size_t end = std::min(size, block + 65536);
        size_t i = block;
        for (; i + 4 <= end; i += 4) sum += U32(bytes, i);
        for (; i < end; ++i) sum += bytes[i];
    }
    return sum == 0 ? 1 : sum;
}

struct Entry {
    uint32_t offset, compressedSize, uncompressedSize, sum;
    std::string name;
};

// Reads the archive as the runtime does and checks every rule a writer must
// keep on the way; failures are reported through GoogleTest.
std::vector<Entry> ParseArchive(const Bytes& archive) {
    std::vector<Entry> entries;
    if (archive.size() < 128 + 24) {
        ADD_FAILURE() << "archive of " << archive.size() << " bytes";
        return entries;
    }
    const size_t trailer = archive.size() - 24;
    EXPECT_EQ(U32(archive, trailer + 16), 0x03345283u);
    EXPECT_EQ(U32(archive, trailer + 20), 0x0EFFF343u);
    int32_t trailerSum = 0;
    for (size_t i = trailer + 8; i < trailer + 24; ++i) trailerSum += static_cast<int8_t>(archive[i]);
    EXPECT_EQ(U32(archive, trailer + 4), static_cast<uint32_t>(trailerSum));
    EXPECT_EQ(U32(archive, trailer), ChecksumInBlocks(archive, trailer));
    EXPECT_TRUE(std::all_of(archive.begin(), archive.begin() + 128, [](uint8_t b) { return b == 0; }));

    size_t at = U32(archive, trailer + 8);
    const uint32_t count = U32(archive, trailer + 12);
    size_t expectedOffset = 128;
    for (uint32_t i = 0; i < count && at + 17 <= trailer; ++i) {
        Entry entry{U32(archive, at), U32(archive, at + 4), U32(archive, at + 8), U32(archive, at + 12), {}};
        const uint8_t nameLength = archive[at + 16];
        EXPECT_GE(nameLength, 2);
        EXPECT_EQ(archive[at + 17 + nameLength - 1], 0) << "name not zero-terminated";
        entry.name.assign(archive.begin() + at + 17, archive.begin() + at + 17 + nameLength - 1);
        at += 17 + nameLength;
        EXPECT_EQ(entry.offset, expectedOffset) << entry.name << ": items must follow each other from offset 128";
        expectedOffset = entry.offset + entry.compressedSize;
        uint32_t sum = 0;
        for (size_t b = entry.offset; b < expectedOffset && b < trailer; ++b) sum += archive[b];
        EXPECT_EQ(entry.sum, sum) << entry.name;
        entries.push_back(entry);
    }
    EXPECT_EQ(entries.size(), count);
    EXPECT_EQ(U32(archive, trailer + 8), expectedOffset) << "the directory follows the last item";
    EXPECT_EQ(at, trailer) << "the trailer follows the directory";
    return entries;
}

void* AllocForLzma(void*, size_t size) { return std::malloc(size); }
void FreeForLzma(void*, void* address) { std::free(address); }

Bytes Decode(const uint8_t* stream, size_t size) {
    if (size == 0) return {};
    EXPECT_GE(size, 13u);
    EXPECT_EQ(stream[0], 0x5D);
    EXPECT_EQ(stream[1] | stream[2] << 8 | stream[3] << 16 | stream[4] << 24, 8 << 20);
    for (int i = 9; i < 13; ++i) EXPECT_EQ(stream[i], 0) << "size must be below 4 GiB";
    const uint32_t outSize = stream[5] | stream[6] << 8 | stream[7] << 16 | static_cast<uint32_t>(stream[8]) << 24;
    Bytes out(outSize);
    SizeT outLength = outSize, inLength = size - 13;
    ELzmaStatus status;
    ISzAlloc alloc = {AllocForLzma, FreeForLzma};
    const SRes result = LzmaDecode(out.data(), &outLength, stream + 13, &inLength, stream, 5, LZMA_FINISH_END,
                                   &status, &alloc);
    EXPECT_EQ(result, SZ_OK);
    EXPECT_EQ(outLength, outSize);
    EXPECT_EQ(inLength, size - 13) << "stream has bytes after its end";
    return out;
}

// The archive the packer should make of `project`, made here in process.
Bytes ExpectedArchive(const fs::path& project) {
    std::vector<pack::ArchiveItem> items;
    for (const auto& entry : fs::recursive_directory_iterator(project)) {
        if (!entry.is_regular_file()) continue;
        std::string name;
        for (const fs::path& part : entry.path().lexically_relative(project)) name += (name.empty() ? "" : "\\") + part.string();
        const Bytes data = ReadFile(entry.path());
        items.push_back({name, data.empty() ? Bytes() : pack::CompressLzmaAlone(data.data(), data.size()),
                         static_cast<uint32_t>(data.size())});
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return pack::BuildArchive(items);
}

const char kScript[] =
    "[Project Name]\r\nPack Test\r\n"
    "[CopyFile]\r\nAPP.EXE\r\n<Destination>app.exe\r\n"
    "[CopyFile]\r\nempty.txt\r\n<Destination>empty.txt\r\n"
    "[Registry]\r\nHKLM\r\nSoftware\\ZeltoTest\r\nBINARY\r\nBlob\r\ndata\\blob.bin\r\n"
    "[RunAndWaitFile]\r\n<TempInstall>\\sub\\tool.exe\r\n/quiet\r\nHelper\r\n";

// A project whose script names every file it holds.
void MakeProject(const fs::path& dir) {
    WriteFile(dir / "setup.dat", kScript);
    WriteFile(dir / "setup.lic", "Terms.\r\n");
    WriteFile(dir / "app.exe", RandomText(200000, 1) + std::string(600000, 'z') + RandomText(1000, 2));
    WriteFile(dir / "empty.txt", "");
    WriteFile(dir / "data" / "blob.bin", RandomText(70000, 3));
    WriteFile(dir / "sub" / "tool.exe", "tool");
}

TEST(Pack, ArchiveHoldsEveryFileUnderItsBackslashNameAndDecodesBack) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project", output = scratch.Root() / "setup.exe";
    MakeProject(project);

    const RunResult run = Pack(project, output, kProbe, scratch.Root());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");

    const Bytes archive = PayloadOf(output, scratch.Root());
    const std::vector<Entry> entries = ParseArchive(archive);
    std::vector<std::string> names;
    for (const Entry& entry : entries) {
        names.push_back(entry.name);
        std::string path = entry.name;
        std::replace(path.begin(), path.end(), '\\', '/');
        const Bytes original = ReadFile(project / path);
        EXPECT_EQ(entry.uncompressedSize, original.size()) << entry.name;
        const Bytes decoded = Decode(archive.data() + entry.offset, entry.compressedSize);
        EXPECT_TRUE(decoded == original) << entry.name << " does not decode to the file's bytes";
    }
    const std::vector<std::string> expected = {"app.exe",  "data\\blob.bin", "empty.txt",
                                               "setup.dat", "setup.lic",     "sub\\tool.exe"};
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(archive == ExpectedArchive(project)) << "differs from the archive built in process";
}

TEST(Pack, CompressedStreamsDecodeToTheirInput) {
    const struct {
        const char* name;
        std::string data;
    } cases[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"random", RandomText(100000, 7)},
        {"longer than the dictionary", std::string(5 << 20, 'a') + RandomText(5 << 20, 8)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto* data = reinterpret_cast<const uint8_t*>(c.data.data());
        const Bytes stream = pack::CompressLzmaAlone(data, c.data.size());
        const Bytes decoded = Decode(stream.data(), stream.size());
        EXPECT_TRUE(decoded == Bytes(data, data + c.data.size()));
    }
}

TEST(Pack, SameInputsGiveIdenticalSetups) {
    Scratch scratch;
    const fs::path first = scratch.Root() / "one", second = scratch.Root() / "two";
    MakeProject(first);
    // The same files written in the opposite order, with other times.
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(first))
        if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(first));
    std::reverse(files.begin(), files.end());
    for (const fs::path& file : files) {
        WriteFile(second / file, ReadText(first / file));
        fs::last_write_time(second / file, fs::file_time_type::clock::now() - std::chrono::hours(1000));
    }

    const fs::path a = scratch.Root() / "a.exe", b = scratch.Root() / "b.exe", c = scratch.Root() / "c.exe";
    const fs::path d = scratch.Root() / "d.exe";
    ASSERT_EQ(Pack(first, a, kProbe, scratch.Root()).exitCode, 0);
    ASSERT_EQ(Pack(first, d, kProbe, scratch.Root(), "--jobs 1").exitCode, 0);
    ASSERT_EQ(Pack(second, b, kProbe, scratch.Root()).exitCode, 0);
    for (const fs::path& file : files) fs::last_write_time(first / file, fs::file_time_type::clock::now());
    ASSERT_EQ(Pack(first, c, kProbe, scratch.Root()).exitCode, 0);

    const Bytes setup = ReadFile(a);
    EXPECT_TRUE(setup == ReadFile(b)) << "file order or times changed the setup";
    EXPECT_TRUE(setup == ReadFile(c)) << "packing again changed the setup";
    EXPECT_TRUE(setup == ReadFile(d)) << "compressing one file at a time changed the setup";
}

// Each stub once as it is and once after it has been packed already: its
// other resources come through byte for byte, the payload is the new one.
TEST(Pack, StubResourcesSurviveAndCarryThePayload) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project";
    MakeProject(project);
    const Bytes expectedArchive = ExpectedArchive(project);

    const fs::path repackStub = scratch.Root() / "packed-before.exe";
    WriteFile(scratch.Root() / "old" / "setup.dat", "[Project Name]\r\nOld\r\n");
    ASSERT_EQ(Pack(scratch.Root() / "old", repackStub, kProbe, scratch.Root()).exitCode, 0);

    std::vector<fs::path> stubs = {kProbe, kStubDir / "probe-stripped.exe", kStubDir / "probe-norelocs.exe",
                                   repackStub};
    if (const char* runtime = std::getenv("ZELTO_TEST_RUNTIME_STUB")) stubs.push_back(runtime);

    for (const fs::path& stub : stubs) {
        SCOPED_TRACE(stub.filename().string());
        const fs::path output = scratch.Root() / ("out-" + stub.filename().string());
        const RunResult run = Pack(project, output, stub, scratch.Root());
        ASSERT_EQ(run.exitCode, 0) << run.err;

        std::vector<std::string> before = ResourceList(stub, scratch.Root());
        before.erase(std::remove_if(before.begin(), before.end(),
                                    [](const std::string& line) { return line.find("--name=24356 ") != std::string::npos; }),
                     before.end());
        std::vector<std::string> expected = before;
        expected.push_back("--type=10 --name=24356 --language=0 [type=rcdata size=" +
                           std::to_string(expectedArchive.size()) + "]");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(ResourceList(output, scratch.Root()), expected);

        for (const std::string& line : before) {
            const std::string selector = line.substr(0, line.find(" ["));
            const RunResult old = RunCommand("wrestool -x --raw " + selector + " " + Quote(stub), scratch.Root());
            const RunResult now = RunCommand("wrestool -x --raw " + selector + " " + Quote(output), scratch.Root());
            EXPECT_TRUE(old.out == now.out) << selector << " changed";
        }
        EXPECT_TRUE(PayloadOf(output, scratch.Root()) == expectedArchive);
    }
}

struct Case {
    fs::path root;
    fs::path project;
    fs::path output;
    fs::path stub;
};

struct ErrorCase {
    const char* name;
    std::function<void(Case&)> arrange;
    std::string named;  // the file the message must name
    std::vector<std::string> mentions = {};  // and what else it must say
};

// "LOCATION: error: TEXT", as compilers write it; the location is a file,
// a file and a line, or the packer's name when no file is to blame.
bool IsErrorLine(const std::string& line) {
    return std::regex_search(line, std::regex("^[^ ].*: error: [^ ]"));
}

TEST(Pack, BadInputFailsWithOneLineNamingTheFileAndWritesNothing) {
    const ErrorCase cases[] = {
        {"no setup script", [](Case& s) { fs::remove(s.project / "setup.dat"); }, "setup.dat"},
        {"missing project folder", [](Case& s) { s.project = s.root / "nowhere"; }, "nowhere"},
        {"CopyFile item missing",
         [](Case& s) { WriteFile(s.project / "setup.dat", "[CopyFile]\r\nmissing.exe\r\n<Destination>m.exe\r\n"); },
         "missing.exe"},
        {"BINARY registry item missing",
         [](Case& s) {
             WriteFile(s.project / "setup.dat",
                       std::string(kScript) + "[Registry]\r\nHKCU\r\nSoftware\\X\r\nBINARY\r\nV\r\nnot-there.bin\r\n");
         },
         "not-there.bin"},
        {"TempInstall run item missing",
         [](Case& s) {
             WriteFile(s.project / "setup.dat",
                       std::string(kScript) + "[RunFile]\r\n<TempInstall>\\sub\\helper.exe\r\n\r\n\r\n");
         },
         "sub\\helper.exe"},
        {"item name over 254 characters",
         [](Case& s) { WriteFile(s.project / std::string(200, 'd') / (std::string(50, 'f') + ".dll"), "x"); },
         std::string(50, 'f') + ".dll"},
        {"file of 4 GiB",
         [](Case& s) {
             WriteFile(s.project / "huge.bin", "");
             fs::resize_file(s.project / "huge.bin", uint64_t{4} << 30);
         },
         "huge.bin", {"4294967296 bytes", std::to_string(archive::MaxItemSize) + " bytes"}},
        {"file larger than the installer unpacks",
         [](Case& s) {
             WriteFile(s.project / "large.bin", "");
             fs::resize_file(s.project / "large.bin", uint64_t{archive::MaxItemSize} + 1);
         },
         "large.bin", {std::to_string(uint64_t{archive::MaxItemSize} + 1) + " bytes",
                       "at most " + std::to_string(archive::MaxItemSize) + " bytes (448 MiB)"}},
        {"unreadable file",
         [](Case& s) { fs::create_symlink(s.root / "gone.dll", s.project / "broken.dll"); }, "broken.dll"},
        {"stub that is not an executable",
         [](Case& s) {
             s.stub = s.root / "notpe.exe";
             WriteFile(s.stub, "MZ but nothing else");
         },
         "notpe.exe"},
        {"stub cut short",
         [](Case& s) {
             s.stub = s.root / "cut.exe";
             WriteFile(s.stub, ReadText(kProbe).substr(0, 0x200));
         },
         "cut.exe"},
        {"missing stub", [](Case& s) { s.stub = s.root / "absent.exe"; }, "absent.exe"},
        {"output folder missing", [](Case& s) { s.output = s.root / "nofolder" / "setup.exe"; }, "nofolder"},
        {"output is a folder",
         [](Case& s) {
             s.output = s.root / "taken";
             fs::create_directories(s.output / "inside");
         },
         "taken"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        Case setup{scratch.Root(), scratch.Root() / "project", scratch.Root() / "out" / "setup.exe", kProbe};
        MakeProject(setup.project);
        fs::create_directories(setup.output.parent_path());
        c.arrange(setup);
        const bool outputExisted = fs::exists(setup.output);
        const fs::path folder = setup.output.parent_path();
        std::set<fs::path> filesBefore;
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder)) filesBefore.insert(entry.path());

        const RunResult run = Pack(setup.project, setup.output, setup.stub, scratch.Root());

        EXPECT_EQ(run.exitCode, 1);
        const std::vector<std::string> lines = Lines(run.err);
        ASSERT_EQ(lines.size(), 1u) << run.err;
        EXPECT_TRUE(IsErrorLine(lines[0])) << lines[0];
        EXPECT_NE(lines[0].find(c.named), std::string::npos) << lines[0];
        for (const std::string& mention : c.mentions) EXPECT_NE(lines[0].find(mention), std::string::npos) << lines[0];
        EXPECT_EQ(fs::exists(setup.output), outputExisted);
        std::set<fs::path> filesAfter;
        if (fs::is_directory(folder))
            for (const auto& entry : fs::directory_iterator(folder)) filesAfter.insert(entry.path());
        EXPECT_EQ(filesAfter, filesBefore) << "a temporary file was left behind";
    }
}

TEST(Pack, FailedPackLeavesEarlierSetupUntouched) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project", output = scratch.Root() / "setup.exe";
    MakeProject(project);
    WriteFile(output, "earlier setup");
    fs::remove(project / "app.exe");

    const RunResult run = Pack(project, output, kProbe, scratch.Root());

    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("APP.EXE"), std::string::npos) << run.err;
    EXPECT_EQ(ReadText(output), "earlier setup");
}

struct WarningCase {
    const char* name;
    std::string script;
    std::vector<std::string> extraFiles;
    std::vector<std::string> expected;  // each appears in its own warning line; none means no warning at all
};

TEST(Pack, ScriptMistakesTheRuntimeIgnoresAreWarnings) {
    const std::string copyApp = "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n";
    const WarningCase cases[] = {
        {"header in other letter case", copyApp + "[copyfile]\r\n", {},
         {"/setup.dat:4: warning: \"[copyfile]\" is not the section header \"[CopyFile]\""}},
        {"header with surrounding spaces", copyApp + "\r\n  [Registry] \r\n", {},
         {"/setup.dat:5: warning: \"  [Registry] \" is not the section header \"[Registry]\""}},
        {"section cut short at the end", copyApp + "[CreateIcon]\r\na\r\nb\r\n", {},
         {"/setup.dat:4: warning: section \"[CreateIcon]\" ends after 2 of its 4 lines"}},
        {"file nothing refers to", copyApp, {"readme.txt", "sub/extra.dll"},
         {"/readme.txt: warning: nothing in setup.dat refers to this file",
          "/sub/extra.dll: warning: nothing in setup.dat refers to this file"}},
        {"line ends LF and lone CR", "[CopyFile]\napp.exe\r<Destination>app.exe", {}, {}},
        {"header text as a value line is a value", copyApp + "[Action]\r\n[copyfile]\r\n", {}, {}},
        {"setup.lic and setup.bmp need no reference", copyApp, {"setup.lic", "setup.bmp"}, {}},
        {"container script: every file is an inner installer", "[InstallContainer]\r\n",
         {"inner32.exe", "inner__ZTO_WIN64.exe"}, {}},
    };
    for (const WarningCase& c : cases) {
        SCOPED_TRACE(c.name);
        Scratch scratch;
        const fs::path project = scratch.Root() / "project", output = scratch.Root() / "setup.exe";
        WriteFile(project / "setup.dat", c.script);
        WriteFile(project / "app.exe", "app");
        for (const std::string& extra : c.extraFiles) WriteFile(project / extra, "extra");

        const RunResult run = Pack(project, output, kProbe, scratch.Root());

        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(fs::exists(output));
        const std::vector<std::string> lines = Lines(run.err);
        EXPECT_EQ(lines.size(), c.expected.size()) << run.err;
        for (const std::string& line : lines)
            EXPECT_EQ(line.rfind(project.string(), 0), 0u) << "a warning starts with the file it is about: " << line;
        for (const std::string& text : c.expected)
            EXPECT_NE(run.err.find(text), std::string::npos) << "missing: " << text << "\nin: " << run.err;
    }
}

TEST(Pack, StrictMakesEveryScriptMistakeAnErrorAndWritesNothing) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project", output = scratch.Root() / "setup.exe";
    WriteFile(project / "setup.dat", "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n[copyfile]\r\n");
    WriteFile(project / "app.exe", "app");
    WriteFile(project / "readme.txt", "extra");

    const RunResult run = Pack(project, output, kProbe, scratch.Root(), "--strict");

    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> expected = {
        (project / "setup.dat").string() + ":4: error: \"[copyfile]\" is not the section header \"[CopyFile]\" "
            "(letter case or spaces differ); the line is ignored",
        (project / "readme.txt").string() + ": error: nothing in setup.dat refers to this file",
        "zelto-pack: error: 2 mistakes in the project (--strict); no setup written",
    };
    EXPECT_EQ(Lines(run.err), expected);
    EXPECT_FALSE(fs::exists(output));

    const RunResult clean = Pack(project, output, kProbe, scratch.Root(), "--strict");
    EXPECT_EQ(clean.exitCode, 1) << "the mistakes are still there";
    fs::remove(project / "readme.txt");
    WriteFile(project / "setup.dat", "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n");
    const RunResult fixed = Pack(project, output, kProbe, scratch.Root(), "--strict");
    EXPECT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_TRUE(fs::exists(output));
}

// The forms build scripts write: "--option=value", "--" before a folder
// whose name starts with a dash, and the compression levels.
TEST(Pack, CommandLineFormsForScripts) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "-project";
    MakeProject(project);
    const std::string packer = Quote(kPacker) + " --stub=" + Quote(kProbe);
    const Bytes expected = ExpectedArchive(project);

    // Named as a build script in that folder names it.
    const std::string inScratch = "cd " + Quote(scratch.Root()) + " && " + packer;
    const RunResult equals = RunCommand(inScratch + " -q --output=a.exe -- -project", scratch.Root());
    EXPECT_EQ(equals.exitCode, 0) << equals.err;
    EXPECT_TRUE(PayloadOf(scratch.Root() / "a.exe", scratch.Root()) == expected);

    const RunResult dashFirst = RunCommand(inScratch + " -q -o b.exe -project", scratch.Root());
    EXPECT_EQ(dashFirst.exitCode, 2) << "a folder starting with a dash reads as an option without --";
    EXPECT_FALSE(fs::exists(scratch.Root() / "b.exe"));

    for (const std::string level : {"-1", "--fast", "-5", "-9"}) {
        const fs::path output = scratch.Root() / ("level" + level + ".exe");
        const RunResult run = RunCommand(packer + " -q " + level + " -o " + Quote(output) + " -- " + Quote(project),
                                         scratch.Root());
        ASSERT_EQ(run.exitCode, 0) << level << ": " << run.err;
        const Bytes archive = PayloadOf(output, scratch.Root());
        for (const Entry& entry : ParseArchive(archive)) {
            std::string path = entry.name;
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_TRUE(Decode(archive.data() + entry.offset, entry.compressedSize) == ReadFile(project / path))
                << level << ": " << entry.name;
        }
        if (level == "-9") {
            EXPECT_TRUE(archive == expected) << "-9 is the default";
        }
    }
    EXPECT_GT(fs::file_size(scratch.Root() / "level-1.exe"), fs::file_size(scratch.Root() / "level-9.exe"));
    EXPECT_TRUE(ReadFile(scratch.Root() / "level-1.exe") == ReadFile(scratch.Root() / "level--fast.exe"));
}

// Data that does not compress is coded with a small dictionary, which is
// several times faster; whether a file is such data is judged from samples.
TEST(Pack, IncompressibleDataIsRecognisedAndStillDecodes) {
    const std::string random = RandomText(2 << 20, 11);
    const std::string text = [] {
        std::string t;
        while (t.size() < (2u << 20)) t += "install the program files into the folder and register the setup; ";
        return t;
    }();
    auto samples = [](const std::string& data) {
        std::vector<Bytes> taken;
        for (int i = 0; i < 4; ++i) {
            const size_t at = (data.size() - 65536) * i / 3;
            taken.emplace_back(data.begin() + at, data.begin() + at + 65536);
        }
        return taken;
    };
    EXPECT_TRUE(pack::LooksIncompressible(samples(random)));
    EXPECT_FALSE(pack::LooksIncompressible(samples(text)));
    std::string mixed = random;
    mixed.replace(0, 65536, text.substr(0, 65536));
    EXPECT_FALSE(pack::LooksIncompressible(samples(mixed))) << "one compressible sample is enough";

    const auto* data = reinterpret_cast<const uint8_t*>(random.data());
    const Bytes fast = pack::CompressLzmaAlone(data, random.size(), pack::SettingsForIncompressible());
    const Bytes full = pack::CompressLzmaAlone(data, random.size());
    EXPECT_TRUE(Decode(fast.data(), fast.size()) == Bytes(data, data + random.size()));
    EXPECT_LE(fast.size(), full.size() + full.size() / 1000) << "the fast coding costs more than 0.1 %";
}

TEST(Pack, ProgressBarAppearsOnlyOnATerminal) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project", output = scratch.Root() / "setup.exe";
    MakeProject(project);
    const std::string command =
        Quote(kPacker) + " --stub " + Quote(kProbe) + " -o " + Quote(output) + " " + Quote(project);

    const RunResult piped = RunCommand(command, scratch.Root());
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.err, "");
    EXPECT_NE(piped.out.find("wrote"), std::string::npos) << piped.out;

    const RunResult quiet = RunCommand(command + " --quiet", scratch.Root());
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out + quiet.err, "");

    // script(1) gives the packer a terminal and copies what it shows.
    const RunResult terminal = RunCommand("script -qec " + Quote(command) + " /dev/null", scratch.Root());
    EXPECT_EQ(terminal.exitCode, 0);
    EXPECT_NE(terminal.out.find("compressing ["), std::string::npos) << terminal.out;
    EXPECT_NE(terminal.out.find("100%  6/6 files"), std::string::npos) << terminal.out;

    const RunResult terminalQuiet = RunCommand("script -qec " + Quote(command + " -q") + " /dev/null", scratch.Root());
    EXPECT_EQ(terminalQuiet.exitCode, 0);
    EXPECT_EQ(terminalQuiet.out, "");
}

TEST(Pack, DefaultStubIsTheRuntimeBesideThePacker) {
    Scratch scratch;
    const fs::path project = scratch.Root() / "project", bin = scratch.Root() / "bin";
    MakeProject(project);
    fs::create_directories(bin);
    fs::copy_file(kPacker, bin / "zelto-pack");
    const std::string packer = Quote(bin / "zelto-pack");

    const RunResult without = RunCommand(packer + " -o " + Quote(scratch.Root() / "a.exe") + " " + Quote(project), scratch.Root());
    EXPECT_EQ(without.exitCode, 1);
    EXPECT_NE(without.err.find((bin / "zelto-setup.exe").string()), std::string::npos) << without.err;

    fs::copy_file(kProbe, bin / "zelto-setup.exe");
    const RunResult with = RunCommand(packer + " -o " + Quote(scratch.Root() / "b.exe") + " " + Quote(project), scratch.Root());
    EXPECT_EQ(with.exitCode, 0) << with.err;
    EXPECT_TRUE(PayloadOf(scratch.Root() / "b.exe", scratch.Root()) == ExpectedArchive(project));
}

TEST(Pack, CommandLineHelpVersionAndMistakes) {
    Scratch scratch;
    const RunResult help = RunCommand(Quote(kPacker) + " --help", scratch.Root());
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: zelto-pack", 0), 0u) << help.out;

    const RunResult version = RunCommand(Quote(kPacker) + " --version", scratch.Root());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("zelto-pack [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version.out;

    const std::string mistakes[] = {"", " project", " -o out.exe", " -o", " --bogus -o out.exe project",
                                    " -o out.exe one two", " -j 0 -o out.exe project", " --jobs=x -o out.exe project",
                                    " --fast=yes -o out.exe project", " -0 -o out.exe project",
                                    " --output= project"};
    for (const std::string& args : mistakes) {
        const RunResult run = RunCommand(Quote(kPacker) + args, scratch.Root());
        EXPECT_EQ(run.exitCode, 2) << "args:" << args;
        EXPECT_NE(run.err.find("zelto-pack: "), std::string::npos) << "args:" << args;
    }
}

}  // namespace
