// The real bramlotte program run as a child process under the faults the
// tests provoke: a file-size limit, standard output on a full device,
// another user, a signal part way through a write. A small file system to
// fill, where the tests may mount one, and the file helpers those tests share.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bramlotte::testrun {

struct ChildSetup {
    // RLIMIT_FSIZE in bytes. SIGXFSZ keeps its default action, as under a
    // shell's `ulimit -f`: the program itself must turn a write past the
    // limit into a failure it reports.
    std::optional<rlim_t> fileSizeLimit;
    // A file to take standard output ("/dev/full"); captured otherwise.
    QString standardOutput;
    // Run as this user and group (set in the child before it starts).
    std::optional<uid_t> user;
    std::optional<gid_t> group;
    QString workDir;
    // Variables set ("NAME=value") or removed ("NAME") in the child.
    QStringList environment;
};

struct ChildEnding {
    bool exited = false;
    int status = -1;  // the exit status when it exited
    int signal = 0;   // the signal that ended it otherwise
    QString out, err;
};

class ChildProgram {
  public:
    // Starts `program` with `args`.
    ChildProgram(const QString& program, const QStringList& args, const ChildSetup& setup = {});
    // Ends a child still running with SIGKILL.
    ~ChildProgram();
    ChildProgram(const ChildProgram&) = delete;
    ChildProgram& operator=(const ChildProgram&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int signal);
    // Sends `signal` the moment a file whose name matches `pattern`
    // appears in `folder`. False when the child ended first.
    bool signalWhenCreated(const QString& folder, const QString& pattern, int signal);
    ChildEnding wait();

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int waitStatus_ = 0;
    QTemporaryDir capture_;
};

// Runs the program to its end.
ChildEnding runChild(const QString& program, const QStringList& args, const ChildSetup& setup = {});

// The names in `folder`, hidden ones too.
QStringList namesIn(const QString& folder);

// The names in `folder` apart from a full SmallFileSystem's filler.
QStringList namesBeside(const QString& folder);

// A tmpfs of `bytes` mounted on a folder of its own, unmounted at the end;
// invalid where the test may not mount one (not the superuser).
class SmallFileSystem {
  public:
    explicit SmallFileSystem(qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool isValid() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    // Fills the file system with a file of zeros, leaving `bytes` free.
    void fillLeaving(qint64 bytes);

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

// An unprivileged user to run the program as, when the test is the
// superuser; nullopt otherwise.
std::optional<uid_t> unprivilegedUser();
// Who a mode-444 file is tried with: the superuser (whom mode bits do not
// stop) when the test is one, and an ordinary user (unprivilegedUser(), or
// the test's own user, as nullopt).
std::vector<std::optional<uid_t>> readOnlyTesters();
// "the superuser" or "an ordinary user", for messages.
std::string testerName(std::optional<uid_t> user);
// The setup to run as `user` (when given), with `home` as its home.
ChildSetup asUser(std::optional<uid_t> user, const QString& home);

// A folder `name` in `parent` that anyone may read, owned by `user` when
// one is given.
QString openFolder(const QString& parent, const QString& name,
                   std::optional<uid_t> user = std::nullopt);
// Gives `path` and everything in it to `user`, when one is given.
void giveTo(const QString& path, std::optional<uid_t> user);

QByteArray bytesOf(const QString& path);  // "<missing>" for no file
void writeFile(const QString& path, const QByteArray& bytes, mode_t mode = 0644);
mode_t modeOf(const QString& path);

}  // namespace bramlotte::testrun
