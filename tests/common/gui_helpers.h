// Helpers for tests that drive the real window: waiting on conditions while the event loop
// runs, and answering the modal boxes the program shows.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

// Runs the event loop until `condition` holds or `timeoutMs` has passed.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(10);
    }
    return true;
}

// Watches for modal boxes and answers them: message boxes with their default button (or the
// answer set for questions), the confirmation dialog with its first or second button or its
// close box. Every text shown is recorded, "\r" line breaks as the program wrote them.
class ModalAnswerer : public QObject {
public:
    enum class Confirm { First, Second, Close };

    ModalAnswerer() {
        timer_.setInterval(15);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }

    void setConfirmation(Confirm answer) { confirm_ = answer; }
    // For Yes/No questions: true answers Yes.
    void setQuestionAnswer(bool yes) { questionYes_ = yes; }
    // Holds boxes open (unanswered) while set; the test answers them itself.
    void setPaused(bool paused) { paused_ = paused; }

    QStringList messages() const { return messages_; }
    QString lastMessage() const { return messages_.value(messages_.size() - 1); }
    void clear() { messages_.clear(); }
    bool waitForMessage(const QString& text, int timeoutMs) {
        return WaitUntil([&] { return messages_.contains(text); }, timeoutMs);
    }

private:
    void poll() {
        if (paused_) {
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            return;
        }
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            const QVariant text = box->property("messageText");
            messages_.append(text.isValid() ? text.toString() : box->text());
            QAbstractButton* button = box->button(QMessageBox::Ok);
            if (!button) {
                button = box->button(questionYes_ ? QMessageBox::Yes : QMessageBox::No);
            }
            if (button) {
                button->click();
            } else {
                box->reject();
            }
            return;
        }
        if (modal->objectName() == QLatin1String("ConfirmationDialog")) {
            auto* label = modal->findChild<QLabel*>(QStringLiteral("messageLabel"));
            messages_.append(label ? label->property("messageText").toString() : QString());
            if (confirm_ == Confirm::Close) {
                static_cast<QDialog*>(modal)->reject();
            } else {
                const char* name = confirm_ == Confirm::First ? "firstButton" : "secondButton";
                if (auto* button = modal->findChild<QAbstractButton*>(QLatin1String(name))) {
                    button->click();
                }
            }
        }
    }

    QTimer timer_;
    QStringList messages_;
    Confirm confirm_ = Confirm::First;
    bool questionYes_ = true;
    bool paused_ = false;
};
