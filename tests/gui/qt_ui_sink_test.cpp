// Reports from a worker thread reach the page on its own thread; a question blocks the worker
// until it has its answer.
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "RecordingServices.h"
#include "ui/QtUiSink.h"

using namespace quarvell;

TEST(QtUiSink, WorkerReportsArriveOnThePageThread) {
    RecordingServices services;
    services.answers = {MsgResult::Yes};
    QWidget page;
    auto* bar = new QProgressBar(&page);
    auto* status = new QLabel(&page);
    ui::QtUiSink sink(&page, bar, status);

    std::atomic<bool> answered{false};
    MsgResult answer = MsgResult::Ok;
    std::thread worker([&] {
        sink.setProgressRange(0, 1000);
        sink.setProgressPos(250);
        sink.setStatus("found NTFS 1...");
        answer = sink.messageBox("Continue?", kCaption, MsgIcon::Question, MsgButtons::YesNo);
        answered = true;
    });
    QTest::qWait(50);
    // Nothing has been shown yet... until the page's thread runs its events.
    for (int i = 0; i < 200 && !answered; ++i) QTest::qWait(5);
    worker.join();
    EXPECT_EQ(answer, MsgResult::Yes);
    ASSERT_EQ(services.messages.size(), 1u);
    EXPECT_EQ(services.messages.front().text, "Continue?");
    EXPECT_EQ(bar->maximum(), 1000);
    EXPECT_EQ(bar->value(), 250);
    EXPECT_EQ(status->text(), "found NTFS 1...");
}

TEST(QtUiSink, QuestionWaitsForThePageThread) {
    RecordingServices services;
    QWidget page;
    ui::QtUiSink sink(&page, nullptr, nullptr);
    std::atomic<bool> answered{false};
    std::thread worker([&] {
        sink.messageBox("populated partitions....", kCaption, MsgIcon::Information, MsgButtons::Ok);
        answered = true;
    });
    QThread::msleep(100);
    EXPECT_FALSE(answered) << "the worker goes on only once the box has been answered";
    for (int i = 0; i < 200 && !answered; ++i) QTest::qWait(5);
    worker.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(services.messageTexts(), QStringList{"populated partitions...."});
}
