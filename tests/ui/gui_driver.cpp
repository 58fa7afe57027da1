#include "gui_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

namespace velquist::testing {

QWidget* ShownWindow(const QString& className) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == className && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

void WhenShown(const QString& className, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, className, act] {
        QWidget* window = ShownWindow(className);
        if (window == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        act(window);
    });
    timer->start(5);
}

WindowSteps::WindowSteps(QString keepWindowClass, int patienceMs) {
    state_->keep = std::move(keepWindowClass);
    state_->patienceMs = patienceMs;
}

WindowSteps& WindowSteps::Then(const QString& className, std::function<void(QWidget*)> act) {
    state_->steps.push_back({className, std::move(act)});
    return *this;
}

void WindowSteps::Start() {
    Arm(state_, 0);
}

void WindowSteps::Arm(const std::shared_ptr<State>& state, std::size_t index) {
    if (index >= state->steps.size()) {
        return;
    }
    auto* timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [state, timer, index, clock] {
        const QString& wanted = state->steps[index].className;
        QWidget* window = ShownWindow(wanted);
        if (window == nullptr && clock->elapsed() < state->patienceMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (window == nullptr) {
            ADD_FAILURE() << "never shown: " << wanted.toStdString();
            CloseStrayWindows(state->keep);
            return;
        }
        ++state->done;
        Arm(state, index + 1);
        state->steps[index].act(window);
    });
    timer->start(5);
}

void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

void Type(QWidget* window, const char* name, const QString& text) {
    if (auto* edit = window->findChild<QLineEdit*>(QLatin1String(name))) {
        edit->setText(text);
        return;
    }
    auto* box = window->findChild<QPlainTextEdit*>(QLatin1String(name));
    ASSERT_NE(box, nullptr) << name;
    box->setPlainText(text);
}

QString TextOf(QWidget* window, const char* name) {
    if (auto* label = window->findChild<QLabel*>(QLatin1String(name))) {
        return label->text();
    }
    if (auto* edit = window->findChild<QLineEdit*>(QLatin1String(name))) {
        return edit->text();
    }
    if (auto* button = window->findChild<QAbstractButton*>(QLatin1String(name))) {
        return button->text();
    }
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

void CloseStrayWindows(const QString& keep) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->objectName() != keep) {
            widget->close();
        }
    }
}

bool SpinUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace velquist::testing
