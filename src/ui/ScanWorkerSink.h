#pragma once
// The reports of a worker job shown on its page. Progress, the status line and the detail line
// are kept as their latest values and applied on the page's thread a few dozen times a second,
// so a parse that reports every record never floods the interface. Message boxes with only "Ok"
// are queued and the worker goes on at once; a question waits for its answer, and is answered
// "No" when the page closes, so the page can always stop and join its worker without a deadlock.
#include <QPointer>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/UiSink.h"

class QLabel;
class QProgressBar;
class QTimer;
class QWidget;

namespace quarvell::ui {

class ScanWorkerSink final : public UiSink {
public:
    ScanWorkerSink(QWidget* owner, QProgressBar* progress, QLabel* status, QLabel* detail);
    ~ScanWorkerSink() override;

    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPos(int64_t pos) override;
    void setStatus(const std::string& text) override;
    void setDetail(const std::string& text) override;
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;

    // Page thread: applies what the worker reported since the last call.
    void flush();
    // Page thread, when the page goes away: every waiting and later question is answered "No".
    void cancelQuestions();
    // How many updates of the widgets the coalescing has made (for the tests' upper bound).
    uint64_t widgetUpdates() const { return widgetUpdates_; }

    static constexpr int kFlushIntervalMs = 40;

private:
    struct Question;
    bool onOwnerThread() const;
    void applyRange(int64_t low, int64_t high);
    void applyPos(int64_t pos);

    QPointer<QWidget> owner_;
    QPointer<QProgressBar> progress_;
    QPointer<QLabel> status_;
    QPointer<QLabel> detail_;
    QTimer* timer_ = nullptr;

    std::mutex mutex_;
    bool rangeDirty_ = false, posDirty_ = false, statusDirty_ = false, detailDirty_ = false;
    int64_t low_ = 0, high_ = 0, pos_ = 0;
    std::string status_text_, detail_text_;
    bool cancelled_ = false;
    std::shared_ptr<Question> waiting_;
    uint64_t widgetUpdates_ = 0;
};

}  // namespace quarvell::ui
