#include "ui/about/About.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include "ui/controls/LinkLabel.h"

namespace corvaline::ui {
namespace {

TEST(AboutTest, VersionForLinuxAndTheCalendarYear) {
    About* about = About::show();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(About::show(), about);  // one window per process
    EXPECT_EQ(about->versionString()->text(),
              QStringLiteral("Corvaline for Linux v") + QStringLiteral(CORVALINE_VERSION));
    EXPECT_TRUE(about->copyright()->text().contains(QString::number(QDate::currentDate().year())));
    // 31 December 2024 lies in the first week of 2025: the calendar year is printed.
    about->fill(QDate(2024, 12, 31), QLocale(QLocale::English));
    EXPECT_TRUE(about->copyright()->text().contains(QStringLiteral("2024")));
    EXPECT_FALSE(about->copyright()->text().contains(QStringLiteral("2025")));
    about->close();
}

TEST(AboutTest, LinksLeadOnlyToTheInstalledDocumentation) {
    About* about = About::shared();
    const auto links = {about->supportLink(), about->webLink(), about->productLink()};
    // Beside a program that was not installed (this test's): no link, not even into the
    // folder it was built from.
    about->fill(QDate::currentDate(), QLocale(QLocale::English));
    for (LinkLabel* link : links) {
        EXPECT_FALSE(link->isVisibleTo(about)) << link->text().toStdString();
        EXPECT_TRUE(link->url().isEmpty()) << link->url().toString().toStdString();
    }
    // As `cmake --install` lays it out.
    QTemporaryDir installed;
    ASSERT_TRUE(QDir(installed.path()).mkpath(QStringLiteral("docs")));
    for (const char* name : {"README.md", "docs/architecture.md"}) {
        QFile file(installed.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    about->fill(QDate::currentDate(), QLocale(QLocale::English), installed.path());
    for (LinkLabel* link : links) {
        EXPECT_TRUE(link->isVisibleTo(about)) << link->text().toStdString();
        EXPECT_FALSE(link->text().isEmpty());
        EXPECT_TRUE(link->url().isLocalFile());
        EXPECT_TRUE(link->url().toLocalFile().startsWith(installed.path()))
            << link->url().toString().toStdString();
    }
}

}  // namespace
}  // namespace corvaline::ui
