#include "http_api.h"

#include "help_pages.h"
#include "installer_files.h"
#include "log_text.h"
#include "ret_codes.h"
#include "validate.h"

#include <cstdio>
#include <fcntl.h>
#include <json/reader.h>
#include <json/writer.h>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::service {
namespace {

constexpr const char* kJsonType = "application/json;charset=UTF-8";
constexpr const char* kHtmlType = "text/html;charset=UTF-8";
constexpr std::size_t kReadChunk = 64 * 1024;

void WriteEnvelope(httplib::Response& res, int ret, const Json::Value& data, int status) {
    Json::Value root(Json::objectValue);
    root["ret"] = ret;
    root["data"] = data;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    res.status = status;
    res.set_content(Json::writeString(builder, root), kJsonType);
}

void WriteReply(httplib::Response& res, const Reply& reply) {
    WriteEnvelope(res, reply.ret, reply.data, reply.status);
}

int RetForStatus(int status) {
    switch (status) {
    case 400:
        return kRetMalformedBody;
    case 404:
        return kRetNotFound;
    case 405:
        return kRetMethodNotAllowed;
    case 413:
        return kRetBodyTooLarge;
    default:
        return kRetInternal;
    }
}

constexpr int kMaxNesting = 32;

// jsoncpp throws when nesting passes its stack limit; no request of ours nests
// deeper than two levels, so refuse deep bodies before the parser sees them.
bool NestingWithin(const std::string& body, int limit) {
    int depth = 0;
    bool in_string = false;
    bool escaped = false;
    for (char c : body) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) {
                return false;
            }
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// A JSON object of the body, or a "ret" telling why not.
int ParseObject(const std::string& body, Json::Value* root) {
    if (body.size() > kMaxBodyBytes) {
        return kRetBodyTooLarge;
    }
    if (!IsValidUtf8(body) || !NestingWithin(body, kMaxNesting)) {
        return kRetMalformedBody;
    }
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    builder["stackLimit"] = kMaxNesting * 2;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    if (!reader->parse(body.data(), body.data() + body.size(), root, &errors) ||
        !root->isObject()) {
        return kRetMalformedBody;
    }
    return kRetOk;
}

bool StringMember(const Json::Value& root, const char* key, std::string* out) {
    const Json::Value* value = root.find(key, key + std::char_traits<char>::length(key));
    if (value == nullptr || !value->isString()) {
        return false;
    }
    *out = value->asString();
    return true;
}

// Parses the body and pulls out the named string members; answers the request
// itself and returns false when the body does not qualify.
template <std::size_t N>
bool ReadMembers(const httplib::Request& req, httplib::Response& res, const char* const (&keys)[N],
                 std::string (&values)[N]) {
    Json::Value root;
    if (const int ret = ParseObject(req.body, &root); ret != kRetOk) {
        WriteReply(res, Fail(ret, ret == kRetBodyTooLarge ? 413 : 200));
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (!StringMember(root, keys[i], &values[i])) {
            WriteReply(res, Fail(kRetMalformedBody));
            return false;
        }
    }
    return true;
}

void MethodNotAllowed(httplib::Response& res, const char* allow) {
    res.set_header("Allow", allow);
    WriteReply(res, Fail(kRetMethodNotAllowed, 405));
}

struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int value) : fd(value) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

void ServeInstaller(const std::string& dir, const std::string& name, httplib::Response& res) {
    auto file = std::make_shared<FileDescriptor>(OpenInstaller(dir, name));
    struct stat info {};
    if (file->fd < 0 || ::fstat(file->fd, &info) != 0) {
        WriteReply(res, Fail(kRetNotFound, 404));
        return;
    }
    const auto size = static_cast<std::size_t>(info.st_size);
    if (size == 0) {
        res.set_content("", "application/octet-stream");
        return;
    }
    res.set_content_provider(
        size, "application/octet-stream",
        [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            char buffer[kReadChunk];
            const std::size_t want = length < kReadChunk ? length : kReadChunk;
            const ssize_t got = ::pread(file->fd, buffer, want, static_cast<off_t>(offset));
            if (got <= 0) {
                return false;
            }
            sink.write(buffer, static_cast<std::size_t>(got));
            return true;
        });
}

void InstallAccountRoutes(httplib::Server& server, const ApiParts& parts) {
    AccountService& accounts = parts.accounts;
    const std::set<std::string> trusted = parts.trusted_proxies;
    server.Post("/v1/register", [&accounts](const httplib::Request& req, httplib::Response& res) {
        static const char* const kKeys[] = {"mobilephone", "password", "code"};
        std::string v[3];
        if (ReadMembers(req, res, kKeys, v)) {
            WriteReply(res, accounts.Register(v[0], v[1], v[2]));
        }
    });
    server.Post("/v1/forgot", [&accounts](const httplib::Request& req, httplib::Response& res) {
        static const char* const kKeys[] = {"mobilephone", "password", "code"};
        std::string v[3];
        if (ReadMembers(req, res, kKeys, v)) {
            WriteReply(res, accounts.Forgot(v[0], v[1], v[2]));
        }
    });
    server.Post("/v1/login",
                [&accounts, trusted](const httplib::Request& req, httplib::Response& res) {
                    static const char* const kKeys[] = {"mobilephone", "password"};
                    std::string v[2];
                    if (ReadMembers(req, res, kKeys, v)) {
                        WriteReply(res, accounts.Login(v[0], v[1], ClientAddress(req, trusted)));
                    }
                });
    server.Get(R"(/v1/smsnotify/(register|forgot)/([^/]*))",
               [&accounts, trusted](const httplib::Request& req, httplib::Response& res) {
                   const auto purpose =
                       req.matches[1] == "register" ? CodePurpose::kRegister : CodePurpose::kForgot;
                   WriteReply(res, accounts.RequestCode(req.matches[2], purpose,
                                                        ClientAddress(req, trusted)));
               });
}

