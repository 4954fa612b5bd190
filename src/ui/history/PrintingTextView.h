#pragma once

#include <QTextBrowser>
#include <memory>

class QPrinter;

namespace corvaline::ui {

// The history text, printable: the print panel (paper size and orientation among its
// choices) opens over the window, and the pages carry margins of 10 points left and right
// and 20 points top and bottom, a header with the job's name and the time, and page numbers
// (ui/history/PrintedPages.h). The printer and its settings are made at the first print and
// kept. Links open in the desktop's handler. GUI thread.
class PrintingTextView : public QTextBrowser {
    Q_OBJECT
  public:
    explicit PrintingTextView(QWidget* parent = nullptr);
    ~PrintingTextView() override;

    // The job's name on the printer (the shown row's name).
    void setPrintJobName(const QString& name) { printJobName_ = name; }
    const QString& printJobName() const { return printJobName_; }

    // Opens the print panel; printing follows its OK.
    void print();
    // Prints the whole text to `printer` with the margins, the header and the job name.
    void printTo(QPrinter& printer) const;
    // The kept printer (none before the first print).
    QPrinter* printInfo() const { return printer_.get(); }

  private:
    QString printJobName_;
    std::unique_ptr<QPrinter> printer_;
};

}  // namespace corvaline::ui
