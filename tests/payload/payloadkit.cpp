#include "payloadkit.h"

#include "pack/archive_writer.h"

#include <stdexcept>

namespace {

const WCHAR StubName[] = L"payload_carrier.exe";
const WCHAR ScratchPrefix[] = L"zelto-test-";
const DWORD SweepPollMs = 5;
const UINT MessageTimeoutMs = 5000;

std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!window || !SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &length))
        return L"";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
        MessageTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<BoxSearch*>(param);
    WCHAR className[16] = {};
    GetClassNameW(window, className, 16);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == search->processId && wcscmp(className, L"#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

void Dismiss(HWND box)
{
    const int preferred[] = {IDOK, IDCANCEL, IDNO};
    for (int id : preferred) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, MessageTimeoutMs, &ignored);
            return;
        }
    }
    PostMessageW(box, WM_CLOSE, 0, 0);
}

void WaitUntilGone(HWND box)
{
    DWORD start = GetTickCount();
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount() - start < MessageTimeoutMs)
        Sleep(1);
}

} // namespace

HWND FindMessageBox(DWORD processId)
{
    BoxSearch search {processId, nullptr};
    EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring MessageTextOf(HWND box)
{
    WCHAR text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    return text;
}

Bytes MakeArchive(const std::vector<TestItem>& items)
{
    std::vector<pack::ArchiveItem> packed;
    for (const TestItem& item : items) {
        pack::ArchiveItem archived;
        archived.name = item.name;
        archived.uncompressedSize = static_cast<uint32_t>(item.content.size());
        if (!item.content.empty() || item.codeEmpty) {
            archived.stream = pack::CompressLzmaAlone(reinterpret_cast<const uint8_t*>(item.content.data()),
                item.content.size());
        }
        packed.push_back(std::move(archived));
    }
    return pack::BuildArchive(packed);
}

uint32_t U32At(const Bytes& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes.at(at)) | static_cast<uint32_t>(bytes.at(at + 1)) << 8
        | static_cast<uint32_t>(bytes.at(at + 2)) << 16 | static_cast<uint32_t>(bytes.at(at + 3)) << 24;
}

void PutU32(Bytes& bytes, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<uint8_t>(value >> (8 * i));
}

size_t TrailerAt(const Bytes& bytes)
{
    return bytes.size() - pack::kArchiveTrailerSize;
}

size_t DirectoryAt(const Bytes& bytes)
{
    return U32At(bytes, TrailerAt(bytes) + 8);
}

std::vector<EntryView> Entries(const Bytes& bytes)
{
    std::vector<EntryView> entries;
    size_t at = DirectoryAt(bytes);
    uint32_t count = U32At(bytes, TrailerAt(bytes) + 12);
    for (uint32_t i = 0; i < count; ++i) {
        EntryView entry {at, U32At(bytes, at), U32At(bytes, at + 4), U32At(bytes, at + 8), U32At(bytes, at + 12), ""};
        size_t nameLength = bytes.at(at + 16);
        entry.name.assign(reinterpret_cast<const char*>(&bytes.at(at + 17)), nameLength - 1);
        entries.push_back(entry);
        at += pack::kEntryFixedSize + nameLength;
    }
    return entries;
}

EntryView EntryNamed(const Bytes& bytes, const std::string& name)
{
    for (const EntryView& entry : Entries(bytes)) {
        if (entry.name == name)
            return entry;
    }
    throw std::logic_error("no entry named " + name);
}

void ResealTrailer(Bytes& bytes)
{
    size_t trailer = TrailerAt(bytes);
    int32_t sum = 0;
    for (size_t i = 8; i < pack::kArchiveTrailerSize; ++i)
        sum += static_cast<int8_t>(bytes[trailer + i]);
    PutU32(bytes, trailer + 4, static_cast<uint32_t>(sum));
    PutU32(bytes, trailer, pack::FileChecksum(bytes.data(), trailer));
}

