#pragma once

#include "app/mainwnd.h"
#include "child_service.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace velquist::e2e {

// The real service as a child on a free loopback port, with a data folder of its own
// (database, outbox, manifest, installers) inside a temporary folder.
class LiveService {
  public:
    // Publishes `version` (an installer of that name must follow for a download).
    bool Start(const std::string& offeredVersion);
    std::string BaseUrl() const;
    const std::string& DataDir() const { return dataDir_; }
    std::string InstallersDir() const { return dataDir_ + "/installers"; }

    // The newest code the outbox holds for the phone, waiting for it to arrive.
    std::optional<std::string> CodeFor(const std::string& phone) const;
    // Rewrites the manifest; the service notices the change on the next request.
    bool Publish(const std::string& version, const std::string& downloadUrl) const;
    struct Feedback {
        std::string content;
        std::string contact;
        long long createdAt = 0; // seconds since the epoch
    };
    // The feedback table, read straight from the database.
    std::vector<Feedback> StoredFeedback() const;
    // The service's log, for failure messages.
    std::string Log() const;

  private:
    test::TempDir root_;
    std::string dataDir_;
    std::string outbox_;
    service::testing::ChildService child_;
};

// The logged-in look: "username" shows the account, "login" and "register" hidden.
bool ShowsLoggedIn(CMainWnd* window, const QString& account);
bool ShowsLoggedOut(CMainWnd* window);
// How often `what` occurs in `text` (e.g. requests in the service's access log).
int CountOf(const std::string& text, const std::string& what);
// Clicks the main window's button of that name.
void ClickControl(CMainWnd* window, const char* name);

// Every test: a logged-out user without a credential file, a running service the client
// points at, and helpers for the main window as the program creates it.
class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Shown, centred; nullptr (and a failure) when its skin cannot be built.
    CMainWnd* OpenMainWindow();
    // Closes it, as the user's close button does, and waits until it is gone.
    void CloseMainWindow(CMainWnd* window);

    virtual std::string OfferedVersion() const;

    LiveService service_;
};

} // namespace velquist::e2e
