#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QFont>
#include <QRectF>
#include <QString>
#include <memory>

class QPageLayout;
class QPaintDevice;
class QPainter;
class QTextDocument;

namespace corvaline::ui {

// A text cut into the pages of a page layout for one paint device (a printer, or an image in
// a test): each page shows its part of the text inside the layout's margins, the job's name and
// the time of printing in the top margin and "Page n of m" in the bottom one. The text is
// copied and laid out for the device, so the shown text keeps its own layout. GUI thread.
class PrintedPages {
    Q_DECLARE_TR_FUNCTIONS(PrintedPages)
  public:
    PrintedPages(const QTextDocument& text, QPaintDevice& device, const QPageLayout& layout,
                 const QString& title, const QDateTime& printedAt);
    ~PrintedPages();

    int count() const;
    // Draws page `index` (from 0) with the painter's origin at the paper's corner.
    void paint(QPainter& painter, int index) const;
    // The paper and the text's part of it, in the device's pixels.
    QRectF paper() const { return paper_; }
    QRectF body() const { return body_; }

  private:
    std::unique_ptr<QTextDocument> text_;
    QPaintDevice& device_;
    QRectF paper_;
    QRectF body_;
    QFont headerFont_;
    QString title_;
    QString printedAt_;
};

}  // namespace corvaline::ui
