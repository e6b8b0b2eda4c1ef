#include "ui/QtUiSink.h"

#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <algorithm>
#include <climits>

#include "ui/PageServices.h"

namespace quarvell::ui {

namespace {

int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

QtUiSink::QtUiSink(QWidget* owner, QProgressBar* progress, QLabel* status)
    : owner_(owner), progress_(progress), status_(status) {}

template <typename Fn>
void QtUiSink::onPageThread(Fn&& fn) {
    QWidget* owner = owner_.data();
    if (!owner) return;
    if (QThread::currentThread() == owner->thread())
        fn();
    else
        QMetaObject::invokeMethod(owner, std::forward<Fn>(fn), Qt::QueuedConnection);
}

void QtUiSink::setProgressRange(int64_t low, int64_t high) {
    QPointer<QProgressBar> bar = progress_;
    onPageThread([bar, low, high] {
        if (bar) bar->setRange(clampToInt(low), clampToInt(high));
    });
}

void QtUiSink::setProgressPos(int64_t pos) {
    QPointer<QProgressBar> bar = progress_;
    onPageThread([bar, pos] {
        if (bar) bar->setValue(clampToInt(pos));
    });
}

void QtUiSink::setStatus(const std::string& text) {
    QPointer<QLabel> label = status_;
    const QString shown = QString::fromStdString(text);
    onPageThread([label, shown] {
        if (label) label->setText(shown);
    });
}

MsgResult QtUiSink::messageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons) {
    QPointer<QWidget> owner = owner_;
    const QString t = QString::fromStdString(text);
    const QString c = QString::fromStdString(caption);
    auto ask = [owner, t, c, icon, buttons] {
        return PageServices::current().messageBox(owner.data(), t, c, icon, buttons, QString());
    };
    if (!owner || QThread::currentThread() == owner->thread()) return ask();
    // A page that goes away while the worker waits drops the call: the answer is then "No"/"Ok".
    MsgResult answer = buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    QMetaObject::invokeMethod(owner.data(), ask, Qt::BlockingQueuedConnection, &answer);
    return answer;
}

}  // namespace quarvell::ui
