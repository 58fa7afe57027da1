#pragma once

#include <json/value.h>

namespace velquist::service {

// What an operation answers: the envelope's "ret" and "data", plus the HTTP
// status. The client treats any status outside 2xx as a failed transfer, so
// only the SMS request uses other statuses on purpose (its reply body is
// never read; the status is how the dialog learns the code did not go out).
struct Reply {
    int ret = 0;
    Json::Value data = Json::Value(Json::objectValue);
    int status = 200;
};

inline Reply Fail(int ret, int status = 200) {
    Reply reply;
    reply.ret = ret;
    reply.status = status;
    return reply;
}

} // namespace velquist::service
