#include "packer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "pack/archive_writer.h"
#include "pe_resources.h"
#include "script_check.h"

namespace fs = std::filesystem;

namespace pack {

namespace {

const char kScriptName[] = "setup.dat";
// Items the runtime itself looks for, whatever the script says.
const char* const kSetupFiles[] = {"setup.dat", "setup.lic", "setup.bmp"};

struct ProjectFile {
    fs::path path;
    std::string name;  // path below the project folder, folders joined by backslashes
    uint64_t size;
};

std::string LastErrorText() { return errno ? std::strerror(errno) : "unknown error"; }

std::vector<uint8_t> ReadWholeFile(const fs::path& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) throw PackError(ShowPath(path), "cannot read the file (" + LastErrorText() + ")");
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackError(ShowPath(path), "cannot read the file (" + LastErrorText() + ")");
    return bytes;
}

std::string ItemName(const fs::path& relative) {
    std::string name;
    for (const fs::path& part : relative) {
        if (!name.empty()) name += '\\';
        name += part.string();
    }
    return name;
}

std::string FoldAsciiCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void CheckReadable(const fs::path& path, const fs::file_status& status) {
    if (status.type() == fs::file_type::not_found)
        throw PackError(ShowPath(path), "cannot read the file (it is a link to nothing)");
    if (status.type() != fs::file_type::regular)
        throw PackError(ShowPath(path), "cannot read the file (not a regular file)");
    errno = 0;
    std::ifstream probe(path, std::ios::binary);
    if (!probe) throw PackError(ShowPath(path), "cannot read the file (" + LastErrorText() + ")");
}

// Every file below the project folder, sorted by item name so that the
// archive does not depend on the order the file system lists them in.
std::vector<ProjectFile> CollectProjectFiles(const fs::path& project, const fs::path& output) {
    std::error_code ec;
    if (!fs::is_directory(project, ec)) throw PackError(ShowPath(project), "no such project folder");

    std::vector<ProjectFile> files;
    const bool outputExists = fs::exists(output, ec);
    fs::recursive_directory_iterator it(project, ec), end;
    if (ec) throw PackError(ShowPath(project), "cannot list the folder (" + ec.message() + ")");
    for (; it != end; it.increment(ec)) {
        if (ec) break;
        const fs::path& path = it->path();
        const fs::file_status status = fs::status(path, ec);
        if (fs::is_directory(status)) continue;  // linked folders are not followed
        if (outputExists && fs::equivalent(path, output, ec)) continue;  // an earlier setup.exe
        CheckReadable(path, status);

        const std::string name = ItemName(path.lexically_relative(project));
        if (name.size() > archive::MaxItemNameLength)
            throw PackError(ShowPath(path), "the item name has " + std::to_string(name.size()) +
                            " characters; at most 254 are allowed");
        const uint64_t size = fs::file_size(path, ec);
        if (ec) throw PackError(ShowPath(path), "cannot read the file (" + ec.message() + ")");
        if (size > archive::MaxItemSize)
            throw PackError(ShowPath(path), "the file is " + std::to_string(size) +
                                                " bytes; the installer unpacks items of at most " +
                                                std::to_string(archive::MaxItemSize) + " bytes (" +
                                                std::to_string(archive::MaxItemSize >> 20) + " MiB)");
        files.push_back({path, name, size});
    }
    if (ec) throw PackError(ShowPath(it == end ? project : it->path()), "cannot list the folder (" +
                            ec.message() + ")");

    std::sort(files.begin(), files.end(),
              [](const ProjectFile& a, const ProjectFile& b) { return a.name < b.name; });
    std::map<std::string, const ProjectFile*> byFoldedName;
    for (const ProjectFile& file : files) {
        auto [known, added] = byFoldedName.emplace(FoldAsciiCase(file.name), &file);
        if (!added)
            throw PackError(ShowPath(file.path), "same item name as " + ShowPath(known->second->path) +
                            " but for letter case; the setup could only ever unpack one of them");
    }
    return files;
}

const ProjectFile* FindItem(const std::vector<ProjectFile>& files, const std::string& name) {
    for (const ProjectFile& file : files)
        if (EqualsIgnoringAsciiCase(file.name, name)) return &file;
    return nullptr;
}

bool IsSetupFile(const std::string& name) {
    return std::any_of(std::begin(kSetupFiles), std::end(kSetupFiles),
                       [&](const char* setupFile) { return EqualsIgnoringAsciiCase(name, setupFile); });
}

// Mistakes in the script that the runtime would pass over without a word.
// With `strict` they are errors: all are listed, then the packing stops.
void CheckScript(const fs::path& project, const std::vector<ProjectFile>& files, bool strict,
                 std::ostream& diagnostics) {
    const ProjectFile* script = FindItem(files, kScriptName);
    if (!script) throw PackError(ShowPath(project / kScriptName), "no setup script in the project folder");

    const ScriptScan scan = ScanScript(ReadWholeFile(script->path));
    const std::string scriptPath = ShowPath(script->path);
    for (const ItemReference& reference : scan.references)
        if (!FindItem(files, reference.item))
            throw PackError(scriptPath + ":" + std::to_string(reference.line),
                            "\"" + reference.section + "\" names the item \"" + reference.item +
                                "\", which is not in " + ShowPath(project));

    const char* const kind = strict ? ": error: " : ": warning: ";
    size_t count = 0;
    for (const ScriptNote& warning : scan.warnings) {
        diagnostics << scriptPath << ":" << warning.line << kind << warning.text << "\n";
        ++count;
    }
    if (!scan.container) {
        for (const ProjectFile& file : files) {
            if (IsSetupFile(file.name)) continue;
            const bool named =
                std::any_of(scan.references.begin(), scan.references.end(),
                            [&](const ItemReference& r) { return EqualsIgnoringAsciiCase(r.item, file.name); });
            if (!named) {
                diagnostics << ShowPath(file.path) << kind << "nothing in " << kScriptName << " refers to this file\n";
                ++count;
            }
        }
    }
    if (strict && count)
        throw PackError("", std::to_string(count) + (count == 1 ? " mistake" : " mistakes") +
                                " in the project (--strict); no setup written");
}

// Samples from the start, the middle and the end of a large file tell
// whether it is worth the full effort of the encoder.
constexpr uint64_t kSampledFileSize = 1u << 20;
constexpr size_t kSampleSize = 64u << 10;
constexpr int kSamples = 4;

std::vector<std::vector<uint8_t>> ReadSamples(std::ifstream& in, uint64_t size) {
    std::vector<std::vector<uint8_t>> samples;
    for (int i = 0; i < kSamples; ++i) {
        const uint64_t at = (size - kSampleSize) * static_cast<uint64_t>(i) / (kSamples - 1);
        std::vector<uint8_t> sample(kSampleSize);
        in.seekg(static_cast<std::streamoff>(at));
        in.read(reinterpret_cast<char*>(sample.data()), static_cast<std::streamsize>(sample.size()));
        if (!in) throw std::runtime_error("cannot read the file");
        samples.push_back(std::move(sample));
    }
    in.seekg(0);
    return samples;
}

ArchiveItem CompressFile(const ProjectFile& file, int level, std::atomic<uint64_t>& bytesRead) {
    ArchiveItem item;
    item.name = file.name;
    item.uncompressedSize = static_cast<uint32_t>(file.size);
    // An empty file is stored as an empty stream, which unpacks to an empty file.
    if (file.size == 0) return item;

    std::ifstream in(file.path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the file");
    LzmaSettings settings = SettingsForLevel(level);
    if (level > kFastestLevel && file.size >= kSampledFileSize && LooksIncompressible(ReadSamples(in, file.size)))
        settings = SettingsForIncompressible();
    ByteSource source = [&](uint8_t* buffer, size_t capacity) {
        in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(capacity));
        if (in.bad()) throw std::runtime_error("cannot read the file");
        const auto count = static_cast<size_t>(in.gcount());
        bytesRead += count;
        return count;
    };
    item.stream = CompressLzmaAlone(source, item.uncompressedSize, settings);
    return item;
}

class ProgressBar {
public:
    ProgressBar(bool visible, uint64_t totalBytes, size_t totalItems)
        : visible_(visible), totalBytes_(totalBytes), totalItems_(totalItems) {}

