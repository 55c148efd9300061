#pragma once
/// TSpinEdit: an integer field with arrows. Its value is the integer in its
/// text, or its lower limit when the text is none; setting a value clamps it
/// to the limits unless both are equal (then there is no limit).

#include <QAbstractSpinBox>

namespace scalopex::app {

class TSpinEdit : public QAbstractSpinBox {
public:
    explicit TSpinEdit(QWidget* parent);

    int MinValue() const { return m_minValue; }
    int MaxValue() const { return m_maxValue; }
    void SetLimits(int minValue, int maxValue);

    int Value() const;
    void SetValue(int value);

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int Clamped(long long value) const;

    int m_minValue = 0;
    int m_maxValue = 0;
};

/// The integer that text spells (optional sign, decimal digits, surrounding
/// spaces), or nothing when it spells none within 32 bits.
bool ParseInteger(const QString& text, int& value);

}  // namespace scalopex::app
