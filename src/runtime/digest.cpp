#include "runtime/digest.h"

#include <QCryptographicHash>

#include <algorithm>

namespace qx::runtime {

std::array<std::uint8_t, 20> Sha1(std::string_view bytes) {
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())), QCryptographicHash::Sha1);
    std::array<std::uint8_t, 20> out{};
    std::copy_n(reinterpret_cast<const std::uint8_t*>(digest.constData()), std::min<qsizetype>(20, digest.size()),
                out.begin());
    return out;
}

}  // namespace qx::runtime
