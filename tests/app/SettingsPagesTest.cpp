// The groups beyond the set-up menu as pages of one panel under it.

#include "AppTestSupport.h"
#include "app/AidsMenu.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

// Each page button shows its group alone; the panel stands under the menu, inside the window,
// and every group's controls, laid across the page, lie inside it.
TEST(SettingsPages, EachButtonShowsItsGroupAloneAndEveryControlFitsThePage) {
    TSimConsole form;
    form.show();
    form.Image1Click();
    TSettingsPages *pages = form.SettingsPages;
    ASSERT_EQ(pages->PageCount(), 4);
    const QRect panel = pages->geometry();
    EXPECT_FALSE(panel.intersects(form.CloseBox->geometry()));
    EXPECT_TRUE(form.rect().contains(panel));
    const std::vector<QWidget *> groups{form.StandardsBox, form.LoudnessBox, form.AidsBox, form.NetworkBox};
    for (int i = 0; i < pages->PageCount(); ++i) {
        ClickCentre(pages->PageButton(i));
        EXPECT_EQ(pages->CurrentPage(), i);
        for (int j = 0; j < pages->PageCount(); ++j)
            EXPECT_EQ(groups[static_cast<std::size_t>(j)]->isVisible(), i == j) << i << " " << j;
        const QWidget *group = groups[static_cast<std::size_t>(i)];
        for (const QWidget *child : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(group->rect().contains(child->geometry())) << child->objectName().toStdString();
            // The page buttons sit in the title row, over no control.
            for (int b = 0; b < pages->PageCount(); ++b)
                EXPECT_FALSE(pages->PageButton(b)->geometry().intersects(child->geometry()))
                    << child->objectName().toStdString();
        }
    }
    form.Button4Click();
    EXPECT_FALSE(pages->isVisible());
}

// The network page edits [NETWORK]: the feed starts as soon as it is switched on (the lamp
// lights while it connects), and "Save Setting" keeps it.
TEST(SettingsPages, TheNetworkPageStartsTheFeedAndSaveSettingKeepsIt) {
    TSimConsole form;
    form.show();
    form.Image1Click();
    ClickCentre(form.SettingsPages->PageButton(3));
    ASSERT_FALSE(form.NetLed->Enabled());
    form.NetworkBox->BrokerEdit->setText("mqtt://127.0.0.1:1");
    emit form.NetworkBox->BrokerEdit->editingFinished();
    form.NetworkBox->StationEdit->setText("studio-7");
    emit form.NetworkBox->StationEdit->editingFinished();
    form.NetworkBox->CbPublish->click();
    EXPECT_TRUE(form.NetworkSettings.Publish);
    EXPECT_TRUE(form.NetLed->Enabled());
    form.NetworkBox->RateSpin->ClickHalf(shDown);
    EXPECT_EQ(form.NetworkSettings.RateHz, 9);

    form.BtnSaveSetting->click();
    TNetworkSettings saved;
    ReadNetworkSettings(form.SettingsFolder().File(), saved);
    EXPECT_EQ(saved, form.NetworkSettings);
    EXPECT_EQ(saved.Broker, "mqtt://127.0.0.1:1");
    EXPECT_EQ(saved.Station, "studio-7");

    form.NetworkBox->CbPublish->click();
    EXPECT_FALSE(form.NetLed->Enabled());
}
