#pragma once

#include <QDate>
#include <QLocale>
#include <QWidget>

class QLabel;
class QPushButton;

namespace corvaline::ui {

class LinkLabel;

// The About window: name and version, the notice line of the current year, links to the
// program's installed documentation and Close (Escape and Ctrl+W too). One per process, made
// at first use. GUI thread.
class About : public QWidget {
    Q_OBJECT
  public:
    // Shows the one window, filled anew.
    static About* show();
    static About* shared();

    // Where `cmake --install` puts the documentation, beside the program's own folder.
    static QString installedDocumentation();
    // Fills the texts for `today` and the links to the documents in `documentation` for the
    // language of `locale`; a link whose document is not there is hidden.
    void fill(const QDate& today, const QLocale& locale,
              const QString& documentation = installedDocumentation());

    QLabel* versionString() const { return versionString_; }
    QLabel* copyright() const { return copyright_; }
    LinkLabel* supportLink() const { return links_[0]; }
    LinkLabel* webLink() const { return links_[1]; }
    LinkLabel* productLink() const { return links_[2]; }
    QPushButton* closeButton() const { return close_; }

  private:
    About();

    QLabel* versionString_;
    QLabel* copyright_;
    LinkLabel* links_[3];
    QPushButton* close_;
};

}  // namespace corvaline::ui
