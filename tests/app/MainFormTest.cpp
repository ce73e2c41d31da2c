#include "AppTestSupport.h"

#include "app/MainFrm.h"
#include "widgets/MMColors.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

#include <climits>

namespace {

QRect OnWindow(QWidget *w) {
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
}

QColor TextColor(QWidget *w) {
    return w->palette().color(QPalette::WindowText);
}

// A left click in the middle of a control, as the mouse gives it.
bool PageButtonMarked(const TMMPanel *button) {
    return button->Bevel().OuterLightColor() == clRed && button->Bevel().OuterShadowColor() == clRed;
}

} // namespace

TEST(MainFormLayoutTest, WindowFrame) {
    TSimConsole form;
    EXPECT_EQ(form.windowTitle(), "Sound Tikkora Meter");
    EXPECT_TRUE(form.windowFlags() & Qt::Tool);
    EXPECT_EQ(form.minimumSize(), QSize(800, 610));
    EXPECT_EQ(form.maximumSize(), QSize(800, 610));
    EXPECT_EQ(form.pos(), QPoint(0, 0));
    EXPECT_EQ(FromQColor(form.palette().color(QPalette::Window)), 4869450);
    EXPECT_TRUE(form.autoFillBackground());
}

TEST(MainFormLayoutTest, SectionsAndInstrumentsSitWhereTheyBelong) {
    TSimConsole form;
    EXPECT_EQ(form.PnlPhase->geometry(), QRect(4, 6, 797, 335));
    EXPECT_EQ(form.PnlVU->geometry(), QRect(4, 337, 790, 255));
    EXPECT_EQ(form.PhaseSectPnl->parentWidget(), form.MMPanel1);
    EXPECT_EQ(form.PhaseSectPnl->geometry(), QRect(1, 1, 108, 326));
    EXPECT_EQ(form.PhaseMeter->parentWidget(), form.Panel41);
    EXPECT_EQ(OnWindow(form.PhaseMeter), QRect(4 + 23 + 36, 6 + 19 + 18, 270, 270));
    EXPECT_EQ(form.PlayMeterR->parentWidget(), form.VuPanel);
    EXPECT_EQ(form.PlayMeterR->geometry(), QRect(418, 35, 341, 185));
    EXPECT_EQ(form.SIGLED2->geometry(), QRect(417, 227, 343, 4));
    EXPECT_EQ(form.BdRedLine->parentWidget(), form.Trend7);
    EXPECT_EQ(form.BdRedLine->geometry(), QRect(-5, 49, 276, 1));
    EXPECT_EQ(form.BdRedLine->Color(), clRed);
    EXPECT_EQ(form.MMPanel5->Color(), 2040095);
    // The simple spectrum covers the small window exactly.
    EXPECT_EQ(OnWindow(form.PanelSpectrum), OnWindow(form.PanelGrph));
    // The VU page lies over the spectrum page.
    EXPECT_GT(form.PnlVU->children().indexOf(form.VuPanel), form.PnlVU->children().indexOf(form.SpecPanel));
    EXPECT_EQ(form.Image1->geometry(), QRect(657, 245, 130, 55));
    EXPECT_FALSE(form.Image1->pixmap().isNull());
    EXPECT_EQ(form.BlueMeterPct->pixmap().size(), QSize(417, 258));
    EXPECT_TRUE(form.Button1->isHidden());
    EXPECT_EQ(form.Button3->text(), "Exec Tikkora");
    EXPECT_EQ(form.Button3->geometry(), QRect(664, 752, 75, 25));
}

