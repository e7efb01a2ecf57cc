/* The least any launcher has to do, for the launch benchmark: fork, change
 * into the start directory and execute the program with a ready-made
 * argument vector. It reads no ini file and traces nothing.
 *
 * Usage: launch_floor START_DIR PROGRAM [ARG...]
 * PROGRAM is both the file executed and the child's argv[0]. */
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    if (fork() == 0) {
        if (chdir(argv[1]) != 0) {
            _exit(1);
        }
        execv(argv[2], argv + 2);
        _exit(1);
    }
    return 1;
}
