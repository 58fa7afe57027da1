#include "dialogs/dialog_base.h"
#include "gui_driver.h"
#include "loopback_server.h"
#include "net/dialogs/feedback_dialog.h"
#include "net/http_client.h"
#include "net/service_url.h"
#include "platform/shell_open.h"
#include "ui/paint_manager.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QUrl>
#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velquist {
namespace {

using velquist::testing::Click;
using velquist::testing::TextOf;
using velquist::testing::Type;
using velquist::testing::WhenShown;

class TrackedFeedbackDialog : public FeedbackDialog {
  public:
    TrackedFeedbackDialog(bool* destroyed, const std::atomic<bool>* loggedIn,
                          LoginAction login = {})
        : FeedbackDialog(nullptr, [loggedIn] { return loggedIn->load(); }, std::move(login)),
          destroyed_(destroyed) {}
    ~TrackedFeedbackDialog() override { *destroyed_ = true; }

  private:
    bool* destroyed_;
};

struct RecordingOpener : UrlOpener {
    std::vector<QUrl> opened;
    bool Open(const QUrl& url) override {
        opened.push_back(url);
        return true;
    }
};

class FeedbackDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR);
        server_.server().Post("/v1/feedback",
                              [this](const httplib::Request& req, httplib::Response& res) {
                                  std::lock_guard<std::mutex> lock(mutex_);
                                  bodies_.push_back(req.body);
                                  res.set_content(reply_, "application/json");
                              });
        server_.Start();
        SetServiceBaseUrl(server_.BaseUrl());
        ClearFeedbackDraft();
    }
    void TearDown() override {
        ReloadServiceBaseUrl();
        ClearFeedbackDraft();
    }

    // Fills the form, submits it and closes it by Escape; returns the error label's text
    // after the submit and whether the form was still up with the content in it.
    QString SubmitAndKeep(const QString& content, bool* keptOpen) {
        QString error;
        WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
            Type(form, "feedbackContent", content);
            Type(form, "feedbackContact", QStringLiteral("qq"));
            Click(form, "feedbackBtn");
            error = TextOf(form, "feedbackErrorTips");
            *keptOpen = form->isVisible() && ContentOf(form) == content;
            PressEscape(form);
        });
        bool destroyed = false;
        ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_),
                     ui::kNoWindow);
        return error;
    }

    static QString ContentOf(QWidget* form) {
        return form->findChild<QPlainTextEdit*>("feedbackContent")->toPlainText();
    }

    static void PressEscape(QWidget* window) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(window, &escape);
    }

    // The window's logged-in state, as the form asks for it.
    void LogIn() { loggedIn_ = true; }

    // Fills the form, submits it and answers the prompt; returns the prompt's text and
    // the dialog's close code.
    QString SubmitAndAnswer(const QString& content, const QString& contact, int* code,
                            bool* destroyed) {
        QString prompt = QStringLiteral("<no prompt>");
        WhenShown(QStringLiteral("意见反馈"), [content, contact](QWidget* form) {
            Type(form, "feedbackContent", content);
            Type(form, "feedbackContact", contact);
            Click(form, "feedbackBtn");
        });
        // The prompt appears inside the submit click; answer it from the timer.
        WhenShown(QStringLiteral("PromptBoxDialog"), [&prompt](QWidget* box) {
            prompt = TextOf(box, "msgText");
            Click(box, "msgConfirm");
        });
        *code = ShowModalBox(std::make_unique<TrackedFeedbackDialog>(destroyed, &loggedIn_),
                             ui::kNoWindow);
        return prompt;
    }

    std::vector<std::string> Bodies() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bodies_;
    }

    velquist::testing::LoopbackServer server_;
    std::atomic<bool> loggedIn_{false};
    std::mutex mutex_;
    std::vector<std::string> bodies_;
    std::string reply_ = R"({"ret":0,"data":{}})";
};

