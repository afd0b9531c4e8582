#pragma once

#include "window/Layout.h"

#include <QString>

#include <string_view>

// What the sources of TForm1 share: the table's colours and texts in Qt's
// terms.
namespace pressmark::formparts {

inline QString css(layout::Rgb c) {
    return QStringLiteral("rgb(%1, %2, %3)").arg(c.r).arg(c.g).arg(c.b);
}

inline QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

} // namespace pressmark::formparts