TEST(MainFormLayoutTest, LabelsTextsColoursAndFaces) {
    TSimConsole form;
    auto *phase = form.MMPanel3->findChild<QLabel *>("LblPhase");
    ASSERT_NE(phase, nullptr);
    EXPECT_EQ(phase->text(), "PHASE");
    EXPECT_EQ(phase->pos(), QPoint(8, 4));
    EXPECT_EQ(TextColor(phase), ToQColor(clLime));
    EXPECT_TRUE(phase->font().bold());
    EXPECT_EQ(QFontInfo(phase->font()).family(), "Liberation Sans");

    EXPECT_EQ(form.PLLbl->text(), "----");
    EXPECT_EQ(form.PRLbl->pos(), QPoint(184, 31));
    EXPECT_EQ(TextColor(form.PRLbl), ToQColor(clWhite));
    EXPECT_EQ(form.PLLbl->font().pixelSize(), 16);
    EXPECT_GE(form.PLLbl->width(), QFontMetrics(form.PLLbl->font()).horizontalAdvance("-100.00"));
    const QFontInfo gothic(form.PLLbl->font());
    EXPECT_EQ(gothic.family(), "IPAGothic");
    // Fixed pitch, so the read-outs do not shift as their digits change.
    const QFontMetrics metrics(form.PLLbl->font());
    EXPECT_EQ(metrics.horizontalAdvance("1"), metrics.horizontalAdvance("-"));
    EXPECT_EQ(metrics.horizontalAdvance("1.00"), metrics.horizontalAdvance("8888"));

    EXPECT_EQ(form.MarginLedRight->Caption(), "+16");
    EXPECT_EQ(form.MarginLedRight->geometry(), QRect(191, 56, 32, 22));
    EXPECT_EQ(form.MarginLedRight->LEDColor(), 33023);

    for (const char *name : {"LblLeft", "LblRight", "LblVU"}) {
        auto *l = form.VuPanel->findChild<QLabel *>(name);
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(TextColor(l), ToQColor(clLime)) << name;
    }
    EXPECT_EQ(form.VuPanel->findChild<QLabel *>("LblRight")->pos(), QPoint(572, 237));
    // The small spectrum's frequency scale, all twelve marks in order along the bottom.
    int lastX = -1;
    for (const char *mark : {"20", "36", "56", "125", "250", "500", "1K", "2K", "4K", "8K", "16K", "24K"}) {
        auto *l = form.PanelSpectrum->findChild<QLabel *>(QString("LblSpa%1").arg(mark));
        ASSERT_NE(l, nullptr) << mark;
        EXPECT_EQ(l->y(), 122);
        EXPECT_GT(l->x(), lastX) << mark;
        EXPECT_LE(l->geometry().right(), 277) << mark;
        lastX = l->geometry().right();
    }
    // Ordinary text is 12-pixel Japanese Gothic.
    EXPECT_EQ(QFontInfo(form.font()).family(), "IPAGothic");
    EXPECT_EQ(form.font().pixelSize(), 12);
}

TEST(MainFormLayoutTest, MenuIsHiddenAndLaidOut) {
    TSimConsole form;
    EXPECT_TRUE(form.CloseBox->isHidden());
    EXPECT_EQ(form.CloseBox->title(), "Menu");
    EXPECT_EQ(form.CloseBox->geometry(), QRect(203, 118, 358, 331));
    EXPECT_EQ(form.cmbInputDevice->geometry(), QRect(6, 37, 171, 20));
    EXPECT_EQ(form.Button4->geometry(), QRect(236, 144, 113, 25));
    EXPECT_EQ(form.Button2->parentWidget(), form.CloseBox);
    EXPECT_EQ(form.Button2->pos(), QPoint(236, 296));
    EXPECT_EQ(form.Button2->text(), "Quit Program");
    EXPECT_EQ(form.ShutDnBtn->pos(), QPoint(236, 272));
    EXPECT_EQ(form.Button5->text(), "Load Default Setting");
    EXPECT_EQ(form.rbSpa->parentWidget(), form.MMPanel4);
    EXPECT_EQ(form.rbSpa->pos(), QPoint(4, 43));
    EXPECT_EQ(form.RbLower->pos(), QPoint(274, 94));
    EXPECT_EQ(form.SetupLed2->geometry(), QRect(25, 265, 32, 22));
    EXPECT_EQ(form.Label5->text(), "PEAK LEVEL \nOVL COLOR");
    EXPECT_EQ(TextColor(form.Label6), ToQColor(clWhite));
    // Buttons do not overlap one another.
    EXPECT_FALSE(form.BtnSaveSetting->geometry().intersects(form.Button5->geometry()));
    EXPECT_FALSE(form.ShutDnBtn->geometry().intersects(form.Button2->geometry()));
    EXPECT_LE(form.Button5->geometry().right(), form.CloseBox->width() - 1);
    // Every caption fits its button.
    for (QPushButton *b : {form.Button4, form.BtnSaveSetting, form.Button5, form.ShutDnBtn, form.Button2})
        EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()) + 4, b->width())
            << b->text().toStdString();

    form.Image1Click();
    EXPECT_FALSE(form.CloseBox->isHidden());
    form.Image1Click();
    EXPECT_TRUE(form.CloseBox->isHidden());
    form.Image1Click();
    form.Button4->click();
    EXPECT_TRUE(form.CloseBox->isHidden());
}

