#include "widgets/MMNumberEdit.h"

#include "widgets/MMLoadingBracket.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QTimer>
#include <algorithm>

bool MMNumberEditAcceptsChar(char16_t code, bool enabled) {
    if (code == u'\r') return false;
    if (code < 32) return enabled || code != u'\b';
    if (!enabled) return false;
    return code == u'+' || code == u'-' || (code >= u'0' && code <= u'9');
}

int MMNumberEditParse(const QString &text, int fallback) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : fallback;
}

TMMNumberEdit::TMMNumberEdit(QWidget *parent) : QLineEdit(parent) {
    setText(QStringLiteral("0"));
    setAlignment(MMHorzAlignment(FAlignment) | Qt::AlignVCenter);
    TMMLoadingBracket::Join(this);
}

TMMNumberEdit::~TMMNumberEdit() {
    TMMLoadingBracket::Leave(this);
}

int TMMNumberEdit::Value() const {
    return MMNumberEditParse(text(), FMinValue);
}

void TMMNumberEdit::SetValue(int value) {
    if (FMinValue != FMaxValue)
        value = std::clamp(value, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
    const QString t = QString::number(value);
    if (t != text()) setText(t);
}

void TMMNumberEdit::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    setAlignment(MMHorzAlignment(value) | Qt::AlignVCenter);
}

void TMMNumberEdit::keyPressEvent(QKeyEvent *event) {
    const bool cut = event->matches(QKeySequence::Cut), paste = event->matches(QKeySequence::Paste);
    if (cut || paste) {
        if (isEnabled() && !isReadOnly()) QLineEdit::keyPressEvent(event);
        return;
    }
    // Keys without a character (arrows, Home, ...) are not filtered.
    const QString typed = event->text();
    if (!typed.isEmpty() && !MMNumberEditAcceptsChar(typed.at(0).unicode(), isEnabled())) {
        QApplication::beep();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TMMNumberEdit::focusInEvent(QFocusEvent *event) {
    QLineEdit::focusInEvent(event);
    // After the mouse press that brought the focus has placed the cursor.
    if (FAutoSelect)
        QTimer::singleShot(0, this, [this] {
            if (hasFocus()) selectAll();
        });
}

void TMMNumberEdit::focusOutEvent(QFocusEvent *event) {
    SetValue(Value());
    QLineEdit::focusOutEvent(event);
}
