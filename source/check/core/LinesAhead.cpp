#include "core/LinesAhead.h"

#include <utility>

namespace {

// How many findings, and how many bytes of their text, wait at most before
// the judging thread waits for them to be taken. A finding quotes its line,
// and a line may be megabytes long.
constexpr std::size_t FINDINGS_WAITING = 512;
constexpr std::size_t BYTES_WAITING = std::size_t{4} << 20;

// How much the judging thread gathers before it hands it over: seldom
// enough that the lock costs nothing.
constexpr std::size_t FINDINGS_A_TIME = 64;
constexpr std::size_t BYTES_A_TIME = BYTES_WAITING / 4;

std::size_t bytesOf(const Finding& finding) {
    return sizeof finding + finding.message.size() + finding.file.size() + finding.advice.size();
}

}  // namespace

LinesAhead::LinesAhead(std::function<void(LinesAhead&)> judge)
    : thread([this, judge = std::move(judge)] { run(judge); }) {}

LinesAhead::~LinesAhead() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopped = true;
    }
    changed.notify_all();
    thread.join();
}

void LinesAhead::run(const std::function<void(LinesAhead&)>& judge) noexcept {
    std::exception_ptr thrown;
    try {
        judge(*this);
        handOver(true);
        return;
    } catch (const Stopped&) {
        return;
    } catch (...) {
        thrown = std::current_exception();
    }
    // What was found before the failure still goes out before it.
    const std::lock_guard<std::mutex> guard(lock);
    for (Judged& judged : gathering) {
        ready.found.push_back(std::move(judged));
    }
    failure = thrown;
    ready.last = true;
    changed.notify_all();
}

void LinesAhead::add(std::size_t at, const Finding& finding) {
    gathering.push_back(Judged{at, finding});
    gatheredBytes += bytesOf(finding);
}

void LinesAhead::judged() {
    if (gathering.size() >= FINDINGS_A_TIME || gatheredBytes >= BYTES_A_TIME) {
        handOver(false);
    }
}

bool LinesAhead::full() const {
    return ready.found.size() >= FINDINGS_WAITING || readyBytes >= BYTES_WAITING;
}

void LinesAhead::handOver(bool last) {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return stopped || !full(); });
    if (stopped) {
        throw Stopped();
    }
    for (Judged& judged : gathering) {
        ready.found.push_back(std::move(judged));
    }
    readyBytes += gatheredBytes;
    ready.last = last;
    guard.unlock();
    changed.notify_all();
    gathering.clear();
    gatheredBytes = 0;
}

void LinesAhead::open() {
    {
        const std::lock_guard<std::mutex> guard(lock);
        opened = true;
    }
    changed.notify_all();
}

void LinesAhead::awaitOpen() {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return stopped || opened; });
    if (stopped) {
        throw Stopped();
    }
}

LinesAhead::Batch LinesAhead::take() {
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !ready.found.empty() || ready.last; });
    if (ready.found.empty() && failure) {
        std::rethrow_exception(failure);
    }
    Batch taken;
    taken.found.swap(ready.found);
    taken.last = ready.last && !failure;
    readyBytes = 0;
    guard.unlock();
    changed.notify_all();
    return taken;
}