    void Draw(uint64_t bytes, size_t items) const {
        if (!visible_) return;
        constexpr int kWidth = 30;
        const double fraction = totalBytes_ ? static_cast<double>(bytes) / static_cast<double>(totalBytes_)
                                            : totalItems_ ? static_cast<double>(items) / static_cast<double>(totalItems_) : 1.0;
        const int filled = static_cast<int>(fraction * kWidth);
        std::fprintf(stderr, "\rcompressing [%s%s] %3d%%  %zu/%zu files", std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), static_cast<int>(fraction * 100), items, totalItems_);
        std::fflush(stderr);
    }
    void Finish() const {
        if (visible_) std::fputs("\n", stderr);
    }

private:
    bool visible_;
    uint64_t totalBytes_;
    size_t totalItems_;
};

// One encoder per item, as many items at once as there are cores. The
// largest items go first, so that no core is left with a large one at the
// end while the others wait; the archive keeps the items in name order.
std::vector<ArchiveItem> CompressItems(const std::vector<ProjectFile>& files, int level, unsigned jobs,
                                       bool showProgress) {
    std::vector<ArchiveItem> items(files.size());
    std::vector<size_t> order(files.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return files[a].size > files[b].size; });
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> bytesRead{0};
    std::atomic<bool> failed{false};
    std::mutex lock;
    std::condition_variable changed;
    size_t itemsDone = 0;
    size_t workersDone = 0;
    size_t failedIndex = files.size();
    std::string failure;
    std::string failedFile;

    // The first failing item in name order is the one reported, whichever
    // worker met it first.
    auto fail = [&](size_t i, const std::string& reason) {
        std::lock_guard<std::mutex> guard(lock);
        if (i < failedIndex) {
            failedIndex = i;
            failedFile = ShowPath(files[i].path);
            failure = reason;
        }
        failed = true;
    };
    auto work = [&] {
        while (!failed) {
            const size_t k = next++;
            if (k >= order.size()) break;
            const size_t i = order[k];
            try {
                items[i] = CompressFile(files[i], level, bytesRead);
            } catch (const std::bad_alloc&) {
                fail(i, "out of memory");
            } catch (const std::exception& e) {
                fail(i, e.what());
            }
            std::lock_guard<std::mutex> guard(lock);
            ++itemsDone;
            changed.notify_all();
        }
        std::lock_guard<std::mutex> guard(lock);
        ++workersDone;
        changed.notify_all();
    };

    uint64_t totalBytes = 0;
    for (const ProjectFile& file : files) totalBytes += file.size;
    const ProgressBar bar(showProgress, totalBytes, files.size());

    const size_t cores = jobs ? jobs : std::thread::hardware_concurrency();
    const size_t workerCount = std::max<size_t>(1, std::min<size_t>(cores, files.size()));
    std::vector<std::thread> workers;
    for (size_t i = 0; i < workerCount; ++i) workers.emplace_back(work);
    {
        std::unique_lock<std::mutex> guard(lock);
        while (workersDone < workerCount) {
            bar.Draw(bytesRead, itemsDone);
            changed.wait_for(guard, std::chrono::milliseconds(100));
        }
        if (!failed) bar.Draw(bytesRead, itemsDone);
    }
    for (std::thread& worker : workers) worker.join();
    bar.Finish();
    if (failed) throw PackError(failedFile, failure);
    return items;
}

