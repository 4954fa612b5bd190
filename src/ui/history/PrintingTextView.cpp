#include "ui/history/PrintingTextView.h"

#include <QDesktopServices>
#include <QPrintDialog>
#include <QPrinter>

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
    printer.setPageMargins(QMarginsF(10.0, 20.0, 10.0, 20.0), QPageLayout::Point);
    printer.setFullPage(false);
    document()->print(&printer);
}

}  // namespace corvaline::ui
