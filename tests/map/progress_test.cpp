// The headless progress indicator draws only on a terminal.
#include "support/desktop/terminal_progress.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <string>

using bramlotte::support::TerminalProgress;

namespace {

void runBuild(TerminalProgress& p) {
    p.setRange(1, 4);
    p.setStepValue(1);
    p.setPosition(1);
    p.setMessage("Building index...");
    p.step();
    p.show();
    p.step();
    p.step();
    p.hide();
    p.hide();  // hiding twice, or before showing, is harmless
}

// Everything written to `fd` so far: reads until nothing more arrives.
std::string drain(int fd) {
    std::string out;
    char buf[4096];
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 200) > 0 && (p.revents & POLLIN)) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

}  // namespace

TEST(TerminalProgress, SilentOnAPipeDrawnOnATerminal) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* piped = fdopen(fds[1], "w");
    {
        TerminalProgress p(piped);
        runBuild(p);
        EXPECT_FALSE(p.isVisible());
        EXPECT_EQ(p.position(), 4);
    }
    fclose(piped);
    EXPECT_EQ(drain(fds[0]), "");
    close(fds[0]);

    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        GTEST_SKIP() << "no pseudo-terminal available";
    }
    FILE* tty = fdopen(slave, "w");
    {
        TerminalProgress p(tty);
        runBuild(p);
    }
    fflush(tty);
    const std::string shown = drain(master);
    fclose(tty);
    close(master);
    EXPECT_NE(shown.find("Building index... ["), std::string::npos) << shown;
    EXPECT_NE(shown.find("100%"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << "hide clears the line";
}