TEST(MainFormSettingsTest, DefaultsGiveTheStartState) {
    TSimConsole form;
    const TSettings defaults;
    form.Settings = defaults;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    EXPECT_TRUE(form.RbLower->isChecked());
    EXPECT_EQ(form.PnlPhase->pos(), QPoint(4, 6));
    EXPECT_EQ(form.PnlVU->pos(), QPoint(4, 337));
    EXPECT_TRUE(form.BdRedLine->isHidden());
    EXPECT_FALSE(form.SetUpChkRedLine->isChecked());
    EXPECT_EQ(form.BdRedLine->y(), 49);
    EXPECT_EQ(form.SetupLed1->Caption(), "-5");
    EXPECT_EQ(form.SetupLed2->Caption(), "-10");
    EXPECT_EQ(form.SetupLed3->Caption(), "-20");
    EXPECT_EQ(form.SetupRefLvl->text(), "-20");
}

TEST(MainFormSettingsTest, UpperLayoutAtCreationKeepsTheSmallSpectrumOverTheGraph) {
    TSimConsole form;
    form.Settings.VUPos = 1;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    EXPECT_TRUE(form.RbUpper->isChecked());
    EXPECT_EQ(form.PnlVU->pos(), QPoint(4, 6));
    EXPECT_EQ(form.PnlPhase->pos(), QPoint(4, 264));
    EXPECT_EQ(form.PanelSpectrum->pos(), QPoint(515, 355));
    EXPECT_EQ(OnWindow(form.PanelSpectrum), OnWindow(form.PanelGrph));
    EXPECT_EQ(form.Settings.VUPos, 1);

    // Back to the lower layout by the menu: exactly the start positions.
    form.RbLower->click();
    EXPECT_EQ(form.PnlPhase->pos(), QPoint(4, 6));
    EXPECT_EQ(form.PnlVU->pos(), QPoint(4, 337));
    EXPECT_EQ(form.PanelSpectrum->pos(), QPoint(515, 97));
    EXPECT_EQ(form.Settings.VUPos, 0);
}

TEST(MainFormSettingsTest, UnknownLayoutValueIsKeptAtCreationAndResetByLoadDefault) {
    TSimConsole form;
    form.Settings.VUPos = 2;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    EXPECT_TRUE(form.RbLower->isChecked());
    EXPECT_EQ(form.Settings.VUPos, 2);

    form.RbUpper->click();
    form.Settings.VUPos = 2;
    form.ApplySettings(TMainForm::TApplyVariant::LoadDefault);
    EXPECT_EQ(form.Settings.VUPos, 0);
    EXPECT_TRUE(form.RbLower->isChecked());
    EXPECT_EQ(form.PnlVU->pos(), QPoint(4, 337));
    EXPECT_EQ(form.PanelSpectrum->y(), 97);
}

TEST(MainFormSettingsTest, RedLineLedCaptionsAndReferenceBox) {
    TSimConsole form;
    form.Settings.ShowRedLine = true;
    form.Settings.RedLinePos = -11;
    form.Settings.PeakLevel1 = 3;
    form.Settings.PeakLevel3 = -25;
    form.Settings.VURefLevel = -40;
    form.ApplySettings(TMainForm::TApplyVariant::LoadDefault);
    EXPECT_FALSE(form.BdRedLine->isHidden());
    EXPECT_TRUE(form.SetUpChkRedLine->isChecked());
    EXPECT_EQ(form.BdRedLine->pos(), QPoint(-5, -11));
    EXPECT_EQ(form.SetupLed1->Caption(), "3");
    EXPECT_EQ(form.SetupLed3->Caption(), "-25");
    EXPECT_EQ(form.SetupRefLvl->text(), "-30"); // the box's own range
    EXPECT_EQ(form.Settings.VURefLevel, -40);   // the field keeps what was read
}

