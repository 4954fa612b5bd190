#include "ui/format/ByteCounts.h"

#include <QCoreApplication>
#include <QLocale>

namespace corvaline::ui {

ByteCountFormatter& SharedByteCountFormatter() {
    // Grouping and decimal marks of the locale the windows use.
    static ByteCountFormatter formatter(
        {
            QCoreApplication::translate("ByteCountFormatter", "bytes").toStdString(),
            QCoreApplication::translate("ByteCountFormatter", "KB").toStdString(),
            QCoreApplication::translate("ByteCountFormatter", "MB").toStdString(),
            QCoreApplication::translate("ByteCountFormatter", "GB").toStdString(),
        },
        QLocale().name().toStdString());
    return formatter;
}

QString byteCountText(std::int64_t count) {
    return QString::fromStdString(SharedByteCountFormatter().stringFromByteCount(count));
}

}  // namespace corvaline::ui
