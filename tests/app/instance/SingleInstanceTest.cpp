#include "app/instance/SingleInstance.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QLockFile>
#include <QSignalSpy>

#include "support/TempFolder.h"

namespace corvaline::app {
namespace {

using namespace std::chrono_literals;
using Outcome = SingleInstance::Outcome;

class SingleInstanceTest : public ::testing::Test {
  protected:
    QString folder() const { return QString::fromStdString(runtime_.path().string()); }
    testing::TempFolder runtime_;
};

TEST_F(SingleInstanceTest, TheNewCopyAsksTheOldToQuitAndRunsOnlyOnceItsLockIsFree) {
    SingleInstance old(folder());
    ASSERT_EQ(old.acquire(false), Outcome::Acquired);
    QSignalSpy asked(&old, &SingleInstance::quitRequested);
    // The old copy shuts down (store saved, ports closed) and only then lets go.
    bool oldHeldLockWhenAsked = false;
    QObject::connect(&old, &SingleInstance::quitRequested, [&] {
        oldHeldLockWhenAsked = old.holdsLock();
        old.release();
    });

    SingleInstance fresh(folder());
    EXPECT_EQ(fresh.acquire(false, 5s), Outcome::Acquired);
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(oldHeldLockWhenAsked);
    EXPECT_TRUE(fresh.holdsLock());
    EXPECT_FALSE(old.holdsLock());
}

TEST_F(SingleInstanceTest, AnOldCopyThatStaysKeepsTheNewOneOutAfterTheWait) {
    SingleInstance old(folder());
    ASSERT_EQ(old.acquire(false), Outcome::Acquired);
    QSignalSpy asked(&old, &SingleInstance::quitRequested);
    SingleInstance fresh(folder());
    EXPECT_EQ(fresh.acquire(false, 300ms), Outcome::OldCopyStayed);
    EXPECT_FALSE(fresh.holdsLock());
    EXPECT_EQ(asked.count(), 1);
    EXPECT_TRUE(old.holdsLock());
}

TEST_F(SingleInstanceTest, ShowAsksTheRunningCopyToShowItselfAndLeavesItRunning) {
    SingleInstance running(folder());
    ASSERT_EQ(running.acquire(false), Outcome::Acquired);
    QSignalSpy shown(&running, &SingleInstance::showRequested);
    QSignalSpy quit(&running, &SingleInstance::quitRequested);
    SingleInstance second(folder());
    EXPECT_EQ(second.acquire(true, 1s), Outcome::Shown);
    EXPECT_TRUE(shown.wait(2000) || shown.count() == 1);
    EXPECT_EQ(quit.count(), 0);
    EXPECT_TRUE(running.holdsLock());

    running.release();
    SingleInstance alone(folder());
    EXPECT_EQ(alone.acquire(true), Outcome::Acquired);  // nobody to show: it runs itself
}

TEST_F(SingleInstanceTest, ALockLeftByAKilledCopyIsTakenOver) {
    const QString lockPath = SingleInstance(folder()).lockPath();
    const pid_t child = fork();
    if (child == 0) {
        QLockFile lock(lockPath);
        lock.tryLock(0);
        QFile(SingleInstance(folder()).socketPath()).open(QIODevice::WriteOnly);
        _exit(lock.isLocked() ? 0 : 1);  // ends without unlocking, as a killed copy would
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_TRUE(QFile::exists(lockPath));

    SingleInstance fresh(folder());
    EXPECT_EQ(fresh.acquire(false, 2s), Outcome::Acquired);
    QSignalSpy asked(&fresh, &SingleInstance::quitRequested);
    SingleInstance another(folder());
    EXPECT_EQ(another.acquire(false, 200ms), Outcome::OldCopyStayed);
    EXPECT_EQ(asked.count(), 1);  // the stale socket file was replaced by a working one
}

}  // namespace
}  // namespace corvaline::app