TEST(MainFormLayoutTest, ControlsAreLoadedAndFramedAsDrawn) {
    TSimConsole form;
    for (TMMComponent *c : std::initializer_list<TMMComponent *>{form.MMPanel3, form.VuPanel, form.BdRedLine,
                                                                 form.SetupRefLvl, form.MMSpinButton5})
        EXPECT_FALSE(c->IsLoading());
    EXPECT_EQ(form.MMPanel3->Bevel().BevelOuter(), bvLowered);
    EXPECT_EQ(form.MMPanel3->InnerRect().Width(), 393);
    EXPECT_EQ(form.PanelSpectrum->Color(), 2040095);
    EXPECT_EQ(form.MMPanel4->geometry(), QRect(112, 216, 105, 90));
    EXPECT_EQ(form.MMSpinButton1->geometry(), QRect(96, 76, 20, 25));
    EXPECT_EQ(form.MMSpinButton5->pos(), QPoint(328, 44));
    EXPECT_TRUE(form.SetupRefLvl->ReadOnly());
    EXPECT_EQ(form.SetupRefLvl->geometry(), QRect(40, 82, 35, 20));
    EXPECT_EQ(form.SetupRefLvl->MinValue(), -30);
    EXPECT_EQ(form.SetupRefLvl->MaxValue(), -10);
    // At start the VU page is the one marked.
    EXPECT_TRUE(PageButtonMarked(form.VuChgBtnPanel));
    EXPECT_FALSE(PageButtonMarked(form.SpcChgBtnPanel));
    EXPECT_EQ(form.SpcChgBtnLbl->Caption(), "SPECTRUM");
    EXPECT_EQ(form.VuChgBtnLbl->FontColor(), clLime);
}

TEST(MainFormLayoutTest, RedLineIsARedLineAcrossTheGraph) {
    TSimConsole form;
    form.Settings.ShowRedLine = true;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    ASSERT_EQ(form.BdRedLine->parentWidget(), form.Trend7);
    EXPECT_EQ(form.BdRedLine->geometry(), QRect(-5, 49, 276, 1));
    // No bevel: the whole row is red, the rows beside it are the graph's.
    const QImage shot = form.Trend7->grab().toImage();
    for (int x : {0, 135, form.Trend7->width() - 1}) {
        EXPECT_EQ(shot.pixelColor(x, 49), ToQColor(clRed)) << x;
        EXPECT_NE(shot.pixelColor(x, 48), ToQColor(clRed)) << x;
        EXPECT_NE(shot.pixelColor(x, 50), ToQColor(clRed)) << x;
    }
}

TEST(MainFormMenuTest, ReferenceLevelStepsWithinTheBoxRange) {
    TSimConsole form;
    form.Settings.VURefLevel = -40;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    EXPECT_EQ(form.SetupRefLvl->Value(), -30);
    EXPECT_EQ(form.Settings.VURefLevel, -40);
    // A step starts from what the box shows, not from the field.
    form.MMSpinButton1->ClickHalf(shUp);
    EXPECT_EQ(form.SetupRefLvl->text(), "-29");
    EXPECT_EQ(form.Settings.VURefLevel, -29);
    for (int i = 0; i < 25; ++i)
        form.MMSpinButton1->ClickHalf(shUp);
    EXPECT_EQ(form.SetupRefLvl->Value(), -10);
    EXPECT_EQ(form.Settings.VURefLevel, -10);
    for (int i = 0; i < 25; ++i)
        form.MMSpinButton1->ClickHalf(shDown);
    EXPECT_EQ(form.SetupRefLvl->Value(), -30);
    EXPECT_EQ(form.Settings.VURefLevel, -30);
}

TEST(MainFormMenuTest, RedLineAndMarginStepsHaveNoLimits) {
    TSimConsole form;
    ASSERT_EQ(form.BdRedLine->y(), 49);
    for (int i = 0; i < 60; ++i)
        form.MMSpinButton5->ClickHalf(shUp);
    EXPECT_EQ(form.BdRedLine->pos(), QPoint(-5, -11));
    EXPECT_EQ(form.Settings.RedLinePos, -11);
    form.MMSpinButton5->ClickHalf(shDown);
    EXPECT_EQ(form.Settings.RedLinePos, -10);

    // Each pair of buttons moves its own threshold and caption, past the others too.
    for (int i = 0; i < 120; ++i)
        form.MMSpinButton4->ClickHalf(shUp);
    EXPECT_EQ(form.Settings.PeakLevel3, 100);
    EXPECT_EQ(form.SetupLed3->Caption(), "100");
    form.MMSpinButton2->ClickHalf(shDown);
    EXPECT_EQ(form.Settings.PeakLevel1, -6);
    EXPECT_EQ(form.SetupLed1->Caption(), "-6");
    form.MMSpinButton3->ClickHalf(shUp);
    EXPECT_EQ(form.SetupLed2->Caption(), "-9");
    EXPECT_EQ(form.Settings.PeakLevel2, -9);
}

