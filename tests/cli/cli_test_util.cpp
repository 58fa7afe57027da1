#include "cli_test_util.h"

#include "support/image_readers.h"
#include "tasks/conversion_request.h"
#include "tasks/worker_protocol.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquist::test {

std::string ReadText(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

ProcessResult RunConverter(const TempDir& dir, std::vector<std::string> args, rlim_t fileSizeLimit,
                           const Env& env) {
    return FinishConverter(dir, StartConverter(dir, std::move(args), fileSizeLimit, env));
}

namespace {

pid_t Start(const TempDir& dir, std::vector<std::string> args, rlim_t fileSizeLimit,
            const Env& env, const std::string& cwd, const std::string& input) {
    args.insert(args.begin(), VELQUIST_CONVERT_BIN);
    const std::string outPath = dir.File(".stdout");
    const std::string errPath = dir.File(".stderr");
    const std::string home = dir.File("home");
    Env fullEnv = {{"HOME", home},
                   {"XDG_DATA_HOME", home + "/.local/share"},
                   {"XDG_CONFIG_HOME", home + "/.config"}};
    fullEnv.insert(fullEnv.end(), env.begin(), env.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(err, 2);
        if (!input.empty()) {
            const int in = open(input.c_str(), O_RDONLY);
            dup2(in, 0);
        }
        for (const auto& [name, value] : fullEnv) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

} // namespace

pid_t StartConverter(const TempDir& dir, std::vector<std::string> args, rlim_t fileSizeLimit,
                     const Env& env, const std::string& cwd) {
    return Start(dir, std::move(args), fileSizeLimit, env, cwd, {});
}

std::vector<std::string> WorkerRequest(OutputFormat format, const std::string& input,
                                       const std::string& output) {
    ConvertTask task;
    task.inputPath = input;
    task.outputPath = output;
    task.settings.format = format;
    return ConversionRequestFields(task);
}

ProcessResult RunWorker(const TempDir& dir, const std::vector<std::string>& request,
                        rlim_t fileSizeLimit, const Env& env) {
    const std::string input = dir.File(".request");
    WriteText(input, EncodeRecord(request));
    ProcessResult result =
        FinishConverter(dir, Start(dir, {kWorkerFlag}, fileSizeLimit, env, {}, input));
    std::filesystem::remove(input);
    return result;
}

pid_t StartWorker(const TempDir& dir, const std::vector<std::string>& request) {
    const std::string input = dir.File(".request");
    WriteText(input, EncodeRecord(request));
    return Start(dir, {kWorkerFlag}, 0, {}, {}, input);
}

std::string RequestWatchingWorker(const TempDir& dir, const std::string& name,
                                  const std::string& pattern, const std::string& action) {
    const std::string path = dir.File(name);
    const std::string requests = dir.File(".requests");
    std::filesystem::create_directories(requests);
    WriteText(path, "#!/bin/sh\nrequest='" + requests + "/'$$\ncat > \"$request\"\n" +
                        "case \"$(tr '\\0' '\\n' < \"$request\")\" in " + pattern + ") " +
                        action + " ;; esac\nexec < \"$request\"\nrm -f \"$request\"\nexec '" +
                        VELQUIST_CONVERT_BIN + "' \"$@\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
}

ProcessResult FinishConverter(const TempDir& dir, pid_t pid) {
    const std::string outPath = dir.File(".stdout");
    const std::string errPath = dir.File(".stderr");
    ProcessResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return result;
}

size_t EntryCount(const std::string& path) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path), {}));
}

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

size_t LineCount(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string MakeHeic(const TempDir& dir, const std::string& name, const HeicImageSpec& spec) {
    const std::string path = dir.File(name);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    EXPECT_EQ(WriteHeic(path, spec), "");
    return path;
}

std::string MakeHeic(const TempDir& dir, const std::string& name, int width) {
    HeicImageSpec spec;
    spec.width = width;
    return MakeHeic(dir, name, spec);
}

int JpegWidth(const std::string& path) {
    DecodedImage image;
    return ReadJpeg(path, &image).empty() ? image.width : -1;
}

bool IsJpeg(const std::string& path) {
    return JpegWidth(path) > 0;
}

void SaveSettings(const TempDir& dir, const std::string& body) {
    WriteText(dir.File("home/.local/share/Morvane/Config/configure.ini"), body);
}

} // namespace velquist::test