TEST_F(FeedbackDialogTest, ValidationNamesTheFirstMissingPieceAndSendsNothing) {
    struct Step {
        QString content;
        QString contact;
        QString message;
    };
    const Step steps[] = {
        {"", "", QStringLiteral("反馈内容不能为空!")},
        {"", "qq 12345", QStringLiteral("反馈内容不能为空!")},
        {"   ", "", QStringLiteral("联系方式不能为空!")},
        {"慢", "qq 12345", QStringLiteral("请先登录后进行反馈!")},
    };
    std::vector<QString> shown;
    bool stillOpen = true;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        for (const Step& step : steps) {
            Type(form, "feedbackContent", step.content);
            Type(form, "feedbackContact", step.contact);
            Click(form, "feedbackBtn");
            shown.push_back(TextOf(form, "feedbackErrorTips"));
            stillOpen = stillOpen && form->isVisible();
        }
        form->close();
    });
    bool destroyed = false;
    EXPECT_EQ(ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_),
                           ui::kNoWindow),
              0);
    ASSERT_EQ(shown.size(), std::size(steps));
    for (size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i], steps[i].message) << "step " << i;
    }
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(Bodies().empty()) << "nobody logged in: no request";
}

TEST_F(FeedbackDialogTest, AcceptedFeedbackArrivesAsUtf8AndTheDialogIsGone) {
    LogIn();
    int code = -1;
    bool destroyed = false;
    const QString content = QStringLiteral("转换速度很快，谢谢！");
    const QString prompt =
        SubmitAndAnswer(content, QStringLiteral("邮箱 a@b.cn"), &code, &destroyed);
    EXPECT_EQ(prompt, QStringLiteral("反馈信息已提交!"));
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(destroyed);
    const auto bodies = Bodies();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_NE(bodies[0].find(content.toUtf8().toStdString()), std::string::npos) << bodies[0];
    EXPECT_NE(bodies[0].find("\"contact\" : \"邮箱 a@b.cn\""), std::string::npos) << bodies[0];
}

// An undelivered feedback is not lost: the form stays with the error and the text.
TEST_F(FeedbackDialogTest, UndeliveredFeedbackKeepsTheFormAndItsText) {
    LogIn();
    reply_ = R"({"ret":1,"data":{}})";
    bool keptOpen = false;
    EXPECT_EQ(SubmitAndKeep(QStringLiteral("很长的反馈"), &keptOpen), QStringLiteral("未知错误"));
    EXPECT_TRUE(keptOpen);

    SetServiceBaseUrl("http://127.0.0.1:" +
                      std::to_string(velquist::testing::ClosedLoopbackPort()));
    keptOpen = false;
    EXPECT_EQ(SubmitAndKeep(QStringLiteral("很长的反馈"), &keptOpen), QStringLiteral("网络错误!"));
    EXPECT_TRUE(keptOpen);
}

// Escape or the frame keep the unsent text for the next opening; a sent one is gone.
TEST_F(FeedbackDialogTest, UnsentTextWaitsForTheNextOpening) {
    WhenShown(QStringLiteral("意见反馈"), [](QWidget* form) {
        Type(form, "feedbackContent", QStringLiteral("草稿"));
        Type(form, "feedbackContact", QStringLiteral("qq 9"));
        PressEscape(form);
    });
    bool destroyed = false;
    EXPECT_EQ(ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_),
                           ui::kNoWindow),
              0);
    EXPECT_TRUE(destroyed);

    LogIn();
    QString content;
    QString contact;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        content = ContentOf(form);
        contact = TextOf(form, "feedbackContact");
        Click(form, "feedbackBtn");
    });
    QString prompt;
    WhenShown(QStringLiteral("PromptBoxDialog"), [&prompt](QWidget* box) {
        prompt = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
    EXPECT_EQ(ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_),
                           ui::kNoWindow),
              1);
    EXPECT_EQ(content, QStringLiteral("草稿"));
    EXPECT_EQ(contact, QStringLiteral("qq 9"));
    EXPECT_EQ(prompt, QStringLiteral("反馈信息已提交!"));

    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        content = ContentOf(form);
        form->close();
    });
    ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_), ui::kNoWindow);
    EXPECT_TRUE(content.isEmpty()) << "sent: nothing kept";
}