void InstallOtherRoutes(httplib::Server& server, const ApiParts& parts) {
    FeedbackStore& feedback = parts.feedback;
    const std::set<std::string> trusted = parts.trusted_proxies;
    server.Post("/v1/feedback",
                [&feedback, trusted](const httplib::Request& req, httplib::Response& res) {
                    static const char* const kKeys[] = {"content", "contact"};
                    std::string v[2];
                    if (ReadMembers(req, res, kKeys, v)) {
                        WriteReply(res, feedback.Submit(v[0], v[1], ClientAddress(req, trusted)));
                    }
                });
    UpdateManifest& manifest = parts.manifest;
    const std::string base = parts.public_base_url;
    server.Post("/v1/upgrade_check",
                [&manifest, base](const httplib::Request& req, httplib::Response& res) {
                    static const char* const kKeys[] = {"app_name"};
                    std::string v[1];
                    if (ReadMembers(req, res, kKeys, v)) {
                        WriteReply(res, manifest.Lookup(v[0], base));
                    }
                });
    const std::string dir = parts.installer_dir;
    server.Get(R"(/download/([A-Za-z0-9][A-Za-z0-9._-]{0,127}))",
               [dir](const httplib::Request& req, httplib::Response& res) {
                   ServeInstaller(dir, req.matches[1], res);
               });
    server.Get("/help", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(HelpPage()), kHtmlType);
    });
    server.Get("/help/audio", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(ContactHelpPage()), kHtmlType);
    });
}

void InstallMethodGuards(httplib::Server& server) {
    const auto post_only = [](const httplib::Request&, httplib::Response& res) {
        MethodNotAllowed(res, "POST");
    };
    server.Get("/v1/(upgrade_check|feedback|login|register|forgot)", post_only);
    const auto get_only = [](const httplib::Request&, httplib::Response& res) {
        MethodNotAllowed(res, "GET, HEAD");
    };
    server.Post(R"(/v1/smsnotify/.*)", get_only);
    server.Post(R"(/help(/audio)?)", get_only);
    server.Post(R"(/download/.*)", get_only);
    const auto nothing_here = [](const httplib::Request&, httplib::Response& res) {
        MethodNotAllowed(res, "GET, HEAD, POST");
    };
    server.Put(".*", nothing_here);
    server.Patch(".*", nothing_here);
    server.Delete(".*", nothing_here);
    server.Options(".*", nothing_here);
}

// The last entry of X-Forwarded-For: the one the trusted proxy itself added.
// Entries before it come from the client and prove nothing.
std::string ForwardedFor(const httplib::Request& req) {
    const std::size_t count = req.get_header_value_count("X-Forwarded-For");
    if (count == 0) {
        return {};
    }
    const std::string header = req.get_header_value("X-Forwarded-For", count - 1);
    const auto comma = header.rfind(',');
    std::string last = comma == std::string::npos ? header : header.substr(comma + 1);
    const auto first = last.find_first_not_of(" \t");
    const auto end = last.find_last_not_of(" \t");
    last = first == std::string::npos ? std::string() : last.substr(first, end - first + 1);
    return IsIpAddress(last) ? last : std::string();
}

} // namespace

std::string ClientAddress(const httplib::Request& req, const std::set<std::string>& trusted) {
    if (trusted.count(req.remote_addr) == 0) {
        return req.remote_addr;
    }
    const std::string forwarded = ForwardedFor(req);
    return forwarded.empty() ? req.remote_addr : forwarded;
}

bool IsHeavyPath(std::string_view path) {
    // Only the exact quick paths stay on the event threads: the router decodes
    // "%6C" and the like, so any other spelling might still reach a slow route.
    return path != "/help" && path != "/help/audio" && path != "/v1/upgrade_check";
}

void ConfigureServer(httplib::Server& server, bool access_log,
                     const std::set<std::string>& trusted_proxies) {
    server.set_payload_max_length(kMaxBodyBytes);
    // Only the numbers its Keep-Alive header announces; the front enforces them.
    server.set_keep_alive_max_count(1000);
    server.set_error_handler(
        httplib::Server::Handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) {
                WriteReply(res, Fail(RetForStatus(res.status), res.status));
            }
        }));
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            WriteReply(res, Fail(kRetInternal, 500));
        });
    if (!access_log) {
        return;
    }
    // Only the path, its phone numbers masked: bodies carry passwords and
    // codes, and stay out of the log. Every field is escaped, so a request
    // cannot write a line of its own.
    server.set_logger([trusted_proxies](const httplib::Request& req, const httplib::Response& res) {
        const std::string line = LogField(ClientAddress(req, trusted_proxies)) + " " +
                                 LogField(req.method) + " " + LogField(req.path) + " " +
                                 std::to_string(res.status) + "\n";
        std::fwrite(line.data(), 1, line.size(), stderr);
    });
}

void InstallRoutes(httplib::Server& server, const ApiParts& parts) {
    InstallAccountRoutes(server, parts);
    InstallOtherRoutes(server, parts);
    InstallMethodGuards(server);
}

} // namespace velquist::service
