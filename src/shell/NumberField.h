#pragma once

// A number field that lets the user type past its bounds and brings the number into them
// when the field is left; a text that is no number reads as the minimum. A value set from
// the program is brought into the bounds at once. No longer than the maximum's digits.

#include <QSpinBox>

namespace brimble {

class TNumberField final : public QSpinBox {
    Q_OBJECT

public:
    explicit TNumberField(QWidget* parent = nullptr);

    // The number as typed so far, brought into the bounds (as leaving the field would).
    int TypedValue() const;

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    int valueFromText(const QString& text) const override;

private:
    int MaxLength() const;
};

} // namespace brimble
