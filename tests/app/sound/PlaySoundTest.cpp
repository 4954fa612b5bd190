#include "app/sound/PlaySound.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSoundEffect>
#include <QTest>

namespace corvaline::app {
namespace {

TEST(PlaySoundTest, TheFourSoundsAreBuiltInAndEachNameKeepsOneEffect) {
    for (const char* name : {"Message", "Broadcast", "Online", "File"}) {
        EXPECT_TRUE(QFile::exists(QStringLiteral(":/sounds/%1.wav").arg(name))) << name;
    }
    PlaySound sounds;
    for (int i = 0; i < 20; ++i) {
        sounds.Play("Message");  // no audio device here: silence, no error
    }
    sounds.Play("Online");
    EXPECT_EQ(sounds.cachedEffects(), 2u);
    // Qt's sample cache leaks a sample whose effect goes while it still loads on its thread;
    // the program keeps its effects to the end, so the test lets the loading finish too.
    for (const auto* effect : sounds.findChildren<QSoundEffect*>()) {
        EXPECT_TRUE(
            QTest::qWaitFor([effect] { return effect->status() != QSoundEffect::Loading; }, 10000));
    }
}

TEST(PlaySoundTest, ANameWithoutASoundPlaysNothing) {
    PlaySound sounds;
    sounds.Play("Trumpet");
    sounds.Play("");
    EXPECT_EQ(sounds.cachedEffects(), 0u);
}

}  // namespace
}  // namespace corvaline::app
