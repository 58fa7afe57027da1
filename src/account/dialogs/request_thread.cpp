#include "request_thread.h"

namespace velquist {
namespace {

std::atomic<int> g_in_flight{0};

} // namespace

int AccountRequestsInFlight() {
    return g_in_flight.load();
}

void CountAccountRequest(int delta) {
    g_in_flight.fetch_add(delta);
}

} // namespace velquist
