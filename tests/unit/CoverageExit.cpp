// Linked into the unit tests of the coverage build only, with
// -Wl,--wrap=_exit: the launcher's _exit calls (after std::terminate, say)
// write the gcov counters before the process ends, so the death tests that
// reach them count.
extern "C" {
void __gcov_dump(void);
[[noreturn]] void __real__exit(int status);

[[noreturn]] void __wrap__exit(int status) {
    __gcov_dump();
    __real__exit(status);
}
}
