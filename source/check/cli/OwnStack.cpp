#include "cli/OwnStack.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstring>

namespace {

// The process's own stack is what RLIMIT_STACK leaves after the arguments and the
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

// The work and its status, for the function that runs on the new stack:
// makecontext passes it no pointer portably.
const std::function<int()>* pendingWork = nullptr;
int workStatus = OWN_STACK_INCOMPLETE;
ucontext_t caller;
ucontext_t worker;

extern "C" void runWork() {
    workStatus = (*pendingWork)();
}

}  // namespace

int runOnOwnStack(const std::function<int()>& work) {
#ifdef DVL_SANITIZED
    // AddressSanitizer keeps its own account of the stacks and warns at
    // every switch; its builds check the code, not the stack limits.
    return work();
#endif
    // The same thread on another stack: tracers, /proc and fork see one
    // process as before.
    // Its lowest page stays unmapped for access, so an overflow faults.
    const std::size_t guard = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    char* stack = static_cast<char*>(mmap(nullptr, STACK_SIZE + guard, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    if (stack == MAP_FAILED || mprotect(stack, guard, PROT_NONE) != 0 || getcontext(&worker) != 0) {
        say("dashvane-launcher-check: cannot check: no memory for the check's stack\n");
        return OWN_STACK_INCOMPLETE;
    }
    catchOverflow();
    worker.uc_stack.ss_sp = stack + guard;
    worker.uc_stack.ss_size = STACK_SIZE;
    worker.uc_link = &caller;
    pendingWork = &work;
    makecontext(&worker, runWork, 0);
    if (swapcontext(&caller, &worker) != 0) {
        say("dashvane-launcher-check: cannot check: cannot switch to the check's stack\n");
        return OWN_STACK_INCOMPLETE;
    }
    munmap(stack, STACK_SIZE + guard);
    return workStatus;
}
