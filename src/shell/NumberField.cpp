#include "NumberField.h"

#include <QLineEdit>
#include <algorithm>

namespace brimble {

TNumberField::TNumberField(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int TNumberField::MaxLength() const {
    return static_cast<int>(QString::number(maximum()).size());
}

QValidator::State TNumberField::validate(QString& input, int& /*pos*/) const {
    if (input.size() > MaxLength()) return QValidator::Invalid;
    bool number = false;
    const int value = input.toInt(&number);
    // Anything shorter may still become a number in range; leaving the field settles it.
    return number && value >= minimum() && value <= maximum() ? QValidator::Acceptable
                                                              : QValidator::Intermediate;
}

void TNumberField::fixup(QString& input) const {
    input = QString::number(valueFromText(input));
}

int TNumberField::valueFromText(const QString& text) const {
    bool number = false;
    const qlonglong value = text.trimmed().toLongLong(&number);
    if (!number) return minimum();
    return static_cast<int>(std::clamp<qlonglong>(value, minimum(), maximum()));
}

int TNumberField::TypedValue() const {
    return valueFromText(lineEdit()->text());
}

} // namespace brimble
