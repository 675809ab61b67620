#pragma once

// The engine's texts are UTF-8; Qt's are UTF-16.

#include <QString>
#include <string>

namespace brimble {

inline QString Q(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string S(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace brimble
