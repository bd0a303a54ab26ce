// Events, mutexes and the worker thread that runs the installer's long
// tasks while the main thread keeps the windows alive. A task learns that
// it should stop by looking at its stop event; it is never killed.
#pragma once

#include "core/xstring.h"

#include <windows.h>

#include <cstdint>

class XEvent {
public:
    XEvent() = default;
    ~XEvent() { Close(); }
    XEvent(const XEvent&) = delete;
    XEvent& operator=(const XEvent&) = delete;

    // Manual-reset and not set; a named event that exists is opened.
    void Create(const WCHAR* name);
    void Close();
    bool IsSignalled() const;
    bool AlreadyExisted() const { return alreadyExisted_ != 0; }
    HANDLE Handle() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
    uint8_t alreadyExisted_ = 0;
};

// A recursive Windows mutex: the holder may take it again and must release
// it as often.
class XMutex {
public:
    XMutex();
    ~XMutex();
    XMutex(const XMutex&) = delete;
    XMutex& operator=(const XMutex&) = delete;

    void Lock();
    bool TryLock();
    void Unlock();
    bool IsLocked() const { return locked_ != 0; }

private:
    HANDLE handle_;
    uint8_t locked_ = 0;
    uint8_t alreadyExisted_ = 0;
};

// Holds a mutex for the length of a scope.
class XMutexLock {
public:
    explicit XMutexLock(XMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~XMutexLock() { mutex_.Unlock(); }
    XMutexLock(const XMutexLock&) = delete;
    XMutexLock& operator=(const XMutexLock&) = delete;

private:
    XMutex& mutex_;
};

using WorkerTask = void (*)(XEvent* stopEvent, void* userData);

class XWorkerThread {
public:
    XWorkerThread();
    ~XWorkerThread();
    XWorkerThread(const XWorkerThread&) = delete;
    XWorkerThread& operator=(const XWorkerThread&) = delete;

    // stopTimeoutMs 0: StopAndWait waits for as long as the task runs.
    void Start(WorkerTask task, void* userData, uint32_t stopTimeoutMs);
    bool IsFinished() const;
    // Asks the task to stop and waits; a task that overruns the stop
    // timeout is suspended and left behind.
    void StopAndWait();
    void Stop();
    bool IsSuspended() const { return suspended_ != 0; }
    // The name of the current stop event ("TRDEVTQ-<ticks>").
    const XString& StopEventName() const { return stopEventName_; }

    // Dispatches the calling thread's pending window messages; false once
    // WM_QUIT has been taken from the queue, on this and every later call.
    bool PumpMessages();

private:
    static DWORD WINAPI Run(void* startBlock);
    void CreateStopEvent();

    XEvent stopEvent_;
    HANDLE thread_ = nullptr;
    uint32_t stopTimeoutMs_ = 0;
    uint8_t suspended_ = 0;
    uint8_t quitSeen_ = 0;
    XString stopEventName_;
};
