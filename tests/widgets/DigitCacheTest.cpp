#include "SolidBackground.h"
#include "widgets/MMDigitCache.h"
#include "widgets/MMLEDDigit.h"
#include "widgets/MMLEDPanel.h"
#include "widgets/MMPanel.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

// Restores the compiled-in strips when a test replaced them.
struct TLoaderScope {
    explicit TLoaderScope(TDigitCache::TLoader loader)
        : FPrevious(TDigitCache::SetLoader(std::move(loader))) {}
    ~TLoaderScope() { TDigitCache::SetLoader(std::move(FPrevious)); }
    TDigitCache::TLoader FPrevious;
};

} // namespace

TEST(DigitCache, RecolouringDecidesOnTheUnalteredStrip) {
    QImage strip(4, 1, QImage::Format_RGB32);
    strip.setPixel(0, 0, qRgb(255, 255, 255));
    strip.setPixel(1, 0, qRgb(0, 0, 0));
    strip.setPixel(2, 0, qRgb(192, 192, 192));
    strip.setPixel(3, 0, qRgb(10, 20, 30)); // not a key colour: kept
    // Lit black and background white: a pixel painted once is not painted again.
    QImage out = MMRecolorStrip(strip, clWhite, clSilver, clBlack, true);
    EXPECT_EQ(out.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(out.pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(out.pixel(2, 0), qRgb(192, 192, 192));
    EXPECT_EQ(out.pixel(3, 0), qRgb(10, 20, 30));
    // Without DrawInactive the unlit segments take the background; system colours resolve.
    out = MMRecolorStrip(strip, clBtnFace, clGreen, clRed, false);
    EXPECT_EQ(out.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(out.pixel(2, 0), ToQColor(clBtnFace).rgb());
    EXPECT_EQ(out.pixel(1, 0), ToQColor(clBtnFace).rgb());
}

TEST(DigitCache, SharesOneStripPerLookAndFreesItselfWhenEmpty) {
    ASSERT_FALSE(TDigitCache::Exists());
    const QImage *a = TDigitCache::Acquire(false, ls13x21, clBlack, clGreen, clLime, true);
    const QImage *b = TDigitCache::Acquire(false, ls13x21, clBlack, clGreen, clLime, true);
    const QImage *c = TDigitCache::Acquire(false, ls13x21, clBlack, clGreen, clRed, true);
    const QImage *d = TDigitCache::Acquire(true, ls13x21, clBlack, clGreen, clLime, true);
    const QImage *e = TDigitCache::Acquire(false, ls13x21, clBlack, clGreen, clLime, false);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(TDigitCache::RefCount(a), 2);
    EXPECT_NE(a, c);
    EXPECT_NE(a, d);
    EXPECT_NE(a, e);
    EXPECT_EQ(TDigitCache::Count(), 4);
    EXPECT_EQ(a->size(), QSize(121, 21));
    EXPECT_EQ(d->size(), QSize(44, 21));
    TDigitCache::Release(b);
    EXPECT_EQ(b, nullptr) << "the caller's reference is cleared";
    EXPECT_EQ(TDigitCache::RefCount(a), 1);
    const QImage *none = nullptr;
    TDigitCache::Release(none); // ignored
    for (const QImage **p : {&a, &c, &d, &e})
        TDigitCache::Release(*p);
    EXPECT_FALSE(TDigitCache::Exists());
    EXPECT_EQ(TDigitCache::Acquire(false, TMMLEDSize(40), clBlack, clGreen, clLime, true), nullptr);
    EXPECT_FALSE(TDigitCache::Exists());
}

// A clock of eight digits in one look holds two strips: digits and signs.
TEST(DigitCache, ATwoLookClockHoldsExactlyTwoStrips) {
    ASSERT_FALSE(TDigitCache::Exists());
    {
        TMMPanel clock;
        clock.SetColor(clBlack);
        std::vector<TMMLEDPanel *> panels;
        for (int i = 0; i < 4; ++i) {
            auto *p = new TMMLEDPanel(&clock);
            p->SetDigitSize(ls15x25);
            p->SetLEDColor(16732497);
            p->SetInactiveColor(6172416);
            p->SetValue(i * 11);
            panels.push_back(p);
        }
        auto *colon = new TMMLEDDigit(&clock); // takes the black face through ParentColor
        colon->SetDigitSize(ls15x25);
        colon->SetLEDColor(16732497);
        colon->SetInactiveColor(6172416);
        colon->SetDisplayType(ltColon);
        EXPECT_EQ(TDigitCache::Count(), 2);
        EXPECT_EQ(TDigitCache::RefCount(panels[0]->Digit(1)->Strip()), 8);
        EXPECT_EQ(TDigitCache::RefCount(colon->Strip()), 1);
        // A second colour is a second look.
        panels[3]->SetLEDColor(clRed);
        EXPECT_EQ(TDigitCache::Count(), 3);
        EXPECT_EQ(TDigitCache::RefCount(panels[0]->Digit(1)->Strip()), 6);
    }
    EXPECT_FALSE(TDigitCache::Exists()) << "destroying the last digit frees the cache";
}

TEST(DigitCache, AMissingStripLeavesTheDigitBlankAndResizable) {
    int loads = 0;
    TLoaderScope missing([&loads](const std::string &) {
        ++loads;
        return QImage();
    });
    QWidget parent;
    parent.resize(40, 40);
    SetSolidBackground(parent, QColor(0, 0, 255));
    auto *digit = new TMMLEDDigit(&parent);
    EXPECT_EQ(digit->Strip(), nullptr);
    EXPECT_GT(loads, 0);
    EXPECT_FALSE(TDigitCache::Exists());
    EXPECT_EQ(digit->size(), QSize(11, 21));
    digit->SetBounds(0, 0, 30, 30);
    EXPECT_EQ(digit->size(), QSize(30, 30));
    digit->SetValue(8);
    const QImage img = parent.grab().toImage();
    EXPECT_EQ(img.pixel(5, 5), qRgb(0, 0, 255)) << "nothing drawn: the parent shows";
}
