#include "ui/history/PrintingTextView.h"

#include <QDesktopServices>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include "ui/history/PrintedPages.h"

namespace corvaline::ui {

PrintingTextView::PrintingTextView(QWidget* parent) : QTextBrowser(parent) {
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setOpenLinks(false);  // the only links are the program's own folder links
    connect(this, &QTextBrowser::anchorClicked, this,
            [](const QUrl& url) { QDesktopServices::openUrl(url); });
    document()->setDocumentMargin(0.0);
}

PrintingTextView::~PrintingTextView() = default;

void PrintingTextView::print() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    auto* panel = new QPrintDialog(printer_.get(), this);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setOptions(panel->options() | QAbstractPrintDialog::PrintToFile |
                      QAbstractPrintDialog::PrintShowPageSize);
    panel->setWindowModality(Qt::WindowModal);
    connect(panel, &QDialog::accepted, this, [this] { printTo(*printer_); });
    panel->open();
}

void PrintingTextView::printTo(QPrinter& printer) const {
    printer.setDocName(printJobName_);
    // The pages are drawn from the paper's corner: the header and the footer stand in the
    // margins, and no margin of the printer's own comes on top.
    printer.setFullPage(true);
    printer.setPageMargins(QMarginsF(10.0, 20.0, 10.0, 20.0), QPageLayout::Point);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return;  // no printer to draw on; the print system has said why
    }
    const PrintedPages pages(*document(), printer, printer.pageLayout(), printJobName_,
                             QDateTime::currentDateTime());
    for (int page = 0; page < pages.count(); ++page) {
        if (page > 0) {
            printer.newPage();
        }
        pages.paint(painter, page);
    }
}

}  // namespace corvaline::ui
