// bramlotte: starts the program proper, bramlotte.bin in the same folder, with
// glibc's malloc asked to back its memory with huge pages where the system
// gives them on request. A build fills hundreds of megabytes of fresh memory:
// in 4 KiB pages that is tens of thousands of page faults, a tenth of a large
// build's time. glibc reads that setting only as a program starts, before its
// libraries load, so it is made here; the program proper is unchanged.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kTunables[] = "GLIBC_TUNABLES";
constexpr char kHugePages[] = "glibc.malloc.hugetlb";
constexpr char kProgram[] = "bramlotte.bin";
constexpr int kExitFailed = 2;  // the program's own status for a failure

// The tunables the user set, with huge pages for malloc added unless the
// user chose that setting already.
std::string withHugePages(const char* tunables) {
    std::string value = tunables ? tunables : "";
    if (value.find(kHugePages) != std::string::npos) {
        return value;
    }
    if (!value.empty()) {
        value += ':';
    }
    return value + kHugePages + "=1";
}

// The program proper: beside this one, wherever a link to this one lies.
// Empty when this program cannot tell where it lies (never the current
// folder's, which could hold any program of that name).
std::string programBesideThis() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return {};
    }
    std::string path(self, static_cast<size_t>(n));
    path.erase(path.rfind('/') + 1);
    return path + kProgram;
}

}  // namespace

int main(int, char** argv) {
    const std::string program = programBesideThis();
    if (program.empty()) {
        std::fprintf(stderr, "bramlotte: cannot find its own folder (/proc/self/exe): %s\n",
                     std::strerror(errno));
        return kExitFailed;
    }
    setenv(kTunables, withHugePages(std::getenv(kTunables)).c_str(), 1);
    // The arguments as given, the first included: the program names its
    // settings and messages after it, as it did when started directly.
    execv(program.c_str(), argv);
    std::fprintf(stderr, "bramlotte: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return kExitFailed;
}
