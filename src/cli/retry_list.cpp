#include "retry_list.h"

#include "convert/atomic_output_file.h"
#include "convert/conversion_settings.h"
#include "util/handles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace velquist {
namespace {

std::string NewListName() {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return std::string("retry-") + stamp + "-" + std::to_string(::getpid()) + ".list";
}

void PutField(std::FILE* out, const std::string& field) {
    std::fwrite(field.data(), 1, field.size(), out);
    std::fputc('\0', out);
}

} // namespace

std::string WriteRetryList(const std::string& folder, const std::vector<ListedFile>& files,
                           std::string* error) {
    const std::string path = folder + "/" + NewListName();
    Diagnostics diag(false);
    AtomicOutputFile file;
    if (file.Open(path, diag)) {
        PutField(file.Stream(), kRetryListMarker);
        for (const auto& [input, sub] : files) {
            PutField(file.Stream(), input);
            PutField(file.Stream(), sub);
        }
        if (file.Commit(diag)) {
            return path;
        }
    }
    *error = diag.Text();
    while (!error->empty() && error->back() == '\n') {
        error->pop_back();
    }
    return {};
}

std::optional<std::vector<ListedFile>> ReadRetryList(const std::string& path, std::string* error) {
    const FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string data;
    char buffer[65536];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0;) {
        data.append(buffer, got);
        if (data.size() > kMaxRetryListBytes) {
            break;
        }
    }
    std::vector<std::string> fields;
    for (std::size_t start = 0; start < data.size();) {
        const std::size_t end = data.find('\0', start);
        if (end == std::string::npos) {
            break;
        }
        fields.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    const bool complete = !data.empty() && data.back() == '\0';
    if (data.size() > kMaxRetryListBytes || !complete || fields.empty() ||
        fields.front() != kRetryListMarker || fields.size() % 2 != 1) {
        *error = path + " is not a list of files to retry";
        return std::nullopt;
    }
    std::vector<ListedFile> files;
    for (std::size_t i = 1; i < fields.size(); i += 2) {
        if (fields[i].empty() || (!fields[i + 1].empty() && !IsSafeSubfolder(fields[i + 1]))) {
            *error = path + " is not a list of files to retry";
            return std::nullopt;
        }
        files.emplace_back(fields[i], fields[i + 1]);
    }
    return files;
}

std::string ShellQuote(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string RetryCommand(const std::string& program, const std::vector<std::string>& optionArgs,
                         const std::string& listPath) {
    std::string command = ShellQuote(program);
    for (const std::string& arg : optionArgs) {
        command += " " + ShellQuote(arg);
    }
    return command + " --retry-from " + ShellQuote(listPath);
}

} // namespace velquist