// A hand-edited file may hold the integer's ends; a step past one stays there, it does not
// wrap to the other end (a threshold of +2147483647 becoming -2147483648 lights every lamp red).
TEST(MainFormMenuTest, StepsStopAtTheIntegerEnds) {
    TSimConsole form;
    form.Settings.PeakLevel1 = INT_MAX;
    form.Settings.PeakLevel3 = INT_MIN;
    form.Settings.RedLinePos = INT_MIN;
    form.ApplySettings(TMainForm::TApplyVariant::Creation);
    form.MMSpinButton2->ClickHalf(shUp);
    EXPECT_EQ(form.Settings.PeakLevel1, INT_MAX);
    EXPECT_EQ(form.SetupLed1->Caption(), "2147483647");
    form.MMSpinButton4->ClickHalf(shDown);
    EXPECT_EQ(form.Settings.PeakLevel3, INT_MIN);
    form.MMSpinButton5->ClickHalf(shUp); // up raises the line: its top decreases
    EXPECT_EQ(form.Settings.RedLinePos, INT_MIN);
    EXPECT_EQ(form.BdRedLine->y(), INT_MIN);
    form.MMSpinButton5->ClickHalf(shDown);
    EXPECT_EQ(form.Settings.RedLinePos, INT_MIN + 1);
}

TEST(MainFormMenuTest, PageButtonsSwitchBetweenVuAndSpectrum) {
    TSimConsole form;
    // The console opens on the VU page, the spectrum page hidden as after a switch back.
    EXPECT_TRUE(form.SpecPanel->isHidden());
    form.RbUpper->click();
    // A click on the caption counts as a click on its button.
    ClickCentre(form.SpcChgBtnLbl);
    EXPECT_TRUE(form.VuPanel->isHidden());
    EXPECT_FALSE(form.SpecPanel->isHidden());
    EXPECT_EQ(form.SpecPanel->pos(), form.VuPanel->pos());
    EXPECT_TRUE(PageButtonMarked(form.SpcChgBtnPanel));
    EXPECT_EQ(form.VuChgBtnPanel->Bevel().OuterLightColor(), clBlack);

    ClickCentre(form.VuChgBtnPanel);
    EXPECT_FALSE(form.VuPanel->isHidden());
    EXPECT_TRUE(form.SpecPanel->isHidden());
    EXPECT_TRUE(PageButtonMarked(form.VuChgBtnPanel));
    EXPECT_EQ(form.SpcChgBtnPanel->Bevel().OuterShadowColor(), clBlack);
    // Switching is not a setting.
    EXPECT_EQ(form.Settings.VUPos, 1);
}

TEST(MainFormSettingsTest, SmallWindowAndLineSpectrumFollowTheirButtons) {
    TSimConsole form;
    form.rbLevelG->click();
    EXPECT_FALSE(form.PanelGrph->isHidden());
    EXPECT_TRUE(form.PanelSpectrum->isHidden());
    EXPECT_TRUE(form.Settings.ShowGraph);
    form.rbSpa->click();
    EXPECT_TRUE(form.PanelGrph->isHidden());
    EXPECT_FALSE(form.PanelSpectrum->isHidden());
    EXPECT_FALSE(form.Settings.ShowGraph);
    // The start look is bars with a peak; "LINE SPA" makes sky-blue lines, and back.
    EXPECT_EQ(form.MMSpectrum2->Kind(), skBars);
    form.CbLineSpa->click();
    EXPECT_TRUE(form.Settings.LineSpa);
    EXPECT_EQ(form.MMSpectrum2->Kind(), skLines);
    EXPECT_EQ(form.MMSpectrum2->NumPeaks(), 0);
    EXPECT_EQ(form.MMSpectrum2->Bar1Color(), 15780518);
    form.CbLineSpa->click();
    EXPECT_EQ(form.MMSpectrum2->Kind(), skBars);
    EXPECT_EQ(form.MMSpectrum2->NumPeaks(), 1);
    EXPECT_EQ(form.MMSpectrum2->Bar1Color(), 16777215);
}

TEST(MainFormTest, QuitClosesTheWindowAndEndsTheProcess) {
    TSimConsole form;
    form.Button2->click();
    EXPECT_EQ(form.Ended, 1);
}

