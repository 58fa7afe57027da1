// The desktop program's non-GUI client code against the real service: every
// request the dialogs make, with the texts the dialogs would show.
#include "account/account_forms.h"
#include "account/auto_login.h"
#include "account/user_info.h"
#include "net/feedback.h"
#include "installer_signing.h"
#include "net/httpdownload.h"
#include "net/installer_signature.h"
#include "net/service_url.h"
#include "net/update_check.h"
#include "service_fixture.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velquist::service::testing {
namespace {

const std::wstring kPhone = L"13800138000";

class ClientContract : public ServiceFixture {
  protected:
    void SetUp() override {
        ServiceFixture::SetUp();
        // The client keeps its files under the user's folders: point them here.
        home_ = dir_->path() + "/home";
        ::setenv("HOME", home_.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home_ + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home_ + "/config").c_str(), 1);
        SetServiceBaseUrl(app_->BaseUrl());
        UserInfo::Instance()->ClearMobilephone();
    }

    std::string CredentialFile() const { return home_ + "/data/Morvane/Data/local.dat"; }

    std::string AskCode(CodeForm form, const std::wstring& phone) {
        VerifyCodeCountdown countdown;
        const CodeButtonResult click =
            ClickCodeButton(form, phone, countdown, [](const std::wstring&) {});
        EXPECT_TRUE(click.requested);
        EXPECT_EQ(click.prompt, L"");
        return LastCodeFor(options_.outbox, std::string(phone.begin(), phone.end()));
    }

    std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

    std::string home_;
};

TEST_F(ClientContract, RegisterLogInAutoLogInFeedbackLogOut) {
    const std::string code = AskCode(CodeForm::kRegister, kPhone);
    ASSERT_EQ(code.size(), 6u);
    const std::wstring wrong = Wide(code == "000000" ? "000001" : "000000");

    CodeFormReply reply = SubmitCodeForm(CodeForm::kRegister, kPhone, L"密码pw", wrong);
    EXPECT_EQ(reply.prompt, L"验证码错误!");
    EXPECT_FALSE(reply.close);
    reply = SubmitCodeForm(CodeForm::kRegister, kPhone, L"密码pw", Wide(code));
    EXPECT_EQ(reply.prompt, L"用户注册成功!");
    EXPECT_TRUE(reply.close);
    reply = SubmitCodeForm(CodeForm::kRegister, kPhone, L"密码pw", Wide(code));
    EXPECT_EQ(reply.prompt, L"该用户已注册过!");

    ManualLoginResult login = ManualLogin(kPhone, L"wrong");
    EXPECT_EQ(login.step, ManualLoginResult::Step::kError);
    EXPECT_EQ(login.error, L"账号或密码错误!");
    login = ManualLogin(kPhone, L"密码pw");
    ASSERT_EQ(login.step, ManualLoginResult::Step::kLoggedIn)
        << std::string(login.error.begin(), login.error.end());
    EXPECT_TRUE(UserInfo::Instance()->LoggedIn());
    EXPECT_GT(UserInfo::Instance()->Get().id, 0);
    EXPECT_TRUE(std::filesystem::exists(CredentialFile()));

    // The next start: the record is gone, the credential file logs in again.
    UserInfo::Instance()->ClearMobilephone();
    const AutoLoginResult automatic = AutoLogin();
    EXPECT_TRUE(automatic.logged_in);
    EXPECT_EQ(automatic.shown_name, kPhone);
    EXPECT_EQ(UserInfo::Instance()->Get().last_login_ip, "127.0.0.1");

    EXPECT_EQ(SubmitFeedback(L"转换后的颜色很准", L"qq 10001"), L"反馈信息已提交!");
    {
        SqlRows rows;
        ASSERT_EQ(app_->database().Query("SELECT content, contact FROM feedback", {}, &rows),
                  SqlResult::kOk);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Text(0), "转换后的颜色很准");
        EXPECT_EQ(rows[0].Text(1), "qq 10001");
    }

    LogoutAccount();
    EXPECT_FALSE(UserInfo::Instance()->LoggedIn());
    EXPECT_FALSE(std::filesystem::exists(CredentialFile()));
}

TEST_F(ClientContract, PasswordResetThenLogInWithTheNewPassword) {
    const CodeFormReply unknown = SubmitCodeForm(CodeForm::kForgot, kPhone, L"new", L"123456");
    EXPECT_EQ(unknown.prompt, L"用户不存在!");
    EXPECT_FALSE(unknown.close);

    RegisterUser("13800138000", "old");
    Advance(60);
    const std::string code = AskCode(CodeForm::kForgot, kPhone);
    ASSERT_EQ(code.size(), 6u);
    Advance(300);
    EXPECT_EQ(SubmitCodeForm(CodeForm::kForgot, kPhone, L"new", Wide(code)).prompt, L"验证码无效!");
    Advance(60);
    const std::string fresh = AskCode(CodeForm::kForgot, kPhone);
    const CodeFormReply reset = SubmitCodeForm(CodeForm::kForgot, kPhone, L"new", Wide(fresh));
    EXPECT_EQ(reset.prompt, L"密码重置成功!");
    EXPECT_TRUE(reset.open_login);
    EXPECT_EQ(ManualLogin(kPhone, L"old").error, L"账号或密码错误!");
    EXPECT_EQ(ManualLogin(kPhone, L"new").step, ManualLoginResult::Step::kLoggedIn);
}

