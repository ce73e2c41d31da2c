// The metering standards' settings and their group beside the set-up menu: every choice saved
// and read back, anything the file holds that names none reads as the classic behaviour, the
// controls follow a loaded file, and the peak reset reaches both bars and both CLIP latches.

#include "AppTestSupport.h"

#include "app/Forms.h"
#include "app/MeterPnl.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <vector>

namespace {

TMeteringStandards Read(const QByteArray &file) {
    const TTestSettings folder(file);
    TSettings s;
    ReadAllSettings(folder.File(), s);
    return s.Standards;
}

void Choose(QComboBox *box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

QByteArray FileOf(const TTestSettings &folder) {
    QFile f(folder.File());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(StandardSettings, EveryChoiceComesBack) {
    const TTestSettings folder;
    for (int needle = 0; needle < kNeedleStandardCount; ++needle)
        for (int bars = 0; bars < kPeakStandardCount; ++bars)
            for (const TMMPeakHold hold : {TMMPeakHold{phClassic, 2000}, TMMPeakHold{phTime, 500},
                                           TMMPeakHold{phTime, 10000}, TMMPeakHold{phInfinite, 7500}}) {
                TSettings s;
                s.Standards = {static_cast<TMMNeedleStandard>(needle), static_cast<TMMPeakStandard>(bars),
                               hold};
                WriteAllSettings(folder.File(), s);
                TSettings back;
                ReadAllSettings(folder.File(), back);
                EXPECT_EQ(back.Standards, s.Standards) << needle << " " << bars << " " << hold.Mode;
            }
}

TEST(StandardSettings, MissingEmptyOrUnknownReadsClassic) {
    const TMeteringStandards classic;
    EXPECT_EQ(Read(""), classic);
    EXPECT_EQ(Read("[Standards]\nNeedle=\nPeakBars=Tube\nPeakHold=42\nPeakHoldMs=soon\n"), classic);
    // Names as an operator may type them; hold times kept to 0.5 .. 10 s.
    const TMeteringStandards typed =
        Read("[standards]\nneedle= iec vu \nPEAKBARS=nordic\nPeakHold=TIME\nPeakHoldMs=0x3E8\n");
    EXPECT_EQ(typed, (TMeteringStandards{nsIECVU, psNordic, {phTime, 1000}}));
    EXPECT_EQ(Read("[Standards]\nPeakHoldMs=50\n").PeakHold.Milliseconds, 500);
    EXPECT_EQ(Read("[Standards]\nPeakHoldMs=99999\n").PeakHold.Milliseconds, 10000);
}

// A file's choices reach the meters and the group's controls; the menu's changes go to the
// meters at once and into the file with "Save Setting"; "Load Default Setting" brings back
// what the defaults file says, here nothing: the classic behaviour.
TEST(StandardsMenu, ControlsFollowTheFileAndTheMenu) {
    TPanelConsole console("[Standards]\nNeedle=IEC VU\nPeakBars=BBC\nPeakHold=Time\nPeakHoldMs=3500\n");
    TMeterPanel &meter = console.Meter;
    TTestForm &form = console.Form;
    const TTestSettings &folder = console.Folder;
    const std::vector<TMMLevel *> bars{meter.MMLevel1, meter.MMLevel2};

    EXPECT_EQ(form.cmbNeedleStd->currentText(), "IEC VU");
    EXPECT_EQ(form.cmbPeakStd->currentText(), "BBC");
    EXPECT_EQ(form.cmbPeakHold->currentText(), "Time");
    EXPECT_EQ(form.HoldTimeLed->Caption(), "3.5");
    EXPECT_EQ(form.HoldTimeLed->LEDColor(), clLime);
    EXPECT_EQ(form.PlayMeterR->NeedleStandard(), nsIECVU);
    for (TMMLevel *bar : bars) {
        EXPECT_EQ(bar->PeakStandard(), psBBC);
        EXPECT_EQ(bar->PeakHold(), (TMMPeakHold{phTime, 3500}));
    }

    Choose(form.cmbPeakStd, psDigital);
    form.MMSpinButton6->ClickHalf(shUp);
    Choose(form.cmbPeakHold, phInfinite);
    EXPECT_EQ(form.HoldTimeLed->LEDColor(), clGray) << "the time counts only for a timed hold";
    EXPECT_EQ(form.HoldTimeLed->Caption(), "4.0");
    for (TMMLevel *bar : bars)
        EXPECT_EQ(bar->PeakHold(), (TMMPeakHold{phInfinite, 4000}));
    EXPECT_EQ(meter.MMLevel2->PeakStandard(), psDigital);
    form.BtnSaveSetting->click();
    EXPECT_TRUE(FileOf(folder).contains("[Standards]\nNeedle=IEC VU\nPeakBars=Digital\nPeakHold=Infinite\n"
                                        "PeakHoldMs=4000\n"))
        << FileOf(folder).toStdString();

    TWorkingDir wd(folder.Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=0\n");
    defaults.close();
    form.Button5->click();
    EXPECT_EQ(form.Settings.Standards, TMeteringStandards{});
    EXPECT_EQ(form.cmbNeedleStd->currentIndex(), nsClassic);
    EXPECT_EQ(form.cmbPeakHold->currentIndex(), phClassic);
    EXPECT_EQ(form.PlayMeterL->NeedleStandard(), nsClassic);
    EXPECT_EQ(meter.MMLevel1->PeakStandard(), psClassic);
}

// The group opens and closes with the menu, a page of the settings panel under it: it covers
// none of the menu, nor the artwork that opens and closes them, and its controls lie inside it.
TEST(StandardsMenu, TheGroupStandsBesideTheMenu) {
    TSimConsole form;
    EXPECT_TRUE(form.StandardsBox->isHidden());
    form.Image1Click();
    EXPECT_FALSE(form.StandardsBox->isHidden());
    const QRect box(form.StandardsBox->mapTo(&form, QPoint()), form.StandardsBox->size());
    EXPECT_FALSE(box.intersects(form.CloseBox->geometry()));
    EXPECT_FALSE(box.intersects(QRect(form.Image1->mapTo(&form, QPoint()), form.Image1->size())));
    EXPECT_TRUE(form.rect().contains(box));
    for (const QWidget *child : form.StandardsBox->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(form.StandardsBox->rect().contains(child->geometry()))
            << child->objectName().toStdString();
    form.Image1Click();
    EXPECT_TRUE(form.StandardsBox->isHidden());
    form.Image1Click();
    form.Button4Click();
    EXPECT_TRUE(form.StandardsBox->isHidden());
}

// Held peaks and CLIP latches of both channels go with one click on either bar, or the button.
TEST(StandardsMenu, AClickOnABarResetsBothPeaksAndBothClipLatches) {
    TPanelConsole console("[Standards]\nPeakHold=Infinite\n");
    TMeterPanel &meter = console.Meter;
    TTestForm &form = console.Form;
    meter.show();
    const std::vector<std::int16_t> clip(100, 32767);
    for (QWidget *reset : std::initializer_list<QWidget *>{meter.MMLevel2, form.BtnResetPeaks}) {
        for (TMMLevel *bar : {meter.MMLevel1, meter.MMLevel2})
            bar->ProcessBlock(clip.data());
        form.MMHiTimer1Timer(nullptr);
        ASSERT_EQ(meter.ClipL->palette().color(QPalette::WindowText), ToQColor(clRed));
        ASSERT_TRUE(form.ClipTimerR->isActive());

        if (auto *button = qobject_cast<QPushButton *>(reset))
            button->click();
        else
            ClickCentre(reset);
        for (TMMLevel *bar : {meter.MMLevel1, meter.MMLevel2})
            EXPECT_EQ(bar->CurrentPeak(), 0);
        EXPECT_EQ(meter.ClipR->palette().color(QPalette::WindowText), ToQColor(clMaroon));
        EXPECT_FALSE(form.ClipTimerL->isActive());
        EXPECT_FALSE(form.ClipTimerR->isActive());
    }
}

TEST(BarScaleSettings, EveryChoiceComesBackAndOddValuesReadAsToday) {
    const TTestSettings folder;
    for (auto scale : {TMeteringStandards::bsDbfs, TMeteringStandards::bsStandard})
        for (int align : {-24, -20, -18, -12}) {
            TSettings s;
            s.Standards.PeakBars = psDIN;
            s.Standards.Scale = scale;
            s.Standards.AlignDbfs = align;
            WriteAllSettings(folder.File(), s);
            TSettings back;
            ReadAllSettings(folder.File(), back);
            EXPECT_EQ(back.Standards, s.Standards) << scale << " " << align;
        }
    const TMeteringStandards today;
    EXPECT_EQ(today.Scale, TMeteringStandards::bsDbfs);
    EXPECT_EQ(today.AlignDbfs, -18);
    EXPECT_EQ(Read("[Standards]\nPeakBars=EBU\n"), Read("[Standards]\nPeakBars=EBU\nScale=\nAlignDbfs=\n"));
    EXPECT_EQ(Read("[Standards]\nScale=Meters\nAlignDbfs=loud\n"), today);
    EXPECT_EQ(Read("[Standards]\nScale= standard \n").Scale, TMeteringStandards::bsStandard);
    EXPECT_EQ(Read("[Standards]\nAlignDbfs=-40\n").AlignDbfs, -24);
    EXPECT_EQ(Read("[Standards]\nAlignDbfs=3\n").AlignDbfs, -12);
    // Only "Standard" leaves dBFS, and only for a standard that has a scale of its own.
    TMeteringStandards s;
    s.PeakBars = psBBC;
    EXPECT_EQ(BarScale(s).Family, sfDbfs);
    s.Scale = TMeteringStandards::bsStandard;
    EXPECT_EQ(BarScale(s).Family, sfBBC);
    s.PeakBars = psDigital;
    EXPECT_EQ(BarScale(s).Family, sfDbfs);
}

// The menu's two choices reach the bars and the strip at once and the file with "Save
// Setting"; "Load Default Setting" brings dBFS at -18 back.
TEST(BarScaleSettings, TheMenuSetsTheBarsAndTheStrip) {
    TPanelConsole console("[Standards]\nPeakBars=Nordic\nScale=Standard\nAlignDbfs=-20\n");
    TTestForm &form = console.Form;
    EXPECT_EQ(form.cmbBarScale->currentText(), "Standard");
    EXPECT_EQ(form.cmbAlign->currentText(), "-20");
    EXPECT_EQ(console.Meter.MMLevel2->ScaleLaw(), (TMMStandardScale{sfNordic, -20}));
    EXPECT_EQ(console.Meter.MMLevelScale2->StandardScale(), (TMMStandardScale{sfNordic, -20}));

    form.cmbAlign->setCurrentIndex(2);
    emit form.cmbAlign->activated(2);
    EXPECT_EQ(console.Meter.MMLevel1->ScaleLaw(), (TMMStandardScale{sfNordic, -22}));
    form.cmbBarScale->setCurrentIndex(0);
    emit form.cmbBarScale->activated(0);
    EXPECT_EQ(console.Meter.MMLevel1->ScaleLaw().Family, sfDbfs);
    form.BtnSaveSetting->click();
    TSettings saved;
    ReadAllSettings(console.Folder.File(), saved);
    EXPECT_EQ(saved.Standards.AlignDbfs, -22);
    EXPECT_EQ(saved.Standards.Scale, TMeteringStandards::bsDbfs);

    TWorkingDir wd(console.Folder.Dir());
    QFile defaults("VelmoraDef.ini");
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[SoundCard]\nInputDevNo=0\n");
    defaults.close();
    form.Button5->click();
    EXPECT_EQ(form.cmbAlign->currentText(), "-18");
    EXPECT_EQ(form.cmbBarScale->currentText(), "dBFS");
}
