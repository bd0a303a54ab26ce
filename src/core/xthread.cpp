#include "core/xthread.h"

#include <cwchar>

namespace {

constexpr DWORD StopPollMs = 25;
constexpr int EventNameUnits = 100;

// Handed to the new thread, which frees it when its task returns.
struct StartBlock {
    WCHAR stopEventName[EventNameUnits];
    WorkerTask task;
    void* userData;
};

} // namespace

void XEvent::Create(const WCHAR* name)
{
    Close();
    SetLastError(ERROR_SUCCESS);
    handle_ = CreateEventW(nullptr, TRUE, FALSE, name);
    alreadyExisted_ = GetLastError() == ERROR_ALREADY_EXISTS;
}

void XEvent::Close()
{
    if (handle_)
        CloseHandle(handle_);
    handle_ = nullptr;
}

bool XEvent::IsSignalled() const
{
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}

XMutex::XMutex()
    : handle_(CreateMutexW(nullptr, FALSE, nullptr))
{
}

XMutex::~XMutex()
{
    if (handle_)
        CloseHandle(handle_);
    locked_ = 0;
}

void XMutex::Lock()
{
    if (!handle_)
        return;
    WaitForSingleObject(handle_, INFINITE);
    locked_ = 1;
}

bool XMutex::TryLock()
{
    if (!handle_ || WaitForSingleObject(handle_, 0) != WAIT_OBJECT_0)
        return false;
    locked_ = 1;
    return true;
}

void XMutex::Unlock()
{
    if (handle_)
        ReleaseMutex(handle_);
    locked_ = 0;
}

XWorkerThread::XWorkerThread()
{
    stopEvent_.Create(nullptr);
}

XWorkerThread::~XWorkerThread()
{
    Stop();
    stopEvent_.Close();
}

// Each start gets an event of its own, named after the clock; a name taken
// in the same millisecond moves on to the next number.
void XWorkerThread::CreateStopEvent()
{
    for (DWORD n = 0;; ++n) {
        stopEventName_.Format(L"TRDEVTQ-%d", static_cast<int>(GetTickCount() + n));
        stopEvent_.Create(stopEventName_);
        if (!stopEvent_.AlreadyExisted())
            return;
    }
}

void XWorkerThread::Start(WorkerTask task, void* userData, uint32_t stopTimeoutMs)
{
    Stop();
    suspended_ = 0;
    stopTimeoutMs_ = stopTimeoutMs;
    auto* block = new StartBlock {{}, task, userData};
    CreateStopEvent();
    wcsncpy(block->stopEventName, stopEventName_, EventNameUnits - 1);
    thread_ = CreateThread(nullptr, 0, Run, block, 0, nullptr);
    if (!thread_)
        delete block;
}

DWORD WINAPI XWorkerThread::Run(void* startBlock)
{
    auto* block = static_cast<StartBlock*>(startBlock);
    {
        XEvent stop;
        stop.Create(block->stopEventName);
        block->task(&stop, block->userData);
    }
    delete block;
    return 0;
}

bool XWorkerThread::IsFinished() const
{
    return !thread_ || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
}

void XWorkerThread::StopAndWait()
{
    if (!thread_)
        return;
    if (suspended_) {
        ResumeThread(thread_);
        suspended_ = 0;
    }
    SetEvent(stopEvent_.Handle());
    DWORD start = GetTickCount();
    while (WaitForSingleObject(thread_, StopPollMs) == WAIT_TIMEOUT) {
        if (stopTimeoutMs_ != 0 && GetTickCount() - start > stopTimeoutMs_) {
            SuspendThread(thread_);
            suspended_ = 1;
            return;
        }
    }
}

void XWorkerThread::Stop()
{
    if (!thread_)
        return;
    StopAndWait();
    CloseHandle(thread_);
    thread_ = nullptr;
    stopEvent_.Close();
}

bool XWorkerThread::PumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT)
            quitSeen_ = 1;
        if (quitSeen_)
            return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // A loop that has seen WM_QUIT must end even once the queue is empty.
    return !quitSeen_;
}
