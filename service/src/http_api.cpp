#include "http_api.h"

#include "help_pages.h"
#include "installer_files.h"
#include "ret_codes.h"
#include "validate.h"

#include <json/reader.h>
#include <json/writer.h>
#include <memory>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace velquist::service {
namespace {

constexpr const char* kJsonType = "application/json;charset=UTF-8";
constexpr const char* kHtmlType = "text/html;charset=UTF-8";

HttpResponse Envelope(int ret, const Json::Value& data, int status) {
    Json::Value root(Json::objectValue);
    root["ret"] = ret;
    root["data"] = data;
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    HttpResponse res;
    res.status = status;
    res.content_type = kJsonType;
    res.body = Json::writeString(builder, root);
    return res;
}

HttpResponse ReplyResponse(const Reply& reply) {
    return Envelope(reply.ret, reply.data, reply.status);
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

// Parses the body and pulls out the named string members; false with the
// answer in `*refusal` when the body does not qualify.
template <std::size_t N>
bool ReadMembers(const HttpRequest& req, const char* const (&keys)[N], std::string (&values)[N],
                 HttpResponse* refusal) {
    Json::Value root;
    if (const int ret = ParseObject(req.body, &root); ret != kRetOk) {
        *refusal = ReplyResponse(Fail(ret, ret == kRetBodyTooLarge ? 413 : 200));
        return false;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (!StringMember(root, keys[i], &values[i])) {
            *refusal = ReplyResponse(Fail(kRetMalformedBody));
            return false;
        }
    }
    return true;
}

HttpResponse MethodNotAllowed(const char* allow) {
    HttpResponse res = ErrorResponse(405);
    res.headers.emplace_back("Allow", allow);
    return res;
}

HttpResponse ServeInstaller(const std::string& dir, const std::string& name) {
    HttpResponse res;
    res.file_fd = OpenInstaller(dir, name);
    struct stat info {};
    if (res.file_fd < 0 || ::fstat(res.file_fd, &info) != 0) {
        return ErrorResponse(404);
    }
    res.content_type = "application/octet-stream";
    res.file_size = static_cast<unsigned long long>(info.st_size);
    return res;
}

// The parts of a download or SMS path: "/download/NAME" and
// "/v1/smsnotify/(register|forgot)/PHONE".
bool InstallerName(const std::string& path, std::string* name) {
    static const std::regex kPattern(R"(/download/([A-Za-z0-9][A-Za-z0-9._-]{0,127}))");
    std::smatch match;
    if (!std::regex_match(path, match, kPattern)) {
        return false;
    }
    *name = match[1];
    return true;
}

bool SmsTarget(const std::string& path, CodePurpose* purpose, std::string* phone) {
    static const std::regex kPattern(R"(/v1/smsnotify/(register|forgot)/([^/]*))");
    std::smatch match;
    if (!std::regex_match(path, match, kPattern)) {
        return false;
    }
    *purpose = match[1] == "register" ? CodePurpose::kRegister : CodePurpose::kForgot;
    *phone = match[2];
    return true;
}

bool IsPostRoute(const std::string& path) {
    return path == "/v1/upgrade_check" || path == "/v1/feedback" || path == "/v1/login" ||
           path == "/v1/register" || path == "/v1/forgot";
}

bool IsGetRoute(const std::string& path) {
    return path == "/help" || path == "/help/audio" || path.rfind("/download/", 0) == 0 ||
           path.rfind("/v1/smsnotify/", 0) == 0;
}

// The last entry of X-Forwarded-For: the one the trusted proxy itself added.
// Entries before it come from the client and prove nothing.
std::string ForwardedFor(const HttpRequest& req) {
    const std::string* header = req.Header("X-Forwarded-For");
    if (header == nullptr) {
        return {};
    }
    const auto comma = header->rfind(',');
    std::string last = comma == std::string::npos ? *header : header->substr(comma + 1);
    const auto first = last.find_first_not_of(" \t");
    const auto end = last.find_last_not_of(" \t");
    last = first == std::string::npos ? std::string() : last.substr(first, end - first + 1);
    return IsIpAddress(last) ? last : std::string();
}

// The phone a password check is for, so one number's checks queue behind
// each other whoever sends them; unknown numbers count like known ones.
std::string PhoneOf(const HttpRequest& req) {
    Json::Value root;
    std::string phone;
    if (ParseObject(req.body, &root) == kRetOk) {
        StringMember(root, "mobilephone", &phone);
    }
    return phone;
}

} // namespace

std::string ClientAddress(const HttpRequest& req, const std::set<std::string>& trusted) {
    if (trusted.count(req.peer) == 0) {
        return req.peer;
    }
    const std::string forwarded = ForwardedFor(req);
    return forwarded.empty() ? req.peer : forwarded;
}

bool IsHeavyPath(std::string_view path) {
    // Only the exact quick paths stay on the event threads.
    return path != "/help" && path != "/help/audio" && path != "/v1/upgrade_check";
}

HttpResponse ErrorResponse(int status) {
    return ReplyResponse(Fail(RetForStatus(status), status));
}

LaneChoice HttpRoutes::LaneOf(const HttpRequest& req) const {
    LaneChoice choice;
    const bool get = req.method == "GET" || req.method == "HEAD";
    const bool post = req.method == "POST";
    if ((get && !IsGetRoute(req.path)) || (post && !IsPostRoute(req.path)) || (!get && !post) ||
        !IsHeavyPath(req.path)) {
        return choice; // answered from memory: refusals, help pages, update checks
    }
    choice.address = AddressGroup(ClientAddress(req, parts_.trusted_proxies));
    if (get) {
        choice.lane = req.path.rfind("/download/", 0) == 0 ? Lane::kDownload : Lane::kStore;
    } else if (req.path == "/v1/feedback") {
        choice.lane = Lane::kStore;
    } else {
        choice.lane = Lane::kHash;
        choice.phone = PhoneOf(req);
    }
    return choice;
}

HttpResponse HttpRoutes::Handle(const HttpRequest& req) const {
    if (req.method == "GET" || req.method == "HEAD") {
        return IsGetRoute(req.path)    ? HandleGet(req)
               : IsPostRoute(req.path) ? MethodNotAllowed("POST")
                                       : ErrorResponse(404);
    }
    if (req.method == "POST") {
        return IsPostRoute(req.path)  ? HandlePost(req)
               : IsGetRoute(req.path) ? MethodNotAllowed("GET, HEAD")
                                      : ErrorResponse(404);
    }
    if (req.method == "PUT" || req.method == "PATCH" || req.method == "DELETE" ||
        req.method == "OPTIONS") {
        return MethodNotAllowed("GET, HEAD, POST");
    }
    return ErrorResponse(400);
}

HttpResponse HttpRoutes::HandleGet(const HttpRequest& req) const {
    if (req.path == "/help" || req.path == "/help/audio") {
        HttpResponse res;
        res.content_type = kHtmlType;
        res.body = std::string(req.path == "/help" ? HelpPage() : ContactHelpPage());
        return res;
    }
    std::string name;
    if (InstallerName(req.path, &name)) {
        return ServeInstaller(parts_.installer_dir, name);
    }
    CodePurpose purpose = CodePurpose::kRegister;
    std::string phone;
    if (SmsTarget(req.path, &purpose, &phone)) {
        return ReplyResponse(parts_.accounts.RequestCode(
            phone, purpose, ClientAddress(req, parts_.trusted_proxies)));
    }
    return ErrorResponse(404);
}

HttpResponse HttpRoutes::HandlePost(const HttpRequest& req) const {
    HttpResponse refusal;
    const std::string address = ClientAddress(req, parts_.trusted_proxies);
    if (req.path == "/v1/upgrade_check") {
        static const char* const kKeys[] = {"app_name"};
        std::string v[1];
        return ReadMembers(req, kKeys, v, &refusal)
                   ? ReplyResponse(parts_.manifest.Lookup(v[0], parts_.public_base_url))
                   : std::move(refusal);
    }
    if (req.path == "/v1/feedback") {
        static const char* const kKeys[] = {"content", "contact"};
        std::string v[2];
        return ReadMembers(req, kKeys, v, &refusal)
                   ? ReplyResponse(parts_.feedback.Submit(v[0], v[1], address))
                   : std::move(refusal);
    }
    if (req.path == "/v1/login") {
        static const char* const kKeys[] = {"mobilephone", "password"};
        std::string v[2];
        return ReadMembers(req, kKeys, v, &refusal)
                   ? ReplyResponse(parts_.accounts.Login(v[0], v[1], address))
                   : std::move(refusal);
    }
    static const char* const kKeys[] = {"mobilephone", "password", "code"};
    std::string v[3];
    if (!ReadMembers(req, kKeys, v, &refusal)) {
        return refusal;
    }
    return ReplyResponse(req.path == "/v1/register" ? parts_.accounts.Register(v[0], v[1], v[2])
                                                    : parts_.accounts.Forgot(v[0], v[1], v[2]));
}

} // namespace velquist::service
