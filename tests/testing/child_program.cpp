#include "tests/testing/child_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <vector>

extern char** environ;

namespace bramlotte::testrun {
namespace {

// NULL-terminated pointers into `strings`, for execve.
std::vector<char*> pointersTo(std::vector<QByteArray>& strings) {
    std::vector<char*> pointers;
    for (QByteArray& s : strings) {
        pointers.push_back(s.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// The parent's environment with `changes` applied.
std::vector<QByteArray> environmentWith(const QStringList& changes) {
    std::vector<QByteArray> result;
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('='));
        const bool changed = std::any_of(changes.begin(), changes.end(), [&](const QString& c) {
            return c.section(QLatin1Char('='), 0, 0).toLocal8Bit() == name;
        });
        if (!changed) {
            result.push_back(entry);
        }
    }
    for (const QString& c : changes) {
        if (c.contains(QLatin1Char('='))) {
            result.push_back(c.toLocal8Bit());
        }
    }
    return result;
}

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

}  // namespace

ChildProgram::ChildProgram(const QString& program, const QStringList& args,
                           const ChildSetup& setup) {
    std::vector<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& a : args) {
        argv.push_back(a.toLocal8Bit());
    }
    std::vector<QByteArray> envp = environmentWith(setup.environment);
    std::vector<char*> argvPointers = pointersTo(argv);
    std::vector<char*> envpPointers = pointersTo(envp);
    const QByteArray outPath = QFile::encodeName(
        setup.standardOutput.isEmpty() ? capture_.filePath("out") : setup.standardOutput);
    const int out = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int err = ::open(QFile::encodeName(capture_.filePath("err")).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const QByteArray workDir = QFile::encodeName(setup.workDir);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (const int s : {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGXFSZ}) {
            ::signal(s, SIG_DFL);
        }
        if (setup.fileSizeLimit) {
            const rlimit limit{*setup.fileSizeLimit, *setup.fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!workDir.isEmpty() && ::chdir(workDir.constData()) != 0) {
            ::_exit(125);
        }
        if (setup.group && (::setgroups(0, nullptr) != 0 || ::setgid(*setup.group) != 0)) {
            ::_exit(126);
        }
        if (setup.user && ::setuid(*setup.user) != 0) {
            ::_exit(126);
        }
        ::execve(argvPointers[0], argvPointers.data(), envpPointers.data());
        ::_exit(127);
    }
    for (const int fd : {in, out, err}) {
        ::close(fd);
    }
}

ChildProgram::~ChildProgram() {
    if (running()) {
        ::kill(pid_, SIGKILL);
    }
    wait();
}

bool ChildProgram::running() {
    if (pid_ <= 0 || reaped_) {
        return false;
    }
    if (::waitpid(pid_, &waitStatus_, WNOHANG) == pid_) {
        reaped_ = true;
    }
    return !reaped_;
}

void ChildProgram::signal(int signal) {
    if (running()) {
        ::kill(pid_, signal);
    }
}

bool ChildProgram::signalWhenCreated(const QString& folder, const QString& pattern, int signal) {
    const QRegularExpression name(pattern);
    const int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0 || ::inotify_add_watch(fd, QFile::encodeName(folder).constData(),
                                      IN_CREATE | IN_MOVED_TO) < 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    bool sent = false;
    alignas(inotify_event) char buffer[16384];
    while (!sent && running() && clock.elapsed() < 300000) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0) {
            continue;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        for (ssize_t at = 0; n > 0 && at < n && !sent;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name.match(QFile::decodeName(event->name)).hasMatch()) {
                ::kill(pid_, signal);
                sent = true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(fd);
    return sent;
}

ChildEnding ChildProgram::wait() {
    if (pid_ > 0 && !reaped_) {
        while (::waitpid(pid_, &waitStatus_, 0) < 0 && errno == EINTR) {
        }
        reaped_ = true;
    }
    ChildEnding ending;
    ending.exited = WIFEXITED(waitStatus_);
    ending.status = ending.exited ? WEXITSTATUS(waitStatus_) : -1;
    ending.signal = WIFSIGNALED(waitStatus_) ? WTERMSIG(waitStatus_) : 0;
    ending.out = readAll(capture_.filePath("out"));
    ending.err = readAll(capture_.filePath("err"));
    return ending;
}

ChildEnding runChild(const QString& program, const QStringList& args, const ChildSetup& setup) {
    return ChildProgram(program, args, setup).wait();
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QStringList namesBeside(const QString& folder) {
    QStringList names = namesIn(folder);
    names.removeAll(QStringLiteral(".filler"));
    return names;
}

SmallFileSystem::SmallFileSystem(qint64 bytes) {
    if (::geteuid() != 0 || !dir_.isValid()) {
        return;
    }
    const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
    mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs",
                       MS_NOSUID | MS_NODEV, options.constData()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) {
        ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
}

void SmallFileSystem::fillLeaving(qint64 bytes) {
    const QByteArray path = QFile::encodeName(filePath(".filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::vector<char> zeros(1 << 16, 0);
    off_t size = 0;
    for (ssize_t n = 0; (n = ::write(fd, zeros.data(), zeros.size())) > 0;) {
        size += n;
    }
    ::ftruncate(fd, std::max<off_t>(0, size - bytes));
    ::close(fd);
}

std::optional<uid_t> unprivilegedUser() {
    if (::geteuid() != 0) {
        return std::nullopt;
    }
    const passwd* nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}

std::vector<std::optional<uid_t>> readOnlyTesters() {
    std::vector<std::optional<uid_t>> testers;
    if (::geteuid() == 0) {
        testers.push_back(std::nullopt);
    }
    testers.push_back(unprivilegedUser());
    return testers;
}

std::string testerName(std::optional<uid_t> user) {
    return !user && ::geteuid() == 0 ? "the superuser" : "an ordinary user";
}

ChildSetup asUser(std::optional<uid_t> user, const QString& home) {
    ChildSetup setup;
    if (user) {
        setup.user = *user;
        setup.group = *user;
        setup.environment = QStringList{"HOME=" + home, "XDG_RUNTIME_DIR"};
    }
    return setup;
}

QString openFolder(const QString& parent, const QString& name, std::optional<uid_t> user) {
    const QString path = parent + "/" + name;
    QDir().mkpath(path);
    ::chmod(QFile::encodeName(path).constData(), 0755);
    giveTo(path, user);
    return path;
}

void giveTo(const QString& path, std::optional<uid_t> user) {
    if (!user) {
        return;
    }
    (void)::chown(QFile::encodeName(path).constData(), *user, *user);
    if (QFileInfo(path).isDir()) {
        for (const QString& name : namesIn(path)) {
            giveTo(path + "/" + name, user);
        }
    }
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes, mode_t mode) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    f.write(bytes);
    f.close();
    ::chmod(QFile::encodeName(path).constData(), mode);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

}  // namespace bramlotte::testrun
