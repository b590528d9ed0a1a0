// A task's output file. It is written under a hidden temporary name in the target folder and
// gets its final name only once complete, never in place of an existing file, so a folder
// holds either a whole output or none. While written, the temporary file is locked (flock),
// which tells a live task's file from one a killed process left behind.
#pragma once

#include <string>

namespace MediaBased {

class OutputFile {
public:
    explicit OutputFile(std::string requestedPath);
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Discards the temporary file unless it was committed.
    ~OutputFile();

    // Removes unlocked temporary files from the folder, then takes the requested name or, when
    // that is taken, name(1).ext, name(2).ext, ... by creating its temporary file exclusively
    // and locking it. False when nothing can be created in the folder; LastError says why.
    bool Claim();

    const std::string& TemporaryPath() const { return temporaryPath_; }
    // The name the file has (or will have once committed): the requested one or a numbered one.
    const std::string& FinalPath() const { return finalPath_; }

    // Renames the temporary file to the final name without replacing anything; a name taken
    // meanwhile moves it on to the next free one. False when it could not be renamed: the
    // temporary file then stays to be discarded, and LastError says why.
    bool Commit();
    void Discard();

    // Why the last Claim or Commit failed, worded for the user (see DescribeOutputError);
    // empty while neither has failed.
    const std::string& LastError() const { return lastError_; }

private:
    enum class Outcome { Claimed, Taken, Failed };

    std::string CandidateName(int number) const;
    std::string PathInFolder(const std::string& name) const;
    // On Failed, *error holds the errno of the refused creation.
    Outcome TryClaim(int number, int* error);
    // True when the final name exists or a live task holds its temporary file.
    bool NameTaken(int number) const;

    std::string prefix_;  // the requested path up to and including its last '/'
    std::string fileName_, stem_, extension_;
    int number_ = 0;  // 0 for the requested name, n for name(n).ext
    std::string finalPath_;
    std::string temporaryPath_;
    int lockFd_ = -1;  // open, with the lock held, from Claim until Commit or Discard
    std::string lastError_;
};

// Creating covers making or renaming a file in the folder, Writing its contents.
enum class OutputStep { Creating, Writing };

// One line that says why the output at path failed with errno error:
//   "output error: folder not writable: <folder>"  (creating: EACCES, EPERM, EROFS)
//   "output error: folder missing: <folder>"       (creating: ENOENT, ENOTDIR)
//   "output error: disk full: <path>"              (ENOSPC, EDQUOT, EFBIG)
//   "output error: cannot write <path> (<reason>)" (anything else)
// reason replaces strerror's words, for errors that are not errno values.
std::string DescribeOutputError(int error, const std::string& path, OutputStep step,
                                const std::string& reason = std::string());

// The final path of the claimed output whose temporary file is temporaryPath, or
// temporaryPath itself: what fails while the temporary file is written is told about the
// file the user asked for.
std::string FinalPathOf(const std::string& temporaryPath);

// ".<file name>.vantrel.part"; a name too long for that gets a shortened, hashed form.
std::string TemporaryNameFor(const std::string& fileName);

// Removes every ".*.vantrel.part" in folder that nobody holds locked.
void RemoveStaleTemporaries(const std::string& folder);

// rename(from, to) that fails with EEXIST rather than replace to; where the file system
// refuses that, link() then unlink(). 0 or the errno.
int MoveWithoutReplacing(const std::string& from, const std::string& to);
// The link() + unlink() half on its own.
int LinkWithoutReplacing(const std::string& from, const std::string& to);

}  // namespace MediaBased
