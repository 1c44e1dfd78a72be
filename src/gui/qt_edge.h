#pragma once
// Texts crossing between the core (GBK bytes) and Qt (QString).

#include <QString>
#include <string>
#include <string_view>

#include "runtime/encoding.h"

namespace qx::gui {

inline QString FromGbk(std::string_view gbk) { return QString::fromStdString(runtime::GbkToUtf8(gbk)); }
inline std::string ToGbk(const QString& text) { return runtime::Utf8ToGbk(text.toStdString()); }

}  // namespace qx::gui
