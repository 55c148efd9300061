#include "app/spin_edit.h"

#include <climits>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

namespace scalopex::app {

bool ParseInteger(const QString& text, int& value)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    const int parsed = trimmed.toInt(&ok, 10);
    if (!ok)
        return false;
    value = parsed;
    return true;
}

TSpinEdit::TSpinEdit(QWidget* parent) : QAbstractSpinBox(parent)
{
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
    lineEdit()->setText(QStringLiteral("0"));
}

void TSpinEdit::SetLimits(int minValue, int maxValue)
{
    m_minValue = minValue;
    m_maxValue = maxValue;
}

int TSpinEdit::Clamped(long long value) const
{
    if (m_minValue != m_maxValue) {
        if (value < m_minValue)
            return m_minValue;
        if (value > m_maxValue)
            return m_maxValue;
    }
    if (value < INT_MIN)
        return INT_MIN;
    if (value > INT_MAX)
        return INT_MAX;
    return static_cast<int>(value);
}

int TSpinEdit::Value() const
{
    int value = 0;
    return ParseInteger(lineEdit()->text(), value) ? value : m_minValue;
}

void TSpinEdit::SetValue(int value)
{
    lineEdit()->setText(QString::number(Clamped(value)));
}

void TSpinEdit::stepBy(int steps)
{
    SetValue(Clamped(static_cast<long long>(Value()) + steps));
    selectAll();
}

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const
{
    return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

QValidator::State TSpinEdit::validate(QString&, int&) const
{
    // Keys are filtered as they are typed; any text may stand.
    return QValidator::Acceptable;
}

void TSpinEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    bool refused = enter;
    if (!refused && !text.isEmpty() && !(event->modifiers() & Qt::ControlModifier)) {
        const QChar c = text.at(0);
        if (c.unicode() >= 32) {
            const QChar separator = locale().decimalPoint().at(0);
            refused = !(c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-') || c == separator);
        }
    }
    if (refused) {
        QApplication::beep();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void TSpinEdit::focusOutEvent(QFocusEvent* event)
{
    // Leaving the field brings its value within the limits.
    const int value = Value();
    if (Clamped(value) != value)
        SetValue(value);
    QAbstractSpinBox::focusOutEvent(event);
}

}  // namespace scalopex::app
