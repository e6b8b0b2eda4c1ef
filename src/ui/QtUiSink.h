#pragma once
// The core's reports shown on a page: progress bar, status line and message boxes. Safe to call
// from a worker thread: progress and status are queued to the page's thread; a message box blocks
// the calling worker until the user has answered it.
#include <QPointer>

#include "common/UiSink.h"

class QLabel;
class QProgressBar;
class QWidget;

namespace quarvell::ui {

class QtUiSink final : public UiSink {
public:
    QtUiSink(QWidget* owner, QProgressBar* progress, QLabel* status);

    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPos(int64_t pos) override;
    void setStatus(const std::string& text) override;
    MsgResult messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                         MsgButtons buttons) override;

private:
    template <typename Fn>
    void onPageThread(Fn&& fn);

    QPointer<QWidget> owner_;
    QPointer<QProgressBar> progress_;
    QPointer<QLabel> status_;
};

}  // namespace quarvell::ui
