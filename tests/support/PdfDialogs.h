#pragma once

#include "support/FakeDialogs.h"

#include <QPrinter>

namespace velkar {

// Answers the print dialog with a PDF file, as choosing "print to file" would, and notes the
// document's name the print job carried.
class PdfDialogs : public FakeDialogs {
public:
    explicit PdfDialogs(QString file) : m_file(std::move(file)) {}
    bool choosePrinter(QPrinter& printer) override {
        FakeDialogs::choosePrinter(printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_file);
        docName = printer.docName();
        return true;
    }
    QString docName;

private:
    QString m_file;
};

} // namespace velkar
