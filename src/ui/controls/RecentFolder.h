#pragma once

#include <QString>

namespace corvaline::ui {

// Where a kind of file dialog starts: the home folder at first, then the folder last used with
// it while that still exists (never the folder the program was started from). One for each
// kind, for the process. GUI thread.
class RecentFolder {
  public:
    // The file chooser of Send Files and the history's Save.
    static RecentFolder& sendingFiles();
    static RecentFolder& savingHistory();

    QString folder() const;
    // The folder of the file or files chosen.
    void remember(const QString& chosenFile);

  private:
    RecentFolder() = default;

    QString last_;
};

}  // namespace corvaline::ui
