// Executes its arguments and reports how execv failed. busybox's shell runs a
// file that fails with ENOEXEC as a script, so it cannot show that failure.
// Without arguments it only says that it ran.
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        puts("ran");
        return 0;
    }
    execv(argv[1], argv + 1);
    printf("execv: %s\n", strerror(errno));
    return 127;
}
