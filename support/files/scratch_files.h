// Scratch files: files that exist only while the program writes something,
// such as the temporary file beside a target that is renamed over it at the
// end. Each is registered while it exists; when SIGHUP, SIGINT or SIGTERM
// ends the program by its default action, the handler removes every
// registered file, then lets the signal end the program. (Where the program
// had set a handler of its own, that handler is called instead and the
// program's writes go on.) Every other way out removes them through the
// owning object. Only SIGKILL (or a crash) can leave one behind.
#pragma once

#include <QByteArray>

#include <csignal>

namespace bramlotte::support {

class ScratchFile {
  public:
    ScratchFile() = default;
    // Registers `path` (encoded as the system takes it). The file itself
    // need not exist yet.
    explicit ScratchFile(QByteArray path);
    // Removes the file unless it was kept.
    ~ScratchFile();
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const QByteArray& path() const { return path_; }
    bool isEmpty() const { return path_.isEmpty(); }

    // The file has been renamed into place (or is to stay): forget it.
    void keep();
    // Removes the file now and forgets it.
    void remove();

  private:
    void unregister();

    QByteArray path_;
    int slot_ = -1;  // its place in the signal handler's table, or -1
};

// Held while a scratch file is created and registered (a name the system
// chooses, as mkstemp's, exists before it can be registered): the ending
// signals wait on this thread, and a handler running on another thread
// waits until the file is registered, so that no moment leaves it behind.
class ScratchFileBeingMade {
  public:
    ScratchFileBeingMade();
    ~ScratchFileBeingMade();
    ScratchFileBeingMade(const ScratchFileBeingMade&) = delete;
    ScratchFileBeingMade& operator=(const ScratchFileBeingMade&) = delete;

  private:
    sigset_t saved_;
};

// How many scratch files are registered (for tests).
int registeredScratchFiles();

}  // namespace bramlotte::support
