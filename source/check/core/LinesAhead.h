// The findings of the ini file's lines, judged on a thread of their own
// while the launch is gathered and judged, handed over in the order they
// were made. Only a few hundred wait at a time: a file with a finding on
// every line does not hold them all.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "model/Finding.h"

class LinesAhead {
public:
    // A finding and the line being judged when it was made.
    struct Judged {
        std::size_t at = 0;
        Finding finding;
    };
    // What is handed over at once.
    struct Batch {
        std::vector<Judged> found;
        bool last = false;  // the judgement is over
    };

    // Runs `judge` on another thread, which hands its findings over with
    // add() and judged(). Throws std::system_error where no thread can be had.
    explicit LinesAhead(std::function<void(LinesAhead&)> judge);
    // Stops the judgement where it is and waits for its thread.
    ~LinesAhead();
    LinesAhead(const LinesAhead&) = delete;
    LinesAhead& operator=(const LinesAhead&) = delete;

    // For `judge`: a finding made while line `at` was judged.
    void add(std::size_t at, const Finding& finding);
    // For `judge`, after each line: hands over what it gathered once that is
    // many, waiting while as many wait to be taken.
    void judged();

    // For the check: what the judgement may wait for, the launcher's own
    // vector, is known from now on.
    void open();
    // For `judge`: waits until open().
    void awaitOpen();

    // Waits for findings or for the end of the judgement, and takes what
    // there is. What the judgement threw, such as std::bad_alloc, is thrown
    // here once every finding made before it was taken.
    Batch take();

private:
    struct Stopped {};
    void run(const std::function<void(LinesAhead&)>& judge) noexcept;
    void handOver(bool last);
    bool full() const;

    // The judging thread's own, until handed over.
    std::vector<Judged> gathering;
    std::size_t gatheredBytes = 0;

    std::mutex lock;
    std::condition_variable changed;
    // Shared, under the lock.
    Batch ready;
    std::size_t readyBytes = 0;
    bool stopped = false;
    bool opened = false;
    std::exception_ptr failure;

    std::thread thread;
};
