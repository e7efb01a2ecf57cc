#include "OwnStack.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

// The initial stack is what RLIMIT_STACK leaves after the arguments and the
// environment: under a limit of 136 KiB and 125 KB of environment that is
// a few KiB. The check's own stack does not depend on either.
constexpr std::size_t STACK_SIZE = std::size_t{8} << 20;

// Where the handler of an overflow runs; static, as no stack is left then.
alignas(16) char signalStack[64 * 1024];

void say(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, text, left);
        if (written <= 0) {
            return;
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

extern "C" void onOverflow(int) {
    say("dashvane-launcher-check: cannot check: the check ran out of stack or memory\n");
    _exit(OWN_STACK_INCOMPLETE);
}

// A fault on the check's own stack, or a page that cannot be had, ends the
// check with its could-not-complete status instead of a signal.
void catchOverflow() {
    stack_t alternate{};
    alternate.ss_sp = signalStack;
    alternate.ss_size = sizeof signalStack;
    if (sigaltstack(&alternate, nullptr) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onOverflow;
    action.sa_flags = SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
}

struct Job {
    const std::function<int()>* work;
    int status;
};

extern "C" void* runJob(void* argument) {
    Job& job = *static_cast<Job*>(argument);
    catchOverflow();
    job.status = (*job.work)();
    return nullptr;
}

}  // namespace

int runOnOwnStack(const std::function<int()>& work) {
    Job job{&work, OWN_STACK_INCOMPLETE};
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0 ||
        pthread_attr_setstacksize(&attributes, STACK_SIZE) != 0 ||
        pthread_create(&thread, &attributes, runJob, &job) != 0) {
        say("dashvane-launcher-check: cannot check: no memory for the check's stack\n");
        return OWN_STACK_INCOMPLETE;
    }
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
    return job.status;
}
