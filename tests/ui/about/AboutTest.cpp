#include "ui/about/About.h"

#include <gtest/gtest.h>

#include <QLabel>

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
    for (LinkLabel* link : {about->supportLink(), about->webLink(), about->productLink()}) {
        EXPECT_FALSE(link->text().isEmpty());
        EXPECT_TRUE(link->url().isLocalFile()) << link->url().toString().toStdString();
    }
    about->close();
}

}  // namespace
}  // namespace corvaline::ui
