#include "convert/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

namespace MediaBased {
namespace {

constexpr char kTemporarySuffix[] = ".vantrel.part";
constexpr size_t kSuffixLength = sizeof kTemporarySuffix - 1;
// Beyond this many numbered names something other than a crowded folder is wrong.
constexpr int kLastNumber = 10000;
// Attempts at one name while others create or sweep its temporary file at the same moment.
constexpr int kClaimAttempts = 8;

enum class Temporary { Absent, Live, Stale };

bool Exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool SameFile(int fd, const std::string& path) {
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Live while some task holds its lock. A task unlinks or renames its temporary file only while
// holding the lock, so a file found unlocked and still under its name is safe to remove.
Temporary Inspect(const std::string& path, bool removeStale) {
    // No following links and no waiting on a FIFO: what is not a plain file is left alone.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? Temporary::Absent : Temporary::Live;
    Temporary state = Temporary::Live;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        state = Temporary::Stale;
        if (removeStale && SameFile(fd, path))
            ::unlink(path.c_str());
    }
    ::close(fd);
    return state;
}

bool IsTemporaryName(const std::string& name) {
    return name.size() > 1 + kSuffixLength && name[0] == '.' &&
           name.compare(name.size() - kSuffixLength, kSuffixLength, kTemporarySuffix) == 0;
}

uint64_t HashOf(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : text)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string ErrnoText(int error) {
    char buffer[128];
    return strerror_r(error, buffer, sizeof buffer);
}

// Claimed temporary files and the final paths they stand for.
struct ClaimedPaths {
    std::mutex lock;
    std::map<std::string, std::string> finalOf;
};

ClaimedPaths& Claimed() {
    static ClaimedPaths claimed;
    return claimed;
}

void RememberClaim(const std::string& temporaryPath, const std::string& finalPath) {
    ClaimedPaths& claimed = Claimed();
    const std::lock_guard<std::mutex> hold(claimed.lock);
    claimed.finalOf[temporaryPath] = finalPath;
}

void ForgetClaim(const std::string& temporaryPath) {
    ClaimedPaths& claimed = Claimed();
    const std::lock_guard<std::mutex> hold(claimed.lock);
    claimed.finalOf.erase(temporaryPath);
}

}  // namespace

std::string DescribeOutputError(int error, const std::string& path, OutputStep step,
                                const std::string& reason) {
    if (step == OutputStep::Creating) {
        if (error == EACCES || error == EPERM || error == EROFS)
            return "output error: folder not writable: " + FolderOf(path);
        if (error == ENOENT || error == ENOTDIR)
            return "output error: folder missing: " + FolderOf(path);
    }
    // A file-size limit stops a write where a full disk would.
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return "output error: disk full: " + path;
    return "output error: cannot write " + path + " (" + (reason.empty() ? ErrnoText(error) : reason) +
           ")";
}

std::string FinalPathOf(const std::string& temporaryPath) {
    ClaimedPaths& claimed = Claimed();
    const std::lock_guard<std::mutex> hold(claimed.lock);
    const auto found = claimed.finalOf.find(temporaryPath);
    return found == claimed.finalOf.end() ? temporaryPath : found->second;
}

std::string TemporaryNameFor(const std::string& fileName) {
    std::string name = "." + fileName + kTemporarySuffix;
    if (name.size() <= NAME_MAX)
        return name;
    // Shortened names of different files must not meet: the hash keeps them apart.
    char hash[24];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(HashOf(fileName)));
    const size_t keep = NAME_MAX - 1 - kSuffixLength - 17;
    return "." + fileName.substr(0, keep) + hash + kTemporarySuffix;
}

void RemoveStaleTemporaries(const std::string& folder) {
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (IsTemporaryName(name))
            Inspect(prefix + name, true);
    }
}

int LinkWithoutReplacing(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    // Should the old name stay, it is a second link to a whole file, which a later sweep drops.
    ::unlink(from.c_str());
    return 0;
}

int MoveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    // File systems that cannot rename without replacing (some network and FUSE ones) say
    // EINVAL; a kernel without renameat2 says ENOSYS.
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    return LinkWithoutReplacing(from, to);
}

