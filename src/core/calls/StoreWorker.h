#pragma once

#include "common/Errors.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread of its own for a store's queued writes, so that the main thread never waits for the
// disk when it learns a caller or journals a call. The store keeps the queue; the worker only
// calls the store's drain function, which writes everything queued so far in one go (several
// queued changes become one save) and throws IoError when it cannot.
//
// A failed drain keeps the queue (the store removes only what reached the file), reports the
// error through the error handler and is retried a second later and on every new wake, so no
// queued change is dropped while the program runs.
class StoreWorker
{
public:
    using Drain = std::function<void()>;
    using ErrorHandler = std::function<void(const IoError &)>;

    explicit StoreWorker(Drain drain);
    // Stops the thread. The owner writes what is still queued itself afterwards.
    ~StoreWorker();
    StoreWorker(const StoreWorker &) = delete;
    StoreWorker &operator=(const StoreWorker &) = delete;

    // Something was queued: the thread (started on first use) drains soon.
    void wake();
    // Ends the thread after the drain that is running, if any.
    void stop();
    // For the store's destructor: stops the thread, then drains once more on this thread when
    // `hasPending` says something is left; an error is logged, since no one is left to tell.
    void finish(const std::function<bool()> &hasPending);
    // Called on the worker thread for every failed drain; without one the error is logged.
    void setErrorHandler(ErrorHandler handler);

private:
    void run();
    void report(const IoError &error);

    Drain m_drain;
    ErrorHandler m_onError;
    std::mutex m_lock;
    std::condition_variable m_wakeUp;
    bool m_woken = false;
    bool m_stopping = false;
    std::thread m_thread;
};
