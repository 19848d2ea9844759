#include "OVShared/Platform/Process.h"

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace ov {
namespace {

bool HasSeparator(std::string_view s) { return s.find_first_of("/\\") != std::string_view::npos; }

// The program file a word names: a path is converted, a bare name is looked
// up on the PATH as a shell would. Empty when nothing executable is found.
std::string ResolveProgram(const std::string& word) {
    if (word.empty()) return {};
    if (HasSeparator(word)) return NativePath(word);
    const char* path = std::getenv("PATH");
    std::string_view dirs = (path && *path) ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        std::string candidate = (dir.empty() ? "." : dir) + "/" + word;
        if (IsRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0) return candidate;
        if (colon == std::string_view::npos) return {};
        dirs.remove_prefix(colon + 1);
    }
}

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> ptrs;
    for (const auto& a : argv) ptrs.push_back(const_cast<char*>(a.c_str()));
    ptrs.push_back(nullptr);
    return ptrs;
}

// Signals the child should see with their default action, whatever this
// process ignores (SIGPIPE in particular).
void DefaultSignals(sigset_t& set) {
    sigemptyset(&set);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGHUP, SIGTERM}) sigaddset(&set, sig);
}

int DecodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return kNotStarted;
}

// The grandchild of StartDetached: only async-signal-safe calls from here.
[[noreturn]] void ExecDetached(const char* program, char* const* args, const char* folder,
                               const sigset_t& defaults, int errorPipe) {
    if (folder) (void)::chdir(folder);
    int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull > 0) {
        ::dup2(devnull, 0);
        ::close(devnull);
    }
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&defaults, sig) == 1) ::sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execve(program, args, environ);
    int err = errno;
    (void)!::write(errorPipe, &err, sizeof err);
    ::_exit(127);
}

}  // namespace

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !ended_) {
        int status;
        ::waitpid(pid_, &status, WNOHANG);  // reap it if it has just ended
    }
}

bool ChildProcess::Start(std::string_view commandLine, WindowStyle style) {
    return Start(SplitCommandLine(commandLine), style);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, WindowStyle) {
    if (pid_ > 0 || argv.empty()) return false;
    std::string program = ResolveProgram(argv[0]);
    if (program.empty()) return false;
    std::vector<char*> args = ArgvPointers(argv);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    sigset_t defaults, none;
    DefaultSignals(defaults);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    // glibc reports a failed exec (missing file, no permission, empty file)
    // through the result.
    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) return false;
    pid_ = pid;
    ended_ = false;
    return true;
}

int ChildProcess::Poll() {
    if (ended_) return exitCode_;
    if (pid_ <= 0) return kNotStarted;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return kStillActive;
    ended_ = true;
    exitCode_ = (r == pid_) ? DecodeStatus(status) : kNotStarted;  // ECHILD: reaped elsewhere
    return exitCode_;
}

bool StartDetached(const std::vector<std::string>& argv, WindowStyle,
                   std::string_view workingFolder) {
    if (argv.empty()) return false;
    std::string program = ResolveProgram(argv[0]);
    if (program.empty()) return false;
    std::vector<char*> args = ArgvPointers(argv);
    std::string folder;
    if (!workingFolder.empty() && IsDirectory(workingFolder)) folder = NativePath(workingFolder);
    sigset_t defaults;
    DefaultSignals(defaults);

    // The grandchild writes its errno into the pipe when exec fails; a
    // successful exec closes the pipe (O_CLOEXEC) and the read sees its end.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::setsid();
        pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ExecDetached(program.c_str(), args.data(), folder.empty() ? nullptr : folder.c_str(),
                         defaults, fds[1]);
        }
        if (grandchild < 0) {
            int err = errno;
            (void)!::write(fds[1], &err, sizeof err);
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    int status;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = ::read(fds[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(fds[0]);
    return n == 0;
}

}  // namespace ov
