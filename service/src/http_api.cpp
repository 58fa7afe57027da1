#include "http_api.h"

#include "help_pages.h"
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

bool IsSafeHost(const std::string& host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == ':' || c == '-' || c == '[' ||
                        c == ']';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string BaseUrl(const httplib::Request& req, const std::string& fallback) {
    const std::string host = req.get_header_value("Host");
    return IsSafeHost(host) ? "http://" + host : fallback;
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
    const std::string path = dir + "/" + name;
    auto file = std::make_shared<FileDescriptor>(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file->fd < 0 || ::fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
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
    server.Post("/v1/login", [&accounts](const httplib::Request& req, httplib::Response& res) {
        static const char* const kKeys[] = {"mobilephone", "password"};
        std::string v[2];
        if (ReadMembers(req, res, kKeys, v)) {
            WriteReply(res, accounts.Login(v[0], v[1], req.remote_addr));
        }
    });
    server.Get(R"(/v1/smsnotify/(register|forgot)/([^/]*))",
               [&accounts](const httplib::Request& req, httplib::Response& res) {
                   const auto purpose =
                       req.matches[1] == "register" ? CodePurpose::kRegister : CodePurpose::kForgot;
                   WriteReply(res, accounts.RequestCode(req.matches[2], purpose));
               });
}

void InstallOtherRoutes(httplib::Server& server, const ApiParts& parts) {
    FeedbackStore& feedback = parts.feedback;
    server.Post("/v1/feedback", [&feedback](const httplib::Request& req, httplib::Response& res) {
        static const char* const kKeys[] = {"content", "contact"};
        std::string v[2];
        if (ReadMembers(req, res, kKeys, v)) {
            WriteReply(res, feedback.Submit(v[0], v[1], req.remote_addr));
        }
    });
    UpdateManifest& manifest = parts.manifest;
    const std::string fallback = parts.fallback_base_url;
    server.Post("/v1/upgrade_check",
                [&manifest, fallback](const httplib::Request& req, httplib::Response& res) {
                    static const char* const kKeys[] = {"app_name"};
                    std::string v[1];
                    if (ReadMembers(req, res, kKeys, v)) {
                        WriteReply(res, manifest.Lookup(v[0], BaseUrl(req, fallback)));
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

} // namespace

void ConfigureServer(httplib::Server& server, unsigned threads, bool access_log) {
    // One thread per open connection is how the server works, so the pool
    // must cover the keep-alive connections a burst of clients holds open.
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server.set_payload_max_length(kMaxBodyBytes);
    // Headers and body go out in separate writes; without this, Nagle and the
    // peer's delayed ACK add ~40 ms to every keep-alive answer.
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(1000);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
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
    // Only the path: bodies carry passwords and codes, and stay out of the log.
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        std::fprintf(stderr, "%s %s %s %d\n", req.remote_addr.c_str(), req.method.c_str(),
                     req.path.c_str(), res.status);
    });
}

void InstallRoutes(httplib::Server& server, const ApiParts& parts) {
    InstallAccountRoutes(server, parts);
    InstallOtherRoutes(server, parts);
    InstallMethodGuards(server);
}

} // namespace velquist::service
