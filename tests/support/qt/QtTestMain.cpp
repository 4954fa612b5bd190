// The main of the widget tests: one QApplication for the whole program (offscreen), HOME and
// the XDG folders in a temporary folder so no test touches the real settings or store, and
// US English so that the texts the tests expect do not depend on the machine. A test that
// leaves a window shown fails: the next test in the same process would meet it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QStringList>
#include <QWidget>
#include <filesystem>
#include <string>

namespace {

class NoWindowLeftShown : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList left;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->isVisible()) {
                left << QStringLiteral("%1 \"%2\"")
                            .arg(QString::fromLatin1(window->metaObject()->className()),
                                 window->windowTitle());
                window->hide();  // one leak fails one test, not all that follow
            }
        }
        EXPECT_TRUE(left.isEmpty()) << "windows left shown: " << left.join(", ").toStdString();
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvaline-home-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        return 1;
    }
    const std::filesystem::path home = pattern;
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("APP_SANDBOX_CONTAINER_ID");
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("LC_ALL", "en_US.UTF-8", 1);
    unsetenv("LANGUAGE");
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new NoWindowLeftShown);
    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return result;
}
