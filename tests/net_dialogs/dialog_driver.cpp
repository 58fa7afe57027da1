#include "dialog_driver.h"

#include <QAbstractButton>
#include <QApplication>
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

void ClickButton(QWidget* window, const char* name) {
    auto* button = window->findChild<QAbstractButton*>(QLatin1String(name));
    ASSERT_NE(button, nullptr) << name;
    button->click();
}

QString ChildText(QWidget* window, const char* name) {
    if (auto* label = window->findChild<QLabel*>(QLatin1String(name))) {
        return label->text();
    }
    return QStringLiteral("<none>");
}

void SetChildText(QWidget* window, const char* name, const QString& text) {
    if (auto* edit = window->findChild<QLineEdit*>(QLatin1String(name))) {
        edit->setText(text);
        return;
    }
    auto* box = window->findChild<QPlainTextEdit*>(QLatin1String(name));
    ASSERT_NE(box, nullptr) << name;
    box->setPlainText(text);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace velquist::testing