// Nobody logged in: said on opening, and a send opens the login and goes on after it
// with what was typed.
TEST_F(FeedbackDialogTest, LoginIsAskedFirstAndTheTextSurvivesIt) {
    QString onOpening;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        onOpening = TextOf(form, "feedbackErrorTips");
        Type(form, "feedbackContent", QStringLiteral("登录后再发"));
        Type(form, "feedbackContact", QStringLiteral("qq 2"));
        Click(form, "feedbackBtn");
    });
    QString prompt;
    WhenShown(QStringLiteral("PromptBoxDialog"), [&prompt](QWidget* box) {
        prompt = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
    int logins = 0;
    bool destroyed = false;
    auto form = std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_, [&] {
        ++logins;
        loggedIn_ = true; // the login dialog succeeded
    });
    EXPECT_EQ(ShowModalBox(std::move(form), ui::kNoWindow), 1);
    EXPECT_EQ(onOpening, QStringLiteral("请先登录后进行反馈!"));
    EXPECT_EQ(logins, 1);
    EXPECT_EQ(prompt, QStringLiteral("反馈信息已提交!"));
    const auto bodies = Bodies();
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_NE(bodies[0].find("登录后再发"), std::string::npos);
}

TEST_F(FeedbackDialogTest, ModalFormOffersNeitherMinimiseNorMaximise) {
    Qt::WindowFlags flags;
    WhenShown(QStringLiteral("意见反馈"), [&flags](QWidget* form) {
        flags = form->windowFlags();
        form->close();
    });
    bool destroyed = false;
    ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_), ui::kNoWindow);
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint)) << "else every function is offered";
}

TEST_F(FeedbackDialogTest, LoginStateIsAskedWhenSending) {
    QString refused;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        Type(form, "feedbackContent", QStringLiteral("慢"));
        Type(form, "feedbackContact", QStringLiteral("qq 1"));
        Click(form, "feedbackBtn");
        refused = TextOf(form, "feedbackErrorTips");
        // The automatic login finishes while the form is open.
        loggedIn_ = true;
        Click(form, "feedbackBtn");
    });
    QString prompt;
    WhenShown(QStringLiteral("PromptBoxDialog"), [&prompt](QWidget* box) {
        prompt = TextOf(box, "msgText");
        Click(box, "msgConfirm");
    });
    bool destroyed = false;
    EXPECT_EQ(ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_),
                           ui::kNoWindow),
              1);
    EXPECT_EQ(refused, QStringLiteral("请先登录后进行反馈!"));
    EXPECT_EQ(prompt, QStringLiteral("反馈信息已提交!"));
    EXPECT_EQ(Bodies().size(), 1u);
}

TEST_F(FeedbackDialogTest, ContactLinkOpensTheHelpPageAndTheFormStays) {
    RecordingOpener opener;
    SetUrlOpener(&opener);
    bool stillOpen = false;
    bool focused = false;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        Click(form, "contact-us");
        stillOpen = form->isVisible();
        velquist::testing::PumpUntil(
            [&] { return form->findChild<QPlainTextEdit*>("feedbackContent")->hasFocus(); },
            std::chrono::seconds(2));
        focused = form->findChild<QPlainTextEdit*>("feedbackContent")->hasFocus();
        form->close();
    });
    bool destroyed = false;
    ShowModalBox(std::make_unique<TrackedFeedbackDialog>(&destroyed, &loggedIn_), ui::kNoWindow);
    SetUrlOpener(nullptr);
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0].toString().toStdString(), server_.BaseUrl() + "/help/audio");
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(focused) << "the focus timer moves the focus into the content box";
}

// Replies that once ended the window (a parser exception) or would pass for success.
TEST_F(FeedbackDialogTest, HostileRepliesSayNetworkError) {
    LogIn();
    std::string deep = R"({"ret":0,"data":)";
    for (int i = 0; i < 1500; ++i) {
        deep += "[";
    }
    deep += std::string(1500, ']') + "}";
    for (const std::string& reply :
         {deep, std::string("{\"ret\":0,\"data\":\"\xed\xa0\x80\"}"),
          std::string(R"({"ret":[0],"data":{}})"), std::string(R"({"ret":0,"ret":0})")}) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reply_ = reply;
        }
        bool keptOpen = false;
        EXPECT_EQ(SubmitAndKeep(QStringLiteral("内容"), &keptOpen), QStringLiteral("网络错误!"))
            << reply.substr(0, 40);
        EXPECT_TRUE(keptOpen);
    }
}

} // namespace
} // namespace velquist