// The half-written setup under a temporary name beside the output; it is
// removed on failure and on Ctrl+C, and renamed into place when complete.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const fs::path& output) : output_(output) {
        std::random_device random;
        std::ostringstream suffix;
        suffix << "." << std::hex << random() << ".tmp";
        path_ = output;
        path_ += suffix.str();
        errno = 0;
        stream_.open(path_, std::ios::binary | std::ios::trunc);
        if (!stream_) throw PackError(ShowPath(output), "cannot write the file (" + LastErrorText() + ")");
        s_pendingPath = path_.native();
        std::signal(SIGINT, RemoveOnSignal);
        std::signal(SIGTERM, RemoveOnSignal);
    }

    ~TemporaryOutput() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        if (stream_.is_open()) stream_.close();
        std::error_code ec;
        if (!committed_) fs::remove(path_, ec);
    }

    std::ostream& Stream() { return stream_; }

    void Commit() {
        stream_.flush();
        const bool written = stream_.good();
        stream_.close();
        if (!written || stream_.fail()) throw PackError(ShowPath(output_), "cannot write the file (disk full?)");
        std::error_code ec;
        fs::rename(path_, output_, ec);
        if (ec) throw PackError(ShowPath(output_), "cannot write the file (" + ec.message() + ")");
        committed_ = true;
    }

private:
    static void RemoveOnSignal(int signal) {
#ifdef _WIN32
        _wremove(s_pendingPath.c_str());
#else
        std::remove(s_pendingPath.c_str());
#endif
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }

    static inline fs::path::string_type s_pendingPath;

    fs::path output_;
    fs::path path_;
    std::ofstream stream_;
    bool committed_ = false;
};

void CheckStub(const fs::path& stubPath, const std::vector<uint8_t>& stub) {
    std::ostream discard(nullptr);
    try {
        WriteStubWithResource(stub, archive::PayloadResourceId, {}, discard);
    } catch (const StubError& e) {
        throw PackError(ShowPath(stubPath), "not a Windows executable that can carry the setup (" + std::string(e.what()) +
                        ")");
    }
}

}  // namespace

std::string ShowPath(const fs::path& path) { return path.u8string(); }

void PackProject(const PackOptions& options, std::ostream& diagnostics, std::ostream& summary) {
    const std::vector<uint8_t> stub = ReadWholeFile(options.stub);
    CheckStub(options.stub, stub);

    const std::vector<ProjectFile> files = CollectProjectFiles(options.project, options.output);
    CheckScript(options.project, files, options.strict, diagnostics);

    TemporaryOutput output(options.output);
    std::vector<uint8_t> archive;
    {
        const std::vector<ArchiveItem> items =
            CompressItems(files, options.level, options.jobs, options.showProgress);
        try {
            archive = BuildArchive(items);
        } catch (const std::length_error&) {
            throw PackError(ShowPath(options.output), "the archive would reach 4 GiB");
        }
    }
    try {
        WriteStubWithResource(stub, archive::PayloadResourceId, archive, output.Stream());
    } catch (const StubError& e) {
        throw PackError(ShowPath(options.output), e.what());
    }
    output.Commit();

    uint64_t inputBytes = 0;
    for (const ProjectFile& file : files) inputBytes += file.size;
    if (!options.quiet)
        summary << "zelto-pack: wrote " << ShowPath(options.output) << " (" << files.size() << " files, "
                << inputBytes << " bytes packed into " << archive.size() << ")\n";
}

}  // namespace pack
