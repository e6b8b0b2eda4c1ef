#include "ui/ScanWorkerSink.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "ui/PageServices.h"

namespace quarvell::ui {

namespace {

int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

struct ScanWorkerSink::Question {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    MsgResult answer = MsgResult::No;
};

ScanWorkerSink::ScanWorkerSink(QWidget* owner, QProgressBar* progress, QLabel* status, QLabel* detail)
    : owner_(owner), progress_(progress), status_(status), detail_(detail) {
    timer_ = new QTimer(owner);
    timer_->setInterval(kFlushIntervalMs);
    QObject::connect(timer_, &QTimer::timeout, owner, [this] { flush(); });
    timer_->start();
}

ScanWorkerSink::~ScanWorkerSink() {
    cancelQuestions();
    if (owner_) delete timer_;
}

bool ScanWorkerSink::onOwnerThread() const {
    return !owner_ || QThread::currentThread() == owner_->thread();
}

void ScanWorkerSink::applyRange(int64_t low, int64_t high) {
    if (!progress_) return;
    // A 64-bit range is shown scaled into the bar's int range.
    progress_->setRange(clampToInt(low), clampToInt(high));
    ++widgetUpdates_;
}

void ScanWorkerSink::applyPos(int64_t pos) {
    if (!progress_) return;
    progress_->setValue(clampToInt(pos));
    ++widgetUpdates_;
}

void ScanWorkerSink::setProgressRange(int64_t low, int64_t high) {
    if (onOwnerThread()) {
        {
            std::lock_guard lock(mutex_);
            rangeDirty_ = false;
        }
        applyRange(low, high);
        return;
    }
    std::lock_guard lock(mutex_);
    low_ = low;
    high_ = high;
    rangeDirty_ = true;
}

void ScanWorkerSink::setProgressPos(int64_t pos) {
    if (onOwnerThread()) {
        {
            std::lock_guard lock(mutex_);
            posDirty_ = false;
        }
        applyPos(pos);
        return;
    }
    std::lock_guard lock(mutex_);
    pos_ = pos;
    posDirty_ = true;
}

void ScanWorkerSink::setStatus(const std::string& text) {
    if (onOwnerThread()) {
        {
            std::lock_guard lock(mutex_);
            statusDirty_ = false;
        }
        if (status_) status_->setText(QString::fromStdString(text));
        return;
    }
    std::lock_guard lock(mutex_);
    status_text_ = text;
    statusDirty_ = true;
}

void ScanWorkerSink::setDetail(const std::string& text) {
    if (onOwnerThread()) {
        {
            std::lock_guard lock(mutex_);
            detailDirty_ = false;
        }
        if (detail_) detail_->setText(QString::fromStdString(text));
        return;
    }
    std::lock_guard lock(mutex_);
    detail_text_ = text;
    detailDirty_ = true;
}

void ScanWorkerSink::flush() {
    bool range, pos, status, detail;
    int64_t low, high, at;
    std::string statusText, detailText;
    {
        std::lock_guard lock(mutex_);
        range = rangeDirty_;
        pos = posDirty_;
        status = statusDirty_;
        detail = detailDirty_;
        low = low_;
        high = high_;
        at = pos_;
        statusText = status_text_;
        detailText = detail_text_;
        rangeDirty_ = posDirty_ = statusDirty_ = detailDirty_ = false;
    }
    if (range) applyRange(low, high);
    if (pos) applyPos(at);
    if (status && status_) {
        status_->setText(QString::fromStdString(statusText));
        ++widgetUpdates_;
    }
    if (detail && detail_) {
        detail_->setText(QString::fromStdString(detailText));
        ++widgetUpdates_;
    }
}

MsgResult ScanWorkerSink::messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                     MsgButtons buttons) {
    const QString t = QString::fromStdString(text);
    const QString c = QString::fromStdString(caption);
    if (onOwnerThread()) {
        flush();
        return PageServices::current().messageBox(owner_.data(), t, c, icon, buttons, QString());
    }
    if (buttons == MsgButtons::Ok) {
        // Shown in order with the worker's other reports; the worker does not wait for it.
        QMetaObject::invokeMethod(
            owner_.data(),
            [this, t, c, icon] {
                flush();
                PageServices::current().messageBox(owner_.data(), t, c, icon, MsgButtons::Ok, QString());
            },
            Qt::QueuedConnection);
        return MsgResult::Ok;
    }
    auto question = std::make_shared<Question>();
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return MsgResult::No;
        waiting_ = question;
    }
    QMetaObject::invokeMethod(
        owner_.data(),
        [this, question, t, c, icon] {
            {
                std::lock_guard lock(question->mutex);
                if (question->done) return;
            }
            flush();
            const MsgResult answer = PageServices::current().messageBox(owner_.data(), t, c, icon, MsgButtons::YesNo,
                                                                        QString());
            std::lock_guard lock(question->mutex);
            if (!question->done) {
                question->answer = answer;
                question->done = true;
            }
            question->answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(question->mutex);
    question->answered.wait(lock, [&] { return question->done; });
    const MsgResult answer = question->answer;
    lock.unlock();
    std::lock_guard own(mutex_);
    if (waiting_ == question) waiting_.reset();
    return answer;
}

void ScanWorkerSink::cancelQuestions() {
    std::shared_ptr<Question> question;
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        question = waiting_;
    }
    if (!question) return;
    std::lock_guard lock(question->mutex);
    if (!question->done) {
        question->done = true;
        question->answer = MsgResult::No;
    }
    question->answered.notify_all();
}

}  // namespace quarvell::ui
