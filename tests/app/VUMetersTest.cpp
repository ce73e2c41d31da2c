// The console's VU needle meters: their set-up, the connector feeding them, and the reference
// level and face the settings and the menu give them.

#include "AppTestSupport.h"

#include "app/MainFrm.h"

#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The console on simulated devices with a settings file of the test's own.
struct TConsoleWith {
    TSimWaveInDriver Driver;
    TTestSettings Settings;
    std::unique_ptr<TTestForm> Form;
    explicit TConsoleWith(const QByteArray &ini) : Settings(ini) {
        Form = std::make_unique<TTestForm>(TFormServices{Driver, Settings.Dir(), &StartProgram});
    }
};

QImage Face(const QLabel *picture) {
    return picture->pixmap().toImage();
}

} // namespace

TEST(ConsoleVUMeters, SetUpAsTheConsolesMetersAndFedByTheConnector) {
    TSimConsole form;
    for (TMMMeter *m : {form.PlayMeterL, form.PlayMeterR, form.SetupMeter}) {
        SCOPED_TRACE(m->objectName().toStdString());
        EXPECT_EQ(m->MeterMode(), mmVU);
        EXPECT_EQ(m->Color(), clGreen);
        EXPECT_EQ(m->Caption(), "VU");
        EXPECT_TRUE(m->Font().bold());
        EXPECT_EQ(m->FontColor(), clBlack);
        EXPECT_EQ(m->Scale1Color(), clNavy);
        EXPECT_EQ(m->Scale3Color(), clMaroon);
        EXPECT_EQ(m->NeedleColor(), 9652298);
        EXPECT_EQ(m->NeedleWidth(), 2);
        EXPECT_EQ(m->TopSpace(), 20);
        EXPECT_EQ(m->BitLength(), b16Bit);
        EXPECT_EQ(m->Mode(), mStereo);
        EXPECT_EQ(m->Samples(), 1000);
        EXPECT_EQ(m->DecayMode(), dmExponential);
        EXPECT_EQ(m->Decay(), 7);
        EXPECT_FALSE(m->ShowPeak());
        EXPECT_EQ(m->RefLevel(), -20.0);
        EXPECT_EQ(m->Bevel().BevelOuter(), bvLowered);
        EXPECT_EQ(m->Bevel().OuterLightColor(), clSilver);
        EXPECT_EQ(m->Bevel().OuterShadowColor(), clBlack);
        EXPECT_EQ(m->BackGroundDIB(), Face(form.BlueMeterPct));
    }
    EXPECT_EQ(form.PlayMeterL->Scale2Color(), clLime);
    EXPECT_EQ(form.PlayMeterL->Channel(), chLeft);
    EXPECT_EQ(form.PlayMeterR->Scale2Color(), clTeal);
    EXPECT_EQ(form.PlayMeterR->Channel(), chRight);
    EXPECT_EQ(form.PlayMeterL->geometry(), QRect(32, 35, 341, 185));
    EXPECT_EQ(form.PlayMeterL->parentWidget(), form.VuPanel);
    EXPECT_EQ(form.SetupMeter->geometry(), QRect(8, 127, 129, 70));
    EXPECT_EQ(form.SetupMeter->parentWidget(), form.CloseBox);
    EXPECT_EQ(Face(form.BlueMeterPct).size(), QSize(417, 258));

    // The connector's meter pair, with the capture's format: 4000 bytes a block.
    EXPECT_EQ(form.MMConnector2->Meter1(), form.PlayMeterL);
    EXPECT_EQ(form.MMConnector2->Meter2(), form.PlayMeterR);
    EXPECT_EQ(form.PlayMeterL->BlockBytes(), 4000);
    EXPECT_EQ(form.PlayMeterR->BlockBytes(), 4000);
    EXPECT_EQ(form.SetupMeter->BlockBytes(), 4000);
}

TEST(ConsoleVUMeters, TheThirdFaceReachesAllThreeMeters) {
    TConsoleWith c("[VU]\nBackgroundNo=3\nRefLevel=-12\n");
    TTestForm &form = *c.Form;
    const QImage third = Face(form.YmkMeterPct);
    ASSERT_FALSE(third.isNull());
    ASSERT_NE(third, Face(form.BlueMeterPct));
    for (TMMMeter *m : {form.PlayMeterL, form.PlayMeterR, form.SetupMeter})
        EXPECT_EQ(m->BackGroundDIB(), third) << m->objectName().toStdString();
    // The reference reaches the main meters; the preview keeps its own.
    EXPECT_EQ(form.PlayMeterL->RefLevel(), -12.0);
    EXPECT_EQ(form.PlayMeterR->RefLevel(), -12.0);
    EXPECT_EQ(form.SetupMeter->RefLevel(), -20.0);

    // The menu's faces change all three and the setting; another number changes nothing.
    form.OrgMeterPctClick();
    EXPECT_EQ(form.Settings.BackgroundNo, 2);
    for (TMMMeter *m : {form.PlayMeterL, form.PlayMeterR, form.SetupMeter})
        EXPECT_EQ(m->BackGroundDIB(), Face(form.OrgMeterPct));
    form.BlueMeterPctClick();
    EXPECT_EQ(form.Settings.BackgroundNo, 1);
    EXPECT_EQ(form.SetupMeter->BackGroundDIB(), Face(form.BlueMeterPct));
    form.YmkMeterPctClick();
    EXPECT_EQ(form.Settings.BackgroundNo, 3);
    EXPECT_EQ(form.PlayMeterR->BackGroundDIB(), third);

    TConsoleWith odd("[VU]\nBackgroundNo=7\n");
    EXPECT_EQ(odd.Form->PlayMeterL->BackGroundDIB(), Face(odd.Form->BlueMeterPct));
    EXPECT_EQ(odd.Form->Settings.BackgroundNo, 7);
}

TEST(ConsoleVUMeters, AReferenceOutOfRangeFallsBackUntilTheSpinButtonMovesIt) {
    TConsoleWith c("[VU]\nRefLevel=-40\n");
    TTestForm &form = *c.Form;
    EXPECT_EQ(form.PlayMeterL->RefLevel(), -16.0);
    EXPECT_EQ(form.PlayMeterR->RefLevel(), -16.0);
    EXPECT_EQ(form.SetupRefLvl->Value(), -30);
    form.MMSpinButton1UpClick();
    EXPECT_EQ(form.PlayMeterL->RefLevel(), -29.0);
    EXPECT_EQ(form.PlayMeterR->RefLevel(), -29.0);
    EXPECT_EQ(form.Settings.VURefLevel, -29);
    form.MMSpinButton1DownClick();
    form.MMSpinButton1DownClick();
    EXPECT_EQ(form.PlayMeterL->RefLevel(), -30.0);
    EXPECT_EQ(form.SetupMeter->RefLevel(), -20.0);
}

TEST(ConsoleVUMeters, AClickOnAMenuFaceChoosesIt) {
    TSimConsole form;
    form.CloseBox->show();
    const QPoint at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, form.Image5->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, form.Image5->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.Image5, &press);
    QCoreApplication::sendEvent(form.Image5, &release);
    EXPECT_EQ(form.Settings.BackgroundNo, 2);
    EXPECT_EQ(form.PlayMeterL->BackGroundDIB(), Face(form.OrgMeterPct));
}
