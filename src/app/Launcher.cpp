// zelvo: starts the editor (zelvo-editor) with OpenMP's idle threads waiting passively.
// libgomp reads its wait policy once, from the environment it is loaded with, and the editor
// loads it with Qt's libraries. Set here, before the editor is loaded at all, the policy spares
// the editor starting itself again, which loaded Qt's libraries twice.
// Kept to the C library, so that starting it costs next to nothing.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int, char** argv) {
    if (!std::getenv("OMP_WAIT_POLICY")) setenv("OMP_WAIT_POLICY", "PASSIVE", 1);
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        std::fprintf(stderr, "zelvo: cannot find where it is installed: %s\n",
                     std::strerror(errno));
        return 127;
    }
    self[n] = '\0';
    *(std::strrchr(self, '/') + 1) = '\0';
    // Built, the editor lies beside the launcher; installed, below lib/zelvo.
    char path[PATH_MAX + 32];
    int error = ENOENT;
    static const char* const kPlaces[] = {"zelvo-editor", "../lib/zelvo/zelvo-editor"};
    for (const char* place : kPlaces) {
        std::snprintf(path, sizeof path, "%s%s", self, place);
        execv(path, argv);
        if (errno != ENOENT || error == ENOENT) error = errno;
    }
    std::fprintf(stderr, "zelvo: cannot start the editor (%szelvo-editor): %s\n", self,
                 std::strerror(error));
    return 127;
}