OutputFile::OutputFile(std::string requestedPath) : finalPath_(std::move(requestedPath)) {
    const size_t slash = finalPath_.rfind('/');
    prefix_ = slash == std::string::npos ? std::string() : finalPath_.substr(0, slash + 1);
    fileName_ = finalPath_.substr(prefix_.size());
    const std::filesystem::path name(fileName_);
    stem_ = name.stem().string();
    extension_ = name.extension().string();
}

OutputFile::~OutputFile() {
    Discard();
}

std::string OutputFile::CandidateName(int number) const {
    return number == 0 ? fileName_ : stem_ + "(" + std::to_string(number) + ")" + extension_;
}

std::string OutputFile::PathInFolder(const std::string& name) const {
    // "./" keeps FFmpeg from reading a name like ".a:b" as a protocol.
    return (prefix_.empty() ? std::string("./") : prefix_) + name;
}

bool OutputFile::Claim() {
    if (lockFd_ >= 0)
        return false;
    if (fileName_.empty() || fileName_ == "." || fileName_ == "..") {
        lastError_ = DescribeOutputError(finalPath_.empty() ? EINVAL : EISDIR, finalPath_,
                                         OutputStep::Creating);
        return false;
    }
    RemoveStaleTemporaries(prefix_.empty() ? std::string(".") : prefix_);
    const std::string requested = finalPath_;
    for (int number = 0; number <= kLastNumber; ++number) {
        finalPath_ = number == 0 ? requested : prefix_ + CandidateName(number);
        int error = 0;
        switch (TryClaim(number, &error)) {
        case Outcome::Claimed:
            number_ = number;
            lastError_.clear();
            RememberClaim(temporaryPath_, finalPath_);
            return true;
        case Outcome::Failed:
            finalPath_ = requested;
            lastError_ = DescribeOutputError(error, finalPath_, OutputStep::Creating);
            return false;
        case Outcome::Taken:
            break;
        }
    }
    finalPath_ = requested;
    lastError_ = DescribeOutputError(EEXIST, finalPath_, OutputStep::Creating);
    return false;
}

OutputFile::Outcome OutputFile::TryClaim(int number, int* error) {
    const std::string temporary = PathInFolder(TemporaryNameFor(CandidateName(number)));
    for (int attempt = 0; attempt < kClaimAttempts; ++attempt) {
        if (Exists(finalPath_))
            return Outcome::Taken;
        const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST) {
                *error = errno;
                return Outcome::Failed;
            }
            if (Inspect(temporary, true) == Temporary::Live)
                return Outcome::Taken;
            continue;  // a stale one, removed: try again
        }
        // Between creating and locking, a sweep may have taken the new file for a stale one.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, temporary)) {
            ::close(fd);
            continue;
        }
        // The lock makes the claim visible; a file given the final name before that wins.
        if (Exists(finalPath_)) {
            ::unlink(temporary.c_str());
            ::close(fd);
            return Outcome::Taken;
        }
        lockFd_ = fd;
        temporaryPath_ = temporary;
        return Outcome::Claimed;
    }
    return Outcome::Taken;
}

bool OutputFile::NameTaken(int number) const {
    const std::string name = CandidateName(number);
    return Exists(prefix_ + name) ||
           Inspect(PathInFolder(TemporaryNameFor(name)), false) == Temporary::Live;
}

bool OutputFile::Commit() {
    if (lockFd_ < 0) {
        lastError_ = DescribeOutputError(EBADF, finalPath_, OutputStep::Creating);
        return false;
    }
    for (;;) {
        const int error = MoveWithoutReplacing(temporaryPath_, finalPath_);
        if (error == 0)
            break;
        if (error != EEXIST) {
            lastError_ = DescribeOutputError(error, finalPath_, OutputStep::Creating);
            return false;
        }
        // Another program wrote the final name while this file was being made.
        do {
            if (++number_ > kLastNumber) {
                lastError_ = DescribeOutputError(EEXIST, finalPath_, OutputStep::Creating);
                return false;
            }
        } while (NameTaken(number_));
        finalPath_ = prefix_ + CandidateName(number_);
    }
    ForgetClaim(temporaryPath_);
    ::close(lockFd_);
    lockFd_ = -1;
    temporaryPath_.clear();
    return true;
}

void OutputFile::Discard() {
    if (lockFd_ < 0)
        return;
    ForgetClaim(temporaryPath_);
    ::unlink(temporaryPath_.c_str());
    ::close(lockFd_);
    lockFd_ = -1;
}

}  // namespace MediaBased
