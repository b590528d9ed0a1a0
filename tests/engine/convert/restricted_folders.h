// Folders that refuse writes the way real disks and folders do, for the tests of the messages
// that say why an output failed. Each helper says whether it could set itself up; the tests
// fall back from one to the next and skip only when none works.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace restricted_folders {

// Mounts made after this by the calling thread, and by the threads it starts later, are seen
// by this process alone and vanish with it, whatever becomes of the test. False when the
// process may not have mounts of its own (not root, or no CAP_SYS_ADMIN).
inline bool PrivateMounts() {
    static const bool ready = ::unshare(CLONE_NEWNS) == 0 &&
                              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return ready;
}

// A tmpfs of the given size over folder, private to this process, unmounted when this ends.
// extraOptions are more tmpfs options, such as "nr_inodes=1" for a disk with no room for a
// file at all.
class SmallDisk {
public:
    SmallDisk(std::string folder, size_t bytes, bool readOnly = false,
              const std::string& extraOptions = std::string())
        : folder_(std::move(folder)) {
        if (!PrivateMounts())
            return;
        std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
        if (!extraOptions.empty())
            options += "," + extraOptions;
        mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                           options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

// Lowers the process's file-size limit while it lives: a write past it fails with EFBIG, as a
// full disk fails with ENOSPC, instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (::getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        set_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        if (set_)
            ::setrlimit(RLIMIT_FSIZE, &saved_);
        if (previousHandler_ != SIG_ERR)
            std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool set() const { return set_; }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = SIG_ERR;
    bool set_ = false;
};

// A folder that fills after bytes: a small tmpfs over it, or where mounting is not allowed, a
// file-size limit on the whole process (EFBIG standing in for ENOSPC).
class FillingFolder {
public:
    FillingFolder(const std::string& folder, size_t bytes) : disk_(folder, bytes) {
        if (disk_.mounted())
            return;
        limit_ = std::make_unique<FileSizeLimit>(bytes);
        if (!limit_->set())
            limit_.reset();
    }
    bool ready() const { return disk_.mounted() || limit_ != nullptr; }
    const char* how() const { return disk_.mounted() ? "a full tmpfs" : "a file-size limit"; }
    // Lifts the file-size limit early, so that the test may write files of its own again.
    void liftLimit() { limit_.reset(); }

private:
    SmallDisk disk_;
    std::unique_ptr<FileSizeLimit> limit_;
};

// Runs check in a child process that has become the unprivileged user "nobody" (65534), so
// that folder permissions hold even for a root test run, and returns the text check returned.
// False when the child could not drop its privileges.
inline bool RunAsNobody(const std::function<std::string()>& check, std::string* result) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const std::string text = check();
        const ssize_t written = ::write(pipeFds[1], text.data(), text.size());
        ::_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 3);
    }
    ::close(pipeFds[1]);
    result->clear();
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result->append(buffer, static_cast<size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace restricted_folders
