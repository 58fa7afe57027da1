// Starts or stops the tests' shared PostgreSQL server:
//   velquist_test_pg start DIR | stop DIR
// A machine without the server binaries only gets a note: the tests that
// need it skip with the same explanation.
#include "pg_cluster.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velquist_test_pg start|stop DIR\n");
        return 2;
    }
    const std::string command = argv[1];
    velquist::service::testing::PgCluster cluster(argv[2]);
    if (command == "stop") {
        cluster.Stop();
        cluster.Remove();
        return 0;
    }
    if (velquist::service::testing::PgCluster::BinDir().empty()) {
        std::printf("PostgreSQL server binaries not found: the PostgreSQL tests will skip\n");
        return 0;
    }
    cluster.Stop();
    cluster.Remove();
    std::string error;
    if (!cluster.Start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("PostgreSQL for the tests runs in %s\n", argv[2]);
    return 0;
}
