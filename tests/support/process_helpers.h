// Running the ffmpeg command-line tools from tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct CommandResult {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// True when ffmpeg decodes the whole file without a single error message.
inline bool DecodesCleanly(const std::string& path, std::string* errors = nullptr) {
    const CommandResult r =
        RunCommand("ffmpeg -nostdin -v error -i " + ShellQuote(path) + " -f null -");
    if (errors)
        *errors = r.output;
    return r.exitCode == 0 && r.output.empty();
}

// One ffprobe value, e.g. ProbeValue(path, "v:0", "stream=codec_name").
inline std::string ProbeValue(const std::string& path, const std::string& stream,
                              const std::string& entries) {
    const std::string select = stream.empty() ? std::string() : "-select_streams " + stream + " ";
    CommandResult r = RunCommand("ffprobe -v error " + select + "-show_entries " + entries +
                                 " -of default=nw=1:nk=1 " + ShellQuote(path));
    while (!r.output.empty() && (r.output.back() == '\n' || r.output.back() == '\r'))
        r.output.pop_back();
    return r.output;
}
