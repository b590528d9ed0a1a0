// What this process writes on file descriptor 2 while the capture lives.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = ::dup(STDERR_FILENO);
        if (file_ != nullptr && saved_ >= 0)
            ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
        if (file_ != nullptr)
            std::fclose(file_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    bool active() const { return file_ != nullptr && saved_ >= 0; }

    std::string Text() {
        std::string text;
        if (!active())
            return text;
        std::fflush(stderr);
        char buffer[4096];
        for (off_t offset = 0;;) {
            const ssize_t n = ::pread(::fileno(file_), buffer, sizeof buffer, offset);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<size_t>(n));
            offset += n;
        }
        return text;
    }

private:
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};
