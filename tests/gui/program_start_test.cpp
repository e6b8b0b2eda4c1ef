// The program as a process: the single-instance guard between two processes, and a start without
// a display.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <gtest/gtest.h>

#include "app/InstanceGuard.h"

namespace {

QString uniqueGuardName(const char* what) {
    return QStringLiteral("quarvell-test-%1-%2").arg(what).arg(QCoreApplication::applicationPid());
}

QProcessEnvironment programEnvironment(const QString& guard) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUARVELL_INSTANCE_GUARD", guard);
    env.insert("QUARVELL_MESSAGES_TO_STDERR", "1");
    return env;
}

// True once some process holds the guard name.
bool guardTaken(const QString& guard) { return !quarvell::InstanceGuard(guard.toStdString()).acquired(); }

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

}  // namespace

TEST(InstanceGuard, HeldNameIsRefusedUntilItsHolderGoes) {
    const std::string name = uniqueGuardName("local").toStdString();
    {
        quarvell::InstanceGuard first(name);
        ASSERT_TRUE(first.acquired());
        EXPECT_FALSE(quarvell::InstanceGuard(name).acquired());
        EXPECT_TRUE(quarvell::InstanceGuard(name + "-other").acquired());
    }
    EXPECT_TRUE(quarvell::InstanceGuard(name).acquired());
}

TEST(ProgramStart, SecondInstanceIsRefusedAndTheGuardEndsWithAKilledFirst) {
    const QString guard = uniqueGuardName("two");
    QProcess first;
    first.setProcessEnvironment(programEnvironment(guard));
    first.start(QUARVELL_GUI_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    ASSERT_TRUE(waitFor([&] { return guardTaken(guard) || first.state() == QProcess::NotRunning; }, 15000));
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();

    QProcess second;
    second.setProcessEnvironment(programEnvironment(guard));
    second.start(QUARVELL_GUI_PROGRAM, {});
    ASSERT_TRUE(second.waitForFinished(15000)) << "the second start must end on its own";
    EXPECT_EQ(second.exitCode(), 1);
    const QString said = QString::fromUtf8(second.readAllStandardError());
    EXPECT_TRUE(said.contains("Quarvell Ostrelle(Full) v1.0: Another instance of application is already running"))
        << said.toStdString();

    // Killed without a chance to clean up, the first copy still frees the name.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(10000));
    EXPECT_TRUE(waitFor([&] { return !guardTaken(guard); }, 5000));
}

TEST(ProgramStart, WithoutADisplayItPointsToTheCommandLine) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    env.insert("QUARVELL_INSTANCE_GUARD", uniqueGuardName("nodisplay"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QUARVELL_GUI_PROGRAM, {"/tmp/disk.img"});
    ASSERT_TRUE(program.waitForFinished(15000));
    EXPECT_NE(program.exitCode(), 0);
    const QString said = QString::fromUtf8(program.readAllStandardError());
    EXPECT_TRUE(said.contains("no display")) << said.toStdString();
    EXPECT_TRUE(said.contains("quarvell-cli partitions /tmp/disk.img")) << said.toStdString();
}
