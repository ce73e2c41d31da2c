#include "widgets/MMNumberEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <gtest/gtest.h>

namespace {

void Type(QWidget &w, const QString &text, Qt::Key key = Qt::Key_unknown) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&w, &e);
}

} // namespace

TEST(NumberEdit, AcceptedCharacters) {
    for (char16_t c : {u'0', u'9', u'+', u'-', u'\b', u'\x01', u'\x0c', u'\x0e', u'\x1f'})
        EXPECT_TRUE(MMNumberEditAcceptsChar(c, true)) << int(c);
    for (char16_t c : {u'\r', u'a', u' ', u'.', u'e', u'\x7f'})
        EXPECT_FALSE(MMNumberEditAcceptsChar(c, true)) << int(c);
    // Disabled: backspace and every printable character go too.
    EXPECT_FALSE(MMNumberEditAcceptsChar(u'\b', false));
    EXPECT_FALSE(MMNumberEditAcceptsChar(u'5', false));
    EXPECT_FALSE(MMNumberEditAcceptsChar(u'-', false));
    EXPECT_TRUE(MMNumberEditAcceptsChar(u'\x03', false));
}

TEST(NumberEdit, TypingKeepsOnlyNumberCharacters) {
    TMMNumberEdit edit;
    edit.clear();
    Type(edit, "1");
    Type(edit, "x");
    Type(edit, "-");
    Type(edit, "2");
    Type(edit, "\r", Qt::Key_Return);
    EXPECT_EQ(edit.text(), QStringLiteral("1-2"));
    EXPECT_EQ(edit.Value(), 0) << "not a number: MinValue";
}

TEST(NumberEdit, ValueReadsTheTextOrMinValue) {
    TMMNumberEdit edit;
    EXPECT_EQ(edit.text(), QStringLiteral("0"));
    EXPECT_EQ(edit.MinValue(), 0);
    EXPECT_EQ(edit.MaxValue(), 1000);
    edit.SetMinValue(-30);
    edit.SetMaxValue(-10);
    edit.setText(QStringLiteral("abc"));
    EXPECT_EQ(edit.Value(), -30);
    edit.setText(QStringLiteral("-99999999999"));
    EXPECT_EQ(edit.Value(), -30) << "out of int range is not a number";
    edit.setText(QStringLiteral("+7"));
    EXPECT_EQ(edit.Value(), 7) << "reading does not clamp";
}

TEST(NumberEdit, WritingClampsUnlessTheRangeIsEmpty) {
    TMMNumberEdit edit;
    edit.SetMinValue(-30);
    edit.SetMaxValue(-10);
    edit.SetValue(-20);
    EXPECT_EQ(edit.text(), QStringLiteral("-20"));
    edit.SetValue(5);
    EXPECT_EQ(edit.Value(), -10);
    edit.SetValue(-31);
    EXPECT_EQ(edit.Value(), -30);
    edit.SetMinValue(4);
    edit.SetMaxValue(4);
    edit.SetValue(123456);
    EXPECT_EQ(edit.text(), QStringLiteral("123456"));
}

TEST(NumberEdit, LeavingTheFieldNormalisesTheText) {
    TMMNumberEdit edit;
    edit.SetMaxValue(50);
    edit.setText(QStringLiteral("+0077"));
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(&edit, &out);
    EXPECT_EQ(edit.text(), QStringLiteral("50"));
    edit.setText(QStringLiteral("junk"));
    QApplication::sendEvent(&edit, &out);
    EXPECT_EQ(edit.text(), QStringLiteral("0"));
}

TEST(NumberEdit, AlignmentFollowsTheProperty) {
    TMMNumberEdit edit;
    EXPECT_EQ(edit.Alignment(), taLeftJustify);
    edit.SetAlignment(taRightJustify);
    EXPECT_TRUE(edit.alignment() & Qt::AlignRight);
}