TEST_F(ClientContract, SecondCodeWithinAMinuteSaysItCameTooSoon) {
    AskCode(CodeForm::kRegister, kPhone);
    VerifyCodeCountdown countdown;
    const CodeButtonResult again =
        ClickCodeButton(CodeForm::kRegister, kPhone, countdown, [](const std::wstring&) {});
    EXPECT_EQ(again.prompt, kCodeTooOftenText);
}

class RecordingUi : public UpdateUi {
  public:
    bool Prompt(const std::wstring& text, bool) override {
        prompts.push_back(text);
        return true;
    }
    bool AskUpgrade(const std::wstring& text) override {
        prompts.push_back(text);
        return true;
    }
    void ShowDownload(const std::string& url, int force, const InstallerCheck& check) override {
        download_url = url;
        download_force = force;
        download_check = check;
    }
    std::vector<std::wstring> prompts;
    std::string download_url;
    int download_force = -1;
    InstallerCheck download_check;
    void QuitWithoutForcedUpdate() override {}
};

class RecordingShell : public Shell {
  public:
    bool Open(const std::string& path) override {
        opened = path;
        return true;
    }
    void ExitProcess() override { exit_asked = true; }
    void FailForcedUpgrade(const std::wstring& text) override { failure = text; }
    std::string opened;
    std::wstring failure;
    bool exit_asked = false;
};

class NoProgress : public DownloadProgress {
  public:
    void ShowPercent(int percent) override { last = percent; }
    int last = -1;
};

TEST_F(ClientContract, PublishedUpdateIsAnnouncedAndDownloadedWhole) {
    RecordingUi ui;
    EXPECT_EQ(CheckForUpdate(ui, true), 0);
    ASSERT_EQ(ui.prompts.size(), 1u);
    EXPECT_EQ(ui.prompts[0], kNoNewVersionText);

    // A Debian package's shape (ar magic, "debian-binary" first), signed with the
    // service's own commands; the client trusts that key alone.
    const std::string member = "data.tar.xz     0           0     0     100644  199868    `\n";
    std::string installer = "!<arch>\ndebian-binary   0           0     0     100644  4         `\n2.0\n";
    installer += member;
    while (installer.size() < 200'000) {
        installer += static_cast<char>(installer.size() * 31 % 251);
    }
    const std::string secret = dir_->path() + "/maker.key";
    const std::string public_key = dir_->path() + "/maker.pub";
    std::string error;
    ASSERT_TRUE(MakeSigningKeys(secret, public_key, &error)) << error;
    WriteFile(options_.installers + "/Velquist-1.0.2.deb", installer);
    ASSERT_TRUE(SignInstaller(secret, options_.installers + "/Velquist-1.0.2.deb", &error)) << error;
    std::string key = ReadFile(public_key);
    key.erase(key.find_last_not_of(" \n") + 1);
    const std::vector<std::string> keys{key};
    SetUpdatePublicKeysForTests(&keys);
    WriteFile(options_.manifest, R"({"Morvane":{"app_version":"1.0.2",
        "download_url":"/download/Velquist-1.0.2.deb","force_upgrade":0}})");
    RecordingUi second;
    EXPECT_EQ(CheckForUpdate(second, true), 0);
    EXPECT_EQ(second.download_url, app_->BaseUrl() + "/download/Velquist-1.0.2.deb");
    EXPECT_EQ(second.download_force, 0);

    const std::string folder = dir_->path() + "/downloads";
    std::filesystem::create_directories(folder);
    std::atomic<bool> cancel{false};
    RecordingShell shell;
    NoProgress progress;
    const DownloadOutcome outcome = HttpDownload().Download(
        DownloadRequest{second.download_url, 0, folder, &cancel, second.download_check}, progress,
        shell);
    EXPECT_EQ(outcome, DownloadOutcome::kExited);
    EXPECT_EQ(progress.last, 100);
    SetUpdatePublicKeysForTests(nullptr);
    EXPECT_EQ(shell.opened, folder + "/Velquist-1.0.2.deb");
    EXPECT_TRUE(ReadFile(folder + "/Velquist-1.0.2.deb") == installer);
}

} // namespace
} // namespace velquist::service::testing
