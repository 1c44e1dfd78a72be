#pragma once
// Texts crossing between the core (GBK bytes) and Qt (QString).

#include <QString>
#include <string>
#include <string_view>

#include "runtime/encoding.h"

namespace qx::gui {

inline QString FromGbk(std::string_view gbk) {
    const std::u16string text = runtime::GbkToUtf16(gbk);
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
inline std::string ToGbk(const QString& text) { return runtime::Utf8ToGbk(text.toStdString()); }

}  // namespace qx::gui