TEST(MainFormTest, ShutdownCancelledChangesNothing) {
    QTemporaryDir dir;
    TWorkingDir wd(dir.path());
    QFile script(dir.filePath("vizaz.exe"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$@\" > ran\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    TSimConsole form;
    const QString text = AnswerMessageBox([&] { form.ShutDnBtn->click(); }, QMessageBox::Cancel);
    EXPECT_EQ(text, QString::fromUtf8("電源を落します。よろしいですか？"));
    EXPECT_EQ(form.Ended, 0);
    QThread::msleep(200);
    EXPECT_FALSE(QFile::exists(dir.filePath("ran")));

    // Confirmed: the shutdown program runs from the working directory, then the console ends.
    AnswerMessageBox([&] { form.ShutDnBtn->click(); }, QMessageBox::Ok);
    EXPECT_EQ(form.Ended, 1);
    ASSERT_TRUE(WaitFor([&] { return QFile(dir.filePath("ran")).size() > 0; }));
    QFile ran(dir.filePath("ran"));
    ran.open(QIODevice::ReadOnly);
    EXPECT_EQ(ran.readAll().trimmed(), "shutdown");
}

TEST(MainFormTest, SiblingProgramsStartFromTheWorkingDirectory) {
    QTemporaryDir dir;
    TWorkingDir wd(dir.path());
    for (const char *name : {"DizaVare.exe", "watch.exe"}) {
        QFile script(dir.filePath(name));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(QString("#!/bin/sh\npwd > %1.ran\n").arg(name).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    TSimConsole form;
    form.Button1->click();
    form.Button3->click();
    for (const char *name : {"DizaVare.exe.ran", "watch.exe.ran"}) {
        const QString path = dir.filePath(name);
        ASSERT_TRUE(WaitFor([&] { return QFile(path).size() > 0; })) << name;
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(QString::fromUtf8(f.readAll()).trimmed(), QDir(dir.path()).canonicalPath());
    }
}

TEST(MainFormTest, FailedSaveShowsThePathInTheErrorBox) {
    TSimConsole form;
    // A directory where the settings file belongs: no write can succeed, even as root.
    const QString path = form.SettingsFolder().File();
    ASSERT_FALSE(QFile::exists(path)) << "the console's settings folder starts empty";
    ASSERT_TRUE(QDir().mkpath(path + "/blocker"));

    const QString text = AnswerMessageBox([&] { form.BtnSaveSetting->click(); });
    EXPECT_EQ(text, path + QString::fromUtf8(" に書き込めません"));
    EXPECT_EQ(form.Ended, 0);
}

TEST(MainFormTest, LoadDefaultCopiesTheDefaultsAndAppliesTheFirstNineKeys) {
    QTemporaryDir dir;
    TWorkingDir wd(dir.path());
    QFile defaults(dir.filePath("VelmoraDef.ini"));
    ASSERT_TRUE(defaults.open(QIODevice::WriteOnly));
    defaults.write("[VU]\nVUPos=0\n[Peak]\nLevel1=-7\n");
    defaults.close();

    TSimConsole form;
    form.RbUpper->click();
    form.rbLevelG->click();
    form.CbLineSpa->click();
    form.Settings.PeakLevel1 = 3;
    form.Settings.ShowRedLine = true;
    // The copy lands in the working directory; the file read is the one in the console's
    // settings folder, which this test never creates, so the keys it reads come back as defaults.
    ASSERT_FALSE(QFile::exists(form.SettingsFolder().File()));
    form.Button5->click();
    EXPECT_TRUE(QFile::exists(dir.filePath("VelmoraPro.ini")));
    EXPECT_EQ(form.Settings.VUPos, 0);
    EXPECT_TRUE(form.RbLower->isChecked());
    EXPECT_EQ(form.PnlVU->pos(), QPoint(4, 337));
    EXPECT_EQ(form.PanelSpectrum->y(), 97);
    EXPECT_EQ(form.Settings.PeakLevel1, -5);
    EXPECT_EQ(form.SetupLed1->Caption(), "-5");
    EXPECT_FALSE(form.Settings.ShowRedLine);
    EXPECT_TRUE(form.BdRedLine->isHidden());
    // The small window and the line spectrum are not part of the defaults.
    EXPECT_TRUE(form.Settings.ShowGraph);
    EXPECT_TRUE(form.Settings.LineSpa);
    EXPECT_FALSE(form.PanelGrph->isHidden());
}

TEST(MainFormTest, CentredOnTheScreenTheFirstTimeItIsShown) {
    TSimConsole form;
    form.show();
    ASSERT_NE(form.screen(), nullptr);
    EXPECT_EQ(form.frameGeometry().center(), form.screen()->geometry().center());
    // Later showings leave the window where the operator put it.
    form.hide();
    form.move(3, 4);
    form.show();
    EXPECT_EQ(form.pos(), QPoint(3, 4));
    form.hide();
}
