#include "ui/about/About.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/controls/CloseKeys.h"
#include "ui/controls/LinkLabel.h"
#include "ui/icons/StatusIcons.h"

namespace corvaline::ui {

About* About::shared() {
    static QPointer<About> window;
    if (!window) {
        window = new About;
    }
    return window;
}

About* About::show() {
    About* window = shared();
    window->QWidget::show();
    window->raise();
    window->activateWindow();
    window->close_->setFocus();  // Return and Space close it too
    window->fill(QDate::currentDate(), QLocale());
    return window;
}

About::About()
    : QWidget(nullptr, Qt::Window),
      versionString_(new QLabel(this)),
      copyright_(new QLabel(this)),
      links_{new LinkLabel(this), new LinkLabel(this), new LinkLabel(this)},
      close_(new QPushButton(tr("Close"), this)) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(tr("About Corvaline"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(30, 20, 30, 20);
    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(96, 96));
    icon->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon);
    auto* name = new QLabel(QStringLiteral("Corvaline"), this);
    QFont big = name->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    name->setFont(big);
    for (QLabel* label : {name, versionString_, copyright_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    layout->addSpacing(10);
    for (LinkLabel* link : links_) {
        link->setAlignment(Qt::AlignCenter);
        layout->addWidget(link);
    }
    layout->addSpacing(10);
    close_->setDefault(true);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close_, 0, Qt::AlignRight);
    closeWithKeys(*this);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // fits the filled texts
}

QString About::installedDocumentation() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/doc/corvaline"));
}

void About::fill(const QDate& today, const QLocale& locale, const QString& documentation) {
    versionString_->setText(tr("Corvaline for Linux v%1").arg(QStringLiteral(CORVALINE_VERSION)));
    copyright_->setText(
        tr("Copyright \u00A9 %1 the Corvaline developers. All rights reserved.").arg(today.year()));
    // The Russian-speaking audience gets the translated documents where there are any.
    const QString language =
        locale.language() == QLocale::Russian ? QStringLiteral("ru") : QString();
    const std::pair<QString, QString> targets[] = {
        {tr("Getting help"), QStringLiteral("README.md")},
        {tr("How Corvaline is built"), QStringLiteral("docs/architecture.md")},
        {tr("What Corvaline does on Linux"), QStringLiteral("README.md")},
    };
    // Only what `cmake --install` put beside the program: a link with no document is left out.
    for (int i = 0; i < 3; ++i) {
        const QString name = targets[i].second;
        const QString translated =
            documentation + QLatin1Char('/') + language + QLatin1Char('/') + name;
        const QString plain = documentation + QLatin1Char('/') + name;
        const QString target = !language.isEmpty() && QFileInfo::exists(translated) ? translated
                               : QFileInfo::exists(plain)                           ? plain
                                                                                    : QString();
        links_[i]->setText(targets[i].first);
        links_[i]->setUrl(target.isEmpty() ? QUrl() : QUrl::fromLocalFile(target));
        links_[i]->setVisible(!target.isEmpty());
    }
}

}  // namespace corvaline::ui