void ResealEntry(Bytes& bytes, size_t entryAt)
{
    uint32_t offset = U32At(bytes, entryAt);
    uint32_t size = U32At(bytes, entryAt + 4);
    if (static_cast<uint64_t>(offset) + size <= bytes.size())
        PutU32(bytes, entryAt + 12, pack::StreamSum(bytes.data() + offset, size));
}

std::wstring ProgramFolder()
{
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::wstring TempFolder()
{
    WCHAR path[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, path);
    return std::wstring(path, n);
}

std::vector<std::wstring> TempLeftovers()
{
    std::vector<std::wstring> left;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((TempFolder() + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return left;
    do {
        std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || name.rfind(ScratchPrefix, 0) == 0)
            continue;
        left.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return left;
}

std::wstring Wide(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text)
{
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 128 ? static_cast<char>(c) : '?';
    return narrow;
}

void EmbedPayload(const std::wstring& exe, const Bytes& archive)
{
    HANDLE update = BeginUpdateResourceW(exe.c_str(), FALSE);
    if (!update)
        throw std::runtime_error("cannot update the resources of " + Narrow(exe));
    BOOL added = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(24356), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
        const_cast<uint8_t*>(archive.data()), static_cast<DWORD>(archive.size()));
    if (!EndUpdateResourceW(update, !added) || !added)
        throw std::runtime_error("cannot embed the payload in " + Narrow(exe));
}

PayloadModule::PayloadModule(const std::wstring& path, const Bytes* archive)
    : path_(path)
{
    if (!CopyFileW((ProgramFolder() + StubName).c_str(), path.c_str(), FALSE))
        throw std::runtime_error("cannot copy the stub program to " + Narrow(path));
    // An empty resource cannot be written; to the reader it is the same as none.
    if (archive && !archive->empty())
        EmbedPayload(path, *archive);
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module_)
        throw std::runtime_error("cannot load " + Narrow(path));
}

PayloadModule::~PayloadModule()
{
    FreeLibrary(module_);
    DeleteFileW(path_.c_str());
}

BoxDismisser* BoxDismisser::active_ = nullptr;

BoxDismisser::BoxDismisser()
    : hook_(SetWindowsHookExW(WH_CBT, OnWindowEvent, nullptr, GetCurrentThreadId()))
{
    if (!hook_)
        throw std::runtime_error("cannot watch this thread's windows");
    active_ = this;
}

BoxDismisser::~BoxDismisser()
{
    UnhookWindowsHookEx(hook_);
    active_ = nullptr;
}

LRESULT CALLBACK BoxDismisser::OnWindowEvent(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    WCHAR className[16] = {};
    // Wine also reports the activation of other processes' windows here.
    bool ours = GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
    if (active_ && ours && code == HCBT_ACTIVATE && GetClassNameW(window, className, 16)
        && wcscmp(className, L"#32770") == 0 && window != active_->lastBox_) {
        active_->lastBox_ = window;
        WCHAR caption[256] = {};
        GetWindowTextW(window, caption, 256);
        active_->seen_.push_back(SeenBox {caption, MessageTextOf(window)});
        int button = GetDlgItem(window, IDOK) ? IDOK : IDCANCEL;
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, button)));
    }
    if (active_ && code == HCBT_DESTROYWND && window == active_->lastBox_)
        active_->lastBox_ = nullptr;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BoxSweeper::BoxSweeper(DWORD processId)
    : processId_(processId)
    , watcher_(&BoxSweeper::Watch, this)
{
}

BoxSweeper::~BoxSweeper()
{
    Finish();
}

std::vector<BoxSweeper::Seen> BoxSweeper::Finish()
{
    stop_ = true;
    if (watcher_.joinable())
        watcher_.join();
    return seen_;
}

void BoxSweeper::Watch()
{
    for (;;) {
        bool stopping = stop_;
        if (HWND box = FindMessageBox(processId_)) {
            seen_.push_back(Seen {TextOf(box), TextOf(GetDlgItem(box, 0xFFFF))});
            Dismiss(box);
            WaitUntilGone(box);
            continue;
        }
        if (stopping)
            return;
        Sleep(SweepPollMs);
    }
}
