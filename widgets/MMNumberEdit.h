#pragma once

#include "core/MMComponent.h"
#include "widgets/MMControl.h"

#include <QLineEdit>
#include <QString>

// Whether a typed character gets into a number field: control characters
// except carriage return, "+", "-" and digits; while disabled only the
// non-printable ones other than backspace.
bool MMNumberEditAcceptsChar(char16_t code, bool enabled);

// Whole-number text as a value, or `fallback` when it is not one.
int MMNumberEditParse(const QString &text, int fallback);

// A single-line field for a whole number within MinValue..MaxValue.
class TMMNumberEdit : public QLineEdit, public TMMComponent {
    Q_OBJECT
  public:
    // Joins the open loading bracket, if any.
    explicit TMMNumberEdit(QWidget *parent = nullptr);
    ~TMMNumberEdit() override;

    // The text as a number, or MinValue when it is not one.
    int Value() const;
    // Clamped to MinValue..MaxValue (unless they are equal), shown as decimal text.
    void SetValue(int value);
    int MinValue() const { return FMinValue; }
    void SetMinValue(int value) { FMinValue = value; }
    int MaxValue() const { return FMaxValue; }
    void SetMaxValue(int value) { FMaxValue = value; }

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool value) { setReadOnly(value); }
    void SetBounds(int left, int top, int width, int height) { setGeometry(left, top, width, height); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }

  protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

  private:
    int FMinValue = 0;
    int FMaxValue = 1000;
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSelect = true;
};
